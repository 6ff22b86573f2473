// Preloaded into the morvane process by the tests that need the system to behave as it does
// elsewhere, as the environment asks:
// - MORVANE_TEST_SIGNAL=N: once the first write to a regular file other than the standard
//   streams is done, the process is sent signal N, as if the user pressed Ctrl-C or a service
//   manager stopped it in the middle of the map.
// - MORVANE_TEST_REFUSE_EMPTY_PATH=1: linkat refuses AT_EMPTY_PATH with ENOENT, as a kernel
//   before 6.10 does for a caller without CAP_DAC_READ_SEARCH.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern "C" ssize_t write(int descriptor, const void* data, size_t size) {
    using WriteFunction = ssize_t (*)(int, const void*, size_t);
    static const auto next = reinterpret_cast<WriteFunction>(dlsym(RTLD_NEXT, "write"));
    static bool sent = false;
    const ssize_t written = next(descriptor, data, size);
    struct stat status;
    if (!sent && descriptor > 2 && fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)) {
        sent = true;
        if (const char* number = std::getenv("MORVANE_TEST_SIGNAL")) {
            kill(getpid(), std::atoi(number));
        }
    }
    return written;
}

extern "C" int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) {
    using LinkFunction = int (*)(int, const char*, int, const char*, int);
    static const auto next = reinterpret_cast<LinkFunction>(dlsym(RTLD_NEXT, "linkat"));
    if ((flags & AT_EMPTY_PATH) != 0 && std::getenv("MORVANE_TEST_REFUSE_EMPTY_PATH") != nullptr) {
        errno = ENOENT;
        return -1;
    }
    return next(fromFolder, from, toFolder, to, flags);
}
