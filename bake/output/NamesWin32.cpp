// How Windows names files for the writer: UTF-8 paths as the wide file functions take them,
// the path of an opened file, and Win32 errors in the C library's terms.
#include "NamesWin32.h"

#include <cerrno>
#include <climits>

namespace Morvane {
namespace {

struct Reason {
    int reason;
    DWORD errors[5];  // unused entries are 0, which no failure reports
};
constexpr Reason kReasons[] = {
    {ENOENT,
     {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_INVALID_DRIVE, ERROR_BAD_NETPATH,
      ERROR_BAD_NET_NAME}},
    {EACCES, {ERROR_ACCESS_DENIED, ERROR_DELETE_PENDING, ERROR_PRIVILEGE_NOT_HELD}},
    // The last: the target was opened meanwhile by a program that shares it.
    {EBUSY,
     {ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION, ERROR_USER_MAPPED_FILE,
      ERROR_UNABLE_TO_REMOVE_REPLACED}},
    {EINVAL, {ERROR_INVALID_NAME, ERROR_BAD_PATHNAME, ERROR_INVALID_PARAMETER}},
    {ENOTDIR, {ERROR_DIRECTORY}},
    {ENAMETOOLONG, {ERROR_FILENAME_EXCED_RANGE}},
    {ENOSPC, {ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL}},
    {EROFS, {ERROR_WRITE_PROTECT}},
    {EMFILE, {ERROR_TOO_MANY_OPEN_FILES}},
    {ENOMEM, {ERROR_NOT_ENOUGH_MEMORY, ERROR_OUTOFMEMORY}},
    {EEXIST, {ERROR_FILE_EXISTS, ERROR_ALREADY_EXISTS}},
    {EXDEV, {ERROR_NOT_SAME_DEVICE}},
    {EPIPE, {ERROR_BROKEN_PIPE, ERROR_NO_DATA}},
    {EBADF, {ERROR_INVALID_HANDLE}},
    {EOPNOTSUPP, {ERROR_INVALID_FUNCTION, ERROR_NOT_SUPPORTED, ERROR_CALL_NOT_IMPLEMENTED}},
};

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

int ErrnoFor(DWORD error) {
    for (const Reason& known : kReasons) {
        for (const DWORD each : known.errors) {
            if (error != 0 && each == error) {
                return known.reason;
            }
        }
    }
    return EIO;
}

bool Utf8ToWide(const std::string& text, std::wstring& wide) {
    wide.clear();
    if (text.empty()) {
        return true;
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        errno = ENAMETOOLONG;
        return false;
    }
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) {
        errno = EILSEQ;  // not UTF-8: no file has this name
        return false;
    }
    wide.resize(static_cast<std::size_t>(length));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), length);
    return true;
}

bool WideToUtf8(const std::wstring& wide, std::string& text) {
    text.clear();
    if (wide.empty()) {
        return true;
    }
    const int length =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(),
                            static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        errno = EILSEQ;  // a name with a lone surrogate has no UTF-8 spelling
        return false;
    }
    text.resize(static_cast<std::size_t>(length));
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), static_cast<int>(wide.size()),
                        text.data(), length, nullptr, nullptr);
    return true;
}

bool FilePath(const std::string& path, std::wstring& wide) {
    if (!Utf8ToWide(path, wide)) {
        return false;
    }
    if (StartsWith(wide, L"\\\\?\\") || StartsWith(wide, L"\\\\.\\")) {
        return true;
    }
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed < MAX_PATH) {
        return true;
    }
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        return true;  // left as given: the system then reports why it cannot be used
    }
    full.resize(length);
    wide = StartsWith(full, L"\\\\") ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
    return true;
}

bool FinalPath(HANDLE handle, std::wstring& path) {
    DWORD size = MAX_PATH;
    for (int attempt = 0; attempt < 2; ++attempt) {
        path.assign(size, L'\0');
        const DWORD length = GetFinalPathNameByHandleW(handle, path.data(), size,
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            return Failed();
        }
        if (length < size) {
            path.resize(length);
            return true;
        }
        size = length;
    }
    errno = ENAMETOOLONG;
    return false;
}

bool FinalFolderAndName(HANDLE handle, std::wstring& folder, std::wstring& name) {
    std::wstring path;
    if (!FinalPath(handle, path)) {
        return false;
    }
    const std::size_t separator = path.rfind(L'\\');
    if (separator == std::wstring::npos || separator + 1 == path.size()) {
        errno = ENOENT;  // a volume or device, not a file in a folder
        return false;
    }
    folder = path.substr(0, separator + 1);
    name = path.substr(separator + 1);
    return true;
}

}  // namespace Morvane
