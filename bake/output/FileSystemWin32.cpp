// Windows: the writer's file operations as Win32 calls on the handles behind the C library's
// descriptors. Paths arrive as UTF-8 and become UTF-16 here, at the file calls; one too long
// for the classic limit takes the \\?\ form. Windows follows links and junctions when a file
// is opened, and the opened file's own path (GetFinalPathNameByHandleW) is where it is
// replaced. A replacement is marked for deletion from its creation until it is complete, so
// that it vanishes however the process ends (Ctrl-C, Ctrl-Break, a closed console, a kill);
// ReplaceFileW then puts it in place, keeping the security descriptor, the alternate data
// streams and the creation time of the file it replaces. There are no owners or modes to
// match and no signals to hold back.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdint>

#include "FileSystem.h"
#include "NamesWin32.h"

namespace Morvane {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// What Windows shows of a file and a replacement takes over; not every ReplaceFileW does.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                                  FILE_ATTRIBUTE_TEMPORARY;
// One call reads or writes at most this much: DWORD counts, and pipes take no more at once.
constexpr DWORD kLongestTransfer = 1u << 30;

DWORD Clamped(std::size_t size) {
    return size > kLongestTransfer ? kLongestTransfer : static_cast<DWORD>(size);
}

HANDLE HandleOf(int descriptor) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
}

// A descriptor for `handle`, which it then owns; -1 when the handle is invalid.
int DescriptorFor(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE) {
        return Failed(-1);
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
        errno = EMFILE;
    }
    return descriptor;
}

bool Describe(HANDLE handle, FileStatus& status) {
    status = FileStatus{};
    if (handle == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return false;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        return true;  // a console, a pipe, NUL and other devices
    }
    BY_HANDLE_FILE_INFORMATION info;
    FILE_STANDARD_INFO standard;
    if (!GetFileInformationByHandle(handle, &info) ||
        !GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard)) {
        return Failed();
    }
    const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    status.kind = folder ? FileKind::Other : FileKind::RegularFile;
    // Which file this is, as Windows tells files apart: its volume and its index on it.
    status.device = info.dwVolumeSerialNumber;
    status.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    status.links = info.nNumberOfLinks;
    status.flags = info.dwFileAttributes;
    // What the file certainly holds of the disk: some file systems report more allocated
    // than they keep for it.
    const LONGLONG held = standard.AllocationSize.QuadPart < standard.EndOfFile.QuadPart
                              ? standard.AllocationSize.QuadPart
                              : standard.EndOfFile.QuadPart;
    status.allocated = held > 0 ? static_cast<std::uint64_t>(held) : 0;
    return true;
}

// The file or folder `path` names, without opening it for reading or writing.
bool DescribePath(const std::string& path, DWORD flags, FileStatus& status) {
    std::wstring wide;
    if (!FilePath(path, wide)) {
        return false;
    }
    const HANDLE handle = CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return Failed();
    }
    const bool described = Describe(handle, status);
    CloseHandle(handle);
    return described;
}

// Marks the file open at `handle` for deletion when its last handle closes, or unmarks it.
bool SetVanishing(HANDLE handle, bool vanish) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = vanish ? TRUE : FALSE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0 ||
           Failed();
}

}  // namespace

// Opens an existing file or device first, so that `NUL`, `CON` and pipes are opened as
// they are; creates the file only where there is none.
int FileSystem::OpenTarget(const std::string& path, bool, bool& created) {
    created = false;
    std::wstring wide;
    if (!FilePath(path, wide)) {
        return -1;
    }
    // Shared as `cmd` shares what `>` opens, and for deletion too, so that a file this call
    // creates can be removed again while it is open when the write fails.
    for (int attempt = 0; attempt < 8; ++attempt) {
        HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
            handle = CreateFileW(wide.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
            if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
                continue;  // made meanwhile by someone else: open that one
            }
            created = handle != INVALID_HANDLE_VALUE;
        }
        return DescriptorFor(handle);
    }
    errno = EBUSY;
    return -1;
}

bool FileSystem::InspectOpen(int descriptor, FileStatus& status) {
    return Describe(HandleOf(descriptor), status);
}

int FileSystem::StandardStreamFor(const FileStatus& status, int opened) {
    for (const int stream : {1, 2}) {
        FileStatus standard;
        if (stream != opened && Describe(HandleOf(stream), standard) &&
            standard.kind == FileKind::RegularFile && standard.IsSameFileAs(status)) {
            return stream;
        }
    }
    return -1;
}

bool FileSystem::InspectPath(const std::string& path, FileStatus& status) {
    return DescribePath(path, 0, status);
}

// The folder and name are those of the file that was opened, wherever the links and
// junctions of `path` led. A file that another program holds open without letting it be
// deleted cannot be replaced, only written in place, as `cmd` writes it: it is not found.
bool FileSystem::Locate(const std::string&, int descriptor, const FileStatus&, Folder& folder,
                        std::string& name) {
    std::wstring wideFolder, wideName;
    if (!FinalFolderAndName(HandleOf(descriptor), wideFolder, wideName)) {
        return false;
    }
    const HANDLE replaceable =
        CreateFileW((wideFolder + wideName).c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (replaceable == INVALID_HANDLE_VALUE) {
        errno = ENOENT;
        return false;
    }
    CloseHandle(replaceable);
    if (!WideToUtf8(wideFolder, folder.path) || !WideToUtf8(wideName, name)) {
        folder = Folder{};
        return false;
    }
    folder.descriptor = 0;  // found; Windows works by path
    return true;
}

// Windows works by path: the folder is only named.
bool FileSystem::OpenFolder(const std::string& path, Folder& folder) {
    folder.path = path;
    folder.descriptor = 0;
    return true;
}

void FileSystem::CloseFolder(Folder& folder) {
    folder = Folder{};
}

bool FileSystem::InspectEntry(const Folder& folder, const std::string& name, FileStatus& status) {
    return DescribePath(folder.path + name, FILE_FLAG_OPEN_REPARSE_POINT, status);
}

bool FileSystem::MakesUnnamedFiles() const {
    return false;
}

int FileSystem::CreateUnnamed(const Folder&, unsigned) {
    errno = EOPNOTSUPP;
    return -1;
}

// Shared with no one while it is written, and marked to vanish with its handle.
int FileSystem::CreateNamed(const Folder& folder, const std::string& name) {
    std::wstring wide;
    if (!FilePath(folder.path + name, wide)) {
        return -1;
    }
    const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        // Where the file system cannot mark it, the writer still removes it on failure.
        SetVanishing(handle, true);
    }
    return DescriptorFor(handle);
}

bool FileSystem::Link(int, const Folder&, const std::string&) {
    errno = EOPNOTSUPP;
    return false;
}

bool FileSystem::PrepareReplacement(int replacement, int target) {
    FileStatus original;
    if (!Describe(HandleOf(target), original)) {
        return false;
    }
    FILE_BASIC_INFO basic{};  // zero times: left as they are
    basic.FileAttributes = original.flags & kKeptAttributes;
    if (basic.FileAttributes == 0) {
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
    return SetFileInformationByHandle(HandleOf(replacement), FileBasicInfo, &basic, sizeof basic) !=
               0 ||
           Failed();
}

bool FileSystem::CompleteReplacement(int replacement, const FileStatus&) {
    return SetVanishing(HandleOf(replacement), false);
}

bool FileSystem::Rename(const Folder& folder, const std::string& from, const std::string& to) {
    std::wstring replacement, replaced;
    if (!FilePath(folder.path + from, replacement) || !FilePath(folder.path + to, replaced)) {
        return false;
    }
    if (ReplaceFileW(replaced.c_str(), replacement.c_str(), nullptr, 0, nullptr, nullptr)) {
        return true;
    }
    // The old file is gone already and the new one kept its own name: it takes the old one.
    if (GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT &&
        MoveFileExW(replacement.c_str(), replaced.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return true;
    }
    return Failed();
}

bool FileSystem::Remove(const Folder& folder, const std::string& name) {
    std::wstring wide;
    return FilePath(folder.path + name, wide) && (DeleteFileW(wide.c_str()) || Failed());
}

long FileSystem::Write(int descriptor, const unsigned char* data, std::size_t size) {
    DWORD written = 0;
    if (!WriteFile(HandleOf(descriptor), data, Clamped(size), &written, nullptr)) {
        return Failed(-1L);
    }
    return static_cast<long>(written);
}

long FileSystem::ReadAt(int descriptor, unsigned char* data, std::size_t size,
                        std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    if (!ReadFile(HandleOf(descriptor), data, Clamped(size), &read, &at)) {
        return GetLastError() == ERROR_HANDLE_EOF ? 0L : Failed(-1L);
    }
    return static_cast<long>(read);
}

bool FileSystem::Reserve(int descriptor, std::uint64_t size) {
    const HANDLE handle = HandleOf(descriptor);
    FileStatus status;
    if (!Describe(handle, status)) {
        return false;
    }
    if (size <= status.allocated) {
        return true;
    }
    if (size > static_cast<std::uint64_t>(INT64_MAX)) {
        errno = EFBIG;
        return false;
    }
    FILE_ALLOCATION_INFO allocation{};
    allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(size);
    if (SetFileInformationByHandle(handle, FileAllocationInfo, &allocation, sizeof allocation)) {
        return true;
    }
    if (ErrnoFor(GetLastError()) == ENOSPC) {
        return Failed();
    }
    // Where the file system cannot reserve, the free space must hold what the file lacks.
    std::wstring folder, name;
    ULARGE_INTEGER available;
    if (!FinalFolderAndName(handle, folder, name) ||
        !GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) {
        return true;  // nothing tells; the write itself will
    }
    if (available.QuadPart < size - status.allocated) {
        errno = ENOSPC;
        return false;
    }
    return true;
}

bool FileSystem::Truncate(int descriptor, std::uint64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return SetFileInformationByHandle(HandleOf(descriptor), FileEndOfFileInfo, &end, sizeof end) !=
               0 ||
           Failed();
}

bool FileSystem::Close(int descriptor) {
    return _close(descriptor) == 0;
}

FileSystem& SystemFileSystem() {
    static FileSystem system;
    return system;
}

long ProcessId() {
    return static_cast<long>(GetCurrentProcessId());
}

}  // namespace Morvane
