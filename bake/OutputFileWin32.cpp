#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <string>

#include "OutputFile.h"

namespace Morvane {
namespace {

constexpr int kTemporaryNameAttempts = 100;

// MoveFileExA reports through GetLastError; callers read errno.
int ErrnoFromLastError() {
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        default:
            return EIO;
    }
}

}  // namespace

OutputFile::~OutputFile() {
    Discard();
}

bool OutputFile::Open(const std::string& path) {
    Discard();
    struct _stat64 status;
    const bool exists = _stat64(path.c_str(), &status) == 0;
    if (!exists && errno != ENOENT) {
        return false;
    }
    if (exists && (status.st_mode & _S_IFMT) != _S_IFREG) {
        descriptor_ =
            _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
        return descriptor_ >= 0;
    }

    target_ = path;
    const std::string stem = path + "." + std::to_string(GetCurrentProcessId()) + "-";
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        std::string name = stem + std::to_string(attempt) + ".tmp";
        descriptor_ =
            _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (descriptor_ >= 0) {
            temporary_ = std::move(name);
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
        const unsigned int chunk = size > INT_MAX ? INT_MAX : static_cast<unsigned int>(size);
        const int written = _write(descriptor_, data, chunk);
        if (written < 0) {
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
    if (_close(descriptor) != 0) {
        Discard();
        return false;
    }
    if (!temporary_.empty() &&
        !MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        errno = ErrnoFromLastError();
        Discard();
        return false;
    }
    temporary_.clear();
    return true;
}

void OutputFile::Discard() {
    const int savedErrno = errno;
    if (descriptor_ >= 0) {
        _close(descriptor_);
        descriptor_ = -1;
    }
    if (!temporary_.empty()) {
        _unlink(temporary_.c_str());
        temporary_.clear();
    }
    errno = savedErrno;
}

}  // namespace Morvane
