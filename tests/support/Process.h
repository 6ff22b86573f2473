// Runs the real morvane executable as a child process and collects what it did.
#pragma once

#include <string>
#include <vector>

namespace MorvaneTest {

struct ProcessResult {
    int status = -1;  // exit status, or -1 when the process did not exit normally
    int signal = 0;   // the signal that ended it, if any
    bool timedOut = false;
    std::string out;  // standard output (empty when redirected)
    std::string err;  // standard error
};

struct ProcessOptions {
    std::string workingDirectory;    // empty: the test's own
    int standardOutput = kCaptured;  // or a descriptor of the test's to use as it is, or kClosed
    bool withoutDisplay = true;      // clear DISPLAY and WAYLAND_DISPLAY
    long fileSizeLimit = -1;         // RLIMIT_FSIZE in bytes, as `ulimit -f` sets it; -1: none
    int timeoutSeconds = 30;
    int user = -1;  // run as this user id (and group `group`)
    int group = -1;
    std::vector<std::string> environment;  // NAME=VALUE entries added for the child

    static constexpr int kCaptured = -1;
    static constexpr int kClosed = -2;
};

// Runs `program` with `arguments` (argv[1] onwards), with no standard input and no
// controlling terminal, and waits for it to end.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options = {});

// Path of the morvane executable under test.
std::string MorvaneExecutable();

// Runs the morvane executable under test with `arguments`.
ProcessResult RunMorvane(const std::vector<std::string>& arguments,
                         const ProcessOptions& options = {});

}  // namespace MorvaneTest
