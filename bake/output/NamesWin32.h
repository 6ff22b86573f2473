// How Windows names files for the writer (NamesWin32.cpp).
#pragma once

// The writer's own: the engine never uses it (see bake/CMakeLists.txt).
#if !defined(MORVANE_WRITER_INTERNALS)
#error "the writer's internals are for the writer and its tests; the engine never uses them"
#endif

#include <windows.h>

#include <cerrno>
#include <string>

namespace Morvane {

// The reason, in the C library's terms, for a Win32 error a write can meet; EIO for others.
int ErrnoFor(DWORD error);

// Sets errno from the last Win32 error; for `return Failed();` and `return Failed(-1);`.
template <typename Result = bool>
Result Failed(Result result = Result{}) {
    errno = ErrnoFor(GetLastError());
    return result;
}

// UTF-8 to UTF-16 and back; EILSEQ for text that has no spelling in the other.
bool Utf8ToWide(const std::string& text, std::wstring& wide);
bool WideToUtf8(const std::wstring& wide, std::string& text);

// `path` as the wide file functions take it. A path whose full form is too long for the
// classic limit is given in that full form behind \\?\, which lifts the limit; any other is
// left as it is, so that Windows reads it as `cmd` would (device names, trailing dots).
bool FilePath(const std::string& path, std::wstring& wide);
// The path of the file open at `handle`, links and junctions resolved, in the \\?\ form.
bool FinalPath(HANDLE handle, std::wstring& path);
// The folder (with its final separator) and the name of the file open at `handle`, as
// FinalPath gives its path.
bool FinalFolderAndName(HANDLE handle, std::wstring& folder, std::wstring& name);

}  // namespace Morvane
