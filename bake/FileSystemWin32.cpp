// Windows: the nearest equivalents. There are no symbolic links to follow through this
// interface, no owners to keep and no signals to hold back; a file is replaced by MoveFileExA.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <random>

#include "FileSystem.h"

namespace Morvane {
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

FileKind KindOf(unsigned short mode) {
    return (mode & _S_IFMT) == _S_IFREG ? FileKind::RegularFile : FileKind::Other;
}

class Win32FileSystem final : public FileSystem {
public:
    bool Inspect(const std::string& path, FileStatus& status) override {
        struct _stat64 entry;
        if (_stat64(path.c_str(), &entry) != 0) {
            return false;
        }
        status = FileStatus{};
        status.kind = KindOf(entry.st_mode);
        return true;
    }

    bool ReadLink(const std::string&, std::string&) override {
        errno = EINVAL;
        return false;
    }

    int OpenExisting(const std::string& path) override {
        return _open(path.c_str(), _O_WRONLY | _O_BINARY);
    }

    int CreateExclusive(const std::string& path) override {
        return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                     _S_IREAD | _S_IWRITE);
    }

    bool InspectOpen(int descriptor, FileStatus& status) override {
        struct _stat64 entry;
        if (_fstat64(descriptor, &entry) != 0) {
            return false;
        }
        status = FileStatus{};
        status.kind = KindOf(entry.st_mode);
        status.links = entry.st_nlink;
        return true;
    }

    bool MatchIdentity(int, const FileStatus&) override { return true; }

    long Write(int descriptor, const unsigned char* data, std::size_t size) override {
        const unsigned int chunk = size > INT_MAX ? INT_MAX : static_cast<unsigned int>(size);
        return _write(descriptor, data, chunk);
    }

    bool Reserve(int, std::uint64_t) override { return true; }

    bool Truncate(int descriptor, std::uint64_t size) override {
        errno = _chsize_s(descriptor, static_cast<__int64>(size));
        return errno == 0;
    }

    bool Close(int descriptor) override { return _close(descriptor) == 0; }

    bool Rename(const std::string& from, const std::string& to) override {
        if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            return true;
        }
        errno = ErrnoFromLastError();
        return false;
    }

    bool Remove(const std::string& path) override { return _unlink(path.c_str()) == 0; }

    std::uint64_t Random() override {
        std::random_device device;
        return (static_cast<std::uint64_t>(device()) << 32) ^ device();
    }

    unsigned HoldSignals(unsigned) override { return 0; }
    void ReleaseSignals(unsigned) override {}
    bool InterruptionPending() override { return false; }
};

}  // namespace

FileSystem& SystemFileSystem() {
    static Win32FileSystem system;
    return system;
}

}  // namespace Morvane
