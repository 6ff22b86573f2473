#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "FileSystem.h"

namespace Morvane::FileSystem {

bool Inspect(const std::string& path, PathKind& kind, unsigned& permissions) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        kind = PathKind::Missing;
        return errno == ENOENT;
    }
    kind = S_ISREG(status.st_mode) ? PathKind::RegularFile : PathKind::Other;
    permissions = status.st_mode & 07777;
    return true;
}

std::string ResolveLink(const std::string& path) {
    struct stat linkStatus;
    if (lstat(path.c_str(), &linkStatus) != 0 || !S_ISLNK(linkStatus.st_mode)) {
        return path;
    }
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

int OpenInPlace(const std::string& path) {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

int CreateExclusive(const std::string& path) {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

void SetPermissions(int descriptor, unsigned permissions) {
    (void)fchmod(descriptor, static_cast<mode_t>(permissions));  // best effort
}

bool WriteAll(int descriptor, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(descriptor, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool Close(int descriptor) {
    return close(descriptor) == 0;
}

bool Replace(const std::string& from, const std::string& to) {
    return rename(from.c_str(), to.c_str()) == 0;
}

void Remove(const std::string& path) {
    unlink(path.c_str());
}

unsigned long ProcessId() {
    return static_cast<unsigned long>(getpid());
}

}  // namespace Morvane::FileSystem
