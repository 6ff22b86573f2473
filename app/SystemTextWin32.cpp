// Windows: the command line is read as UTF-16 and converted to UTF-8; UTF-8 output becomes
// UTF-16 only where it meets a console.
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "SystemText.h"

namespace {

// UTF-16 as UTF-8. A lone surrogate, which no UTF-8 spells, is encoded as if it were a
// character (as WTF-8 does): the file calls then refuse the path as not UTF-8 instead of
// writing a file of another name.
std::string Utf8Of(const wchar_t* wide) {
    std::string text;
    for (; *wide != L'\0'; ++wide) {
        std::uint32_t point = static_cast<std::uint16_t>(*wide);
        const std::uint32_t next = static_cast<std::uint16_t>(wide[1]);
        if (point >= 0xD800 && point < 0xDC00 && next >= 0xDC00 && next < 0xE000) {
            point = 0x10000 + ((point - 0xD800) << 10) + (next - 0xDC00);
            ++wide;
        }
        if (point < 0x80) {
            text += static_cast<char>(point);
        } else if (point < 0x800) {
            text += static_cast<char>(0xC0 | point >> 6);
            text += static_cast<char>(0x80 | (point & 0x3F));
        } else if (point < 0x10000) {
            text += static_cast<char>(0xE0 | point >> 12);
            text += static_cast<char>(0x80 | (point >> 6 & 0x3F));
            text += static_cast<char>(0x80 | (point & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | point >> 18);
            text += static_cast<char>(0x80 | (point >> 12 & 0x3F));
            text += static_cast<char>(0x80 | (point >> 6 & 0x3F));
            text += static_cast<char>(0x80 | (point & 0x3F));
        }
    }
    return text;
}

// The console behind standard output or standard error, or nullptr when `stream` goes to a
// file or a pipe.
HANDLE ConsoleOf(std::FILE* stream) {
    if (stream != stdout && stream != stderr) {
        return nullptr;
    }
    const HANDLE handle = GetStdHandle(stream == stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        std::vector<std::string> given;  // as the C library split them
        for (int i = 0; i < argc; ++i) {
            given.emplace_back(argv[i] != nullptr ? argv[i] : "");
        }
        return given;
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        arguments.push_back(Utf8Of(wide[i]));
    }
    LocalFree(wide);
    return arguments;
}

void WriteText(std::FILE* stream, std::string_view text) {
    const HANDLE console = ConsoleOf(stream);
    const int size = text.size() <= static_cast<std::size_t>(INT_MAX)
                         ? static_cast<int>(text.size())
                         : 0;  // never for a line of text; written as bytes
    const int length = console != nullptr && size > 0
                           ? MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0)
                           : 0;
    if (length > 0) {
        std::wstring wide(static_cast<std::size_t>(length), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
        std::fflush(stream);  // what the C library holds comes first
        DWORD written = 0;
        if (WriteConsoleW(console, wide.data(), static_cast<DWORD>(length), &written, nullptr)) {
            return;
        }
    }
    std::fwrite(text.data(), 1, text.size(), stream);
}

// The C library's texts for these differ between Windows' runtimes, or are unclear there.
std::string ReasonText(int error) {
    switch (error) {
        case EBUSY:
            return "The file is in use by another process";
        case EILSEQ:
            return "Illegal byte sequence";
        case ENAMETOOLONG:
            return "File name too long";
        case EOPNOTSUPP:
            return "Operation not supported";
        default:
            return std::strerror(error);
    }
}
