#include "Driver.h"

#include <cerrno>
#include <cstdio>
#include <new>
#include <string_view>

#include "Diagnostics.h"
#include "ExitStatus.h"
#include "MapCommands.h"
#include "RunGUI.h"
#include "Usage.h"

namespace {

// Dispatch on the first argument alone (none is the desktop mode, as --gui is); a bake command
// also needs the path that follows it.
int Dispatch(int argc, char** argv) {
    const std::string_view command = argc > 1 ? argv[1] : "--gui";
    if (command == "--gui") {
        MorvaneGUI::RunGUI();
        return kExitSuccess;
    }
    if (command == "--help" || command == "-h") {
        PrintUsage(argv[0]);
        return kExitSuccess;
    }
    if (argc > 2) {
        if (const SingleMapCommand* bake = FindSingleMapCommand(command)) {
            return RunSingleMapCommand(*bake, argv[2]);
        }
        if (command == "--bake-all") {
            return RunFullSetCommand(argv[2]);
        }
    }
    PrintUsage(argv[0]);
    return kExitUsage;
}

// Output is buffered, so a failed write often shows only when it is flushed.
int FinishStandardOutput(int status) {
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        ReportStandardOutputFailure(errno != 0 ? errno : EIO);
        return kExitFailure;
    }
    return status;
}

}  // namespace

int RunCommandLine(int argc, char** argv) {
    int status = kExitFailure;
    try {
        status = Dispatch(argc, argv);
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
        return FinishStandardOutput(kExitFailure);
    }
    return FinishStandardOutput(status);
}
