#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <climits>

#include "FileSystem.h"

namespace Morvane::FileSystem {
namespace {

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

bool Inspect(const std::string& path, PathKind& kind, unsigned& permissions) {
    struct _stat64 status;
    if (_stat64(path.c_str(), &status) != 0) {
        kind = PathKind::Missing;
        return errno == ENOENT;
    }
    kind = (status.st_mode & _S_IFMT) == _S_IFREG ? PathKind::RegularFile : PathKind::Other;
    permissions = status.st_mode & (_S_IREAD | _S_IWRITE);
    return true;
}

std::string ResolveLink(const std::string& path) {
    return path;
}

int OpenInPlace(const std::string& path) {
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}

int CreateExclusive(const std::string& path) {
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}

void SetPermissions(int /*descriptor*/, unsigned /*permissions*/) {}

bool WriteAll(int descriptor, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const unsigned int chunk = size > INT_MAX ? INT_MAX : static_cast<unsigned int>(size);
        const int written = _write(descriptor, data, chunk);
        if (written < 0) {
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool Close(int descriptor) {
    return _close(descriptor) == 0;
}

bool Replace(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return true;
    }
    errno = ErrnoFromLastError();
    return false;
}

void Remove(const std::string& path) {
    _unlink(path.c_str());
}

unsigned long ProcessId() {
    return GetCurrentProcessId();
}

}  // namespace Morvane::FileSystem
