// The morvane command line: picks the mode from the first argument and runs it.
#pragma once

// Runs one command and returns the exit status (see ExitStatus.h). Standard output is flushed
// and checked before returning, so a failed write of the usage text or a result line is
// reported and changes the status.
int RunCommandLine(int argc, char** argv);
