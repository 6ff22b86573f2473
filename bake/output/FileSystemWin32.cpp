// Windows: the nearest equivalents, by path. There are no links followed through this
// interface, no owners to keep and no signals to hold back; a file is replaced by MoveFileExA.
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <random>

#include "FileSystem.h"
#include "OutputPath.h"

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

FileStatus StatusOf(const struct _stat64& entry) {
    FileStatus status;
    status.kind = (entry.st_mode & _S_IFMT) == _S_IFREG ? FileKind::RegularFile : FileKind::Other;
    status.links = static_cast<std::uint64_t>(entry.st_nlink);
    return status;
}

// Which file `handle` is, as Windows tells files apart: its volume and its index on it (the
// C library's st_dev and st_ino do not, by descriptor and by name alike).
void AddIdentity(HANDLE handle, FileStatus& status) {
    BY_HANDLE_FILE_INFORMATION info;
    if (handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info)) {
        status.device = info.dwVolumeSerialNumber;
        status.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        status.links = info.nNumberOfLinks;
    }
}

class Win32FileSystem final : public FileSystem {
public:
    int OpenTarget(const std::string& path, bool& created) override {
        int descriptor =
            _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        created = descriptor >= 0;
        if (descriptor < 0 && errno == EEXIST) {
            descriptor = _open(path.c_str(), _O_WRONLY | _O_BINARY);
        }
        return descriptor;
    }

    bool InspectOpen(int descriptor, FileStatus& status) override {
        struct _stat64 entry;
        if (_fstat64(descriptor, &entry) != 0) {
            return false;
        }
        status = StatusOf(entry);
        if (status.kind == FileKind::RegularFile) {
            AddIdentity(reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)), status);
        }
        return true;
    }

    int StandardStreamFor(const FileStatus&) override { return -1; }

    bool InspectPath(const std::string& path, FileStatus& status) override {
        struct _stat64 entry;
        if (_stat64(path.c_str(), &entry) != 0) {
            return false;
        }
        status = StatusOf(entry);
        if (status.kind == FileKind::RegularFile) {
            const HANDLE handle =
                CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            AddIdentity(handle, status);
            if (handle != INVALID_HANDLE_VALUE) {
                CloseHandle(handle);
            }
        }
        return true;
    }

    bool Locate(const std::string& path, int, const FileStatus&, Folder& folder,
                std::string& name) override {
        name = NameOf(path);
        if (name.empty()) {
            return false;
        }
        folder.descriptor = 0;  // found; Windows works by path
        folder.path = FolderOf(path);
        return true;
    }

    void CloseFolder(Folder& folder) override { folder = Folder{}; }

    bool InspectEntry(const Folder& folder, const std::string& name, FileStatus& status) override {
        return InspectPath(folder.path + name, status);
    }

    int CreateUnnamed(const Folder&) override {
        errno = EOPNOTSUPP;
        return -1;
    }

    int CreateNamed(const Folder& folder, const std::string& name) override {
        return _open((folder.path + name).c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY,
                     _S_IREAD | _S_IWRITE);
    }

    bool Link(int, const Folder&, const std::string&) override {
        errno = EOPNOTSUPP;
        return false;
    }

    bool PrepareReplacement(int, const FileStatus&) override { return true; }
    bool CompleteReplacement(int, const FileStatus&) override { return true; }

    bool Rename(const Folder& folder, const std::string& from, const std::string& to) override {
        if (MoveFileExA((folder.path + from).c_str(), (folder.path + to).c_str(),
                        MOVEFILE_REPLACE_EXISTING)) {
            return true;
        }
        errno = ErrnoFromLastError();
        return false;
    }

    bool Remove(const Folder& folder, const std::string& name) override {
        return _unlink((folder.path + name).c_str()) == 0;
    }

    long Write(int descriptor, const unsigned char* data, std::size_t size) override {
        const unsigned int chunk = size > INT_MAX ? INT_MAX : static_cast<unsigned int>(size);
        return _write(descriptor, data, chunk);
    }

    long ReadAt(int descriptor, unsigned char* data, std::size_t size,
                std::uint64_t offset) override {
        if (_lseeki64(descriptor, static_cast<__int64>(offset), SEEK_SET) < 0) {
            return -1;
        }
        const unsigned int chunk = size > INT_MAX ? INT_MAX : static_cast<unsigned int>(size);
        return _read(descriptor, data, chunk);
    }

    bool Reserve(int, std::uint64_t) override { return true; }

    bool Truncate(int descriptor, std::uint64_t size) override {
        errno = _chsize_s(descriptor, static_cast<__int64>(size));
        return errno == 0;
    }

    bool Close(int descriptor) override { return _close(descriptor) == 0; }

    std::uint64_t Random() override {
        std::random_device device;
        return (static_cast<std::uint64_t>(device()) << 32) ^ device();
    }

    long ProcessId() override { return static_cast<long>(_getpid()); }

    SignalHold Hold(unsigned) override { return SignalHold{}; }
    void Release(SignalHold&) override {}
    bool EndingSignalPending(const SignalHold&) override { return false; }
};

}  // namespace

FileSystem& SystemFileSystem() {
    static Win32FileSystem system;
    return system;
}

}  // namespace Morvane
