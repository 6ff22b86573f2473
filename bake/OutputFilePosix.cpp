#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "OutputFile.h"

namespace Morvane {
namespace {

constexpr int kTemporaryNameAttempts = 100;

// Follows a symbolic link to the file it names, so that renaming replaces that file and keeps
// the link.
std::string ResolveLink(const std::string& path) {
    struct stat linkStatus;
    if (lstat(path.c_str(), &linkStatus) != 0 || !S_ISLNK(linkStatus.st_mode)) {
        return path;
    }
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) {
        return path;
    }
    return resolved;
}

}  // namespace

OutputFile::~OutputFile() {
    Discard();
}

bool OutputFile::Open(const std::string& path) {
    Discard();
    struct stat status;
    const bool exists = stat(path.c_str(), &status) == 0;
    if (!exists && errno != ENOENT) {
        return false;  // e.g. a path through a regular file, or no permission to look
    }
    if (exists && !S_ISREG(status.st_mode)) {
        descriptor_ = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        return descriptor_ >= 0;
    }

    target_ = exists ? ResolveLink(path) : path;
    const std::string stem = target_ + "." + std::to_string(getpid()) + "-";
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        std::string name = stem + std::to_string(attempt) + ".tmp";
        descriptor_ = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor_ >= 0) {
            temporary_ = std::move(name);
            if (exists) {
                // The replacement keeps the permissions of the file it replaces.
                (void)fchmod(descriptor_, status.st_mode & 07777);
            }
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

bool OutputFile::Write(const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(descriptor_, data, size);
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

bool OutputFile::Commit() {
    const int descriptor = descriptor_;
    descriptor_ = -1;
    if (close(descriptor) != 0) {
        Discard();
        return false;
    }
    if (!temporary_.empty() && rename(temporary_.c_str(), target_.c_str()) != 0) {
        Discard();
        return false;
    }
    temporary_.clear();
    return true;
}

void OutputFile::Discard() {
    const int savedErrno = errno;
    if (descriptor_ >= 0) {
        close(descriptor_);
        descriptor_ = -1;
    }
    if (!temporary_.empty()) {
        unlink(temporary_.c_str());
        temporary_.clear();
    }
    errno = savedErrno;
}

}  // namespace Morvane
