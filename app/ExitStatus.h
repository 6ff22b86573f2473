// The exit statuses of the morvane command.
#pragma once

enum ExitStatus : int {
    kExitSuccess = 0,  // the command did what it was asked
    kExitUsage = 1,    // unrecognised or incomplete command: the usage text was printed
    kExitFailure = 2,  // a file or standard output could not be written, or memory ran out
};
