#include "Process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace MorvaneTest {
namespace {

[[noreturn]] void RunChild(const std::string& program, const std::vector<std::string>& arguments,
                           const ProcessOptions& options, int outWrite, int errWrite) {
    setsid();  // no controlling terminal, as in a service or a CI job
    const int nullInput = open("/dev/null", O_RDONLY);
    dup2(nullInput, STDIN_FILENO);
    if (options.standardOutput >= 0) {
        dup2(options.standardOutput, STDOUT_FILENO);
    } else if (options.standardOutput == ProcessOptions::kClosed) {
        close(STDOUT_FILENO);
    } else {
        dup2(outWrite, STDOUT_FILENO);
    }
    dup2(errWrite, STDERR_FILENO);
    if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) {
        _exit(126);
    }
    if (options.withoutDisplay) {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
    }
    for (const std::string& entry : options.environment) {
        putenv(const_cast<char*>(entry.c_str()));
    }
    // As a shell leaves them: SIGPIPE and SIGXFSZ end the process unless it handles them.
    signal(SIGPIPE, SIG_DFL);
    signal(SIGXFSZ, SIG_DFL);
    if (options.fileSizeLimit >= 0) {
        const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                           static_cast<rlim_t>(options.fileSizeLimit)};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.group >= 0 && (setgroups(0, nullptr) != 0 || setgid(options.group) != 0)) {
        _exit(126);
    }
    if (options.user >= 0 && setuid(options.user) != 0) {
        _exit(126);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

}  // namespace

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options) {
    ProcessResult result;
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) {
        return result;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        RunChild(program, arguments, options, outPipe[1], errPipe[1]);
    }
    close(outPipe[1]);
    close(errPipe[1]);

    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    pollfd streams[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            kill(child, SIGKILL);
            break;
        }
        if (poll(streams, 2, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (streams[i].fd < 0 || streams[i].revents == 0) {
                continue;
            }
            char buffer[65536];
            const ssize_t got = read(streams[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else {
                close(streams[i].fd);
                streams[i].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& stream : streams) {
        if (stream.fd >= 0) {
            close(stream.fd);
        }
    }
    int waitStatus = 0;
    waitpid(child, &waitStatus, 0);
    if (WIFEXITED(waitStatus)) {
        result.status = WEXITSTATUS(waitStatus);
    } else if (WIFSIGNALED(waitStatus)) {
        result.signal = WTERMSIG(waitStatus);
    }
    return result;
}

std::string MorvaneExecutable() {
    return MORVANE_EXECUTABLE;
}

ProcessResult RunMorvane(const std::vector<std::string>& arguments, const ProcessOptions& options) {
    return RunProcess(MorvaneExecutable(), arguments, options);
}

}  // namespace MorvaneTest
