// Preloaded into the morvane process by the signal tests: once the first write to a regular
// file other than the standard streams is done, the process is sent the signal numbered in
// MORVANE_TEST_SIGNAL, as if the user pressed Ctrl-C or a service manager stopped it in the
// middle of the map.
#include <dlfcn.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

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
