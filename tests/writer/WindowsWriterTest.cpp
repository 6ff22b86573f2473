// The writer on Windows, through the Win32 calls themselves: UTF-8 paths in any script and
// beyond the classic length limit, a replaced file that keeps its attributes, devices written
// as they are, the reasons of failures, and a replacement that vanishes with its process.
// Where Wine, which runs these in CI, differs from Windows, a case says so and skips.

#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "FileSystem.h"
#include "Files.h"

using Morvane::BakeEngine;
using Morvane::MapKind;
using Morvane::MapRequest;
using MorvaneTest::ListDirectory;
using MorvaneTest::ReadFile;
using MorvaneTest::ScratchDirectory;

namespace {

namespace fs = std::filesystem;

constexpr MapRequest kMap{MapKind::Curvature, 16, 8};

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path FromUtf8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

// `path` in the \\?\ form, which lifts the classic length limit for the test's own calls.
fs::path Long(const fs::path& path) {
    return fs::path(L"\\\\?\\" + fs::absolute(path).wstring());
}

// The names in a folder of any path length, "." and ".." aside.
std::size_t EntriesIn(const fs::path& folder) {
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((Long(folder) / L"*").c_str(), &entry);
    std::size_t count = 0;
    for (bool found = search != INVALID_HANDLE_VALUE; found;
         found = FindNextFileW(search, &entry)) {
        const std::wstring name = entry.cFileName;
        count += name != L"." && name != L".." ? 1 : 0;
    }
    FindClose(search);
    return count;
}

void Put(const fs::path& path, const std::string& content, DWORD attributes = 0) {
    MorvaneTest::WriteFile(path, content);
    if (attributes != 0) {
        SetFileAttributesW(path.c_str(), attributes);
    }
}

std::string Expected() {
    std::string bytes;
    std::vector<std::uint32_t> buffer;
    BakeEngine::EncodePpm(
        kMap,
        [&](const unsigned char* data, std::size_t size) {
            bytes.append(reinterpret_cast<const char*>(data), size);
            return true;
        },
        buffer);
    return bytes;
}

// Saves the map to `path` and gives errno when that fails, 0 when it succeeds.
int SaveError(const std::string& path) {
    std::vector<std::uint32_t> buffer;
    errno = 0;
    return BakeEngine::SavePpm(path, kMap, buffer) ? 0 : errno;
}

TEST(WindowsWriter, PathsInAnyScriptAndOfAnyLengthNameTheFileGiven) {
    ScratchDirectory scratch;
    const std::string folder = Utf8(scratch.Path()) + "\\";
    fs::path deep = scratch.Path();
    for (int level = 0; level < 5; ++level) {
        deep /= std::string(60, 'd');
    }
    fs::create_directories(Long(deep));
    const std::string longPath = Utf8(deep / "map.ppm");
    ASSERT_GT(longPath.size(), std::size_t{MAX_PATH});
    for (const std::string& path : {folder + "Текстура.ppm", folder + "法線.ppm",
                                    folder + "\xF0\x9F\x98\x80.ppm", longPath}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(SaveError(path), 0);
        EXPECT_EQ(ReadFile(Long(FromUtf8(path))), Expected());
    }
    EXPECT_EQ(EntriesIn(deep), 1u) << "a file was left beside the long path's map";

    // Bytes that are not UTF-8 name no file: refused, nothing written.
    EXPECT_EQ(SaveError(folder + "\xC3(.ppm"), EILSEQ);
    EXPECT_EQ(SaveError(folder + "\xED\xA0\x80.ppm"), EILSEQ);  // a lone surrogate
}

TEST(WindowsWriter, ReplacedFilesKeepTheirAttributesAndFilesWithSeveralLinksTheirPlace) {
    ScratchDirectory scratch;
    const fs::path hidden = scratch.Path() / "hidden.ppm";
    // Wine keeps no more attributes than these; Windows keeps not-indexed and others as well.
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    Put(hidden, "an older and longer file", kept);
    ASSERT_EQ(GetFileAttributesW(hidden.c_str()) & kept, kept);
    const std::uint64_t before = MorvaneTest::FileIdentity(Utf8(hidden));

    EXPECT_EQ(SaveError(Utf8(hidden)), 0);
    EXPECT_EQ(ReadFile(hidden), Expected());
    EXPECT_EQ(GetFileAttributesW(hidden.c_str()) & kept, kept);
    EXPECT_NE(MorvaneTest::FileIdentity(Utf8(hidden)), before)
        << "written in place, not replaced whole";
    EXPECT_EQ(ListDirectory(scratch.Path()), "hidden.ppm");

    // Another name of the same file shows the new contents: it was written in place.
    const fs::path first = scratch.Path() / "first.ppm";
    const fs::path second = scratch.Path() / "second.ppm";
    Put(first, "an older and longer file");
    ASSERT_TRUE(CreateHardLinkW(second.c_str(), first.c_str(), nullptr));
    EXPECT_EQ(SaveError(Utf8(second)), 0);
    EXPECT_EQ(ReadFile(first), Expected());
    EXPECT_EQ(MorvaneTest::FileIdentity(Utf8(first)), MorvaneTest::FileIdentity(Utf8(second)));

    // A file another program has open, sharing it but not its deletion, as cmd writes it.
    const fs::path open = scratch.Path() / "open.ppm";
    Put(open, "an older and longer file");
    const HANDLE viewer =
        CreateFileW(open.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(viewer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SaveError(Utf8(open)), 0);
    CloseHandle(viewer);
    EXPECT_EQ(ReadFile(open), Expected());
}

TEST(WindowsWriter, DevicesAreWrittenAsTheyAre) {
    ScratchDirectory scratch;
    const fs::path before = fs::current_path();
    fs::current_path(scratch.Path());
    EXPECT_EQ(SaveError("NUL"), 0);
    EXPECT_EQ(ListDirectory(scratch.Path()), "");
    fs::current_path(before);

    // A named pipe gets the file as a stream, in order.
    const std::wstring name =
        L"\\\\.\\pipe\\morvane-test-" + std::to_wstring(GetCurrentProcessId());
    const HANDLE pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 0,
                                         1 << 16, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    std::string received;
    std::thread reader([&] {
        ConnectNamedPipe(pipe, nullptr);
        char chunk[4096];
        DWORD count = 0;
        while (ReadFile(pipe, chunk, sizeof chunk, &count, nullptr) && count > 0) {
            received.append(chunk, count);
        }
    });
    const int error = SaveError(Utf8(fs::path(name)));
    if (error != 0) {  // never connected: a client of its own lets the reader end
        CloseHandle(
            CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    reader.join();
    EXPECT_EQ(error, 0);
    CloseHandle(pipe);
    EXPECT_EQ(received, Expected());
}

TEST(WindowsWriter, FailuresTellTheirReason) {
    ScratchDirectory scratch;
    const std::string folder = Utf8(scratch.Path()) + "\\";
    EXPECT_EQ(SaveError(folder + "нет\\карта.ppm"), ENOENT);
    EXPECT_EQ(SaveError(folder + "a<b.ppm"), EINVAL);
    fs::create_directory(scratch.Path() / "folder");
    EXPECT_EQ(SaveError(folder + "folder"), EACCES);

    // A file another program holds without sharing it.
    const fs::path held = scratch.Path() / "held.ppm";
    Put(held, "old");
    const HANDLE holder =
        CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SaveError(Utf8(held)), EBUSY);
    CloseHandle(holder);
    EXPECT_EQ(ReadFile(held), "old");
    EXPECT_EQ(ListDirectory(scratch.Path()), "folder held.ppm");
}

TEST(WindowsWriter, ReadOnlyFilesAreRefusedAsCmdRefusesThem) {
    ScratchDirectory scratch;
    const fs::path readOnly = scratch.Path() / "read-only.ppm";
    Put(readOnly, "old", FILE_ATTRIBUTE_READONLY);
    const HANDLE probe =
        CreateFileW(readOnly.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        GTEST_SKIP() << "SKIPPED: this system lets the user write a read-only file (Wine as root "
                        "does); only Windows itself shows the refusal";
    }
    EXPECT_EQ(SaveError(Utf8(readOnly)), EACCES);
    EXPECT_EQ(ReadFile(readOnly), "old");
}

// The replacement is made to vanish with its handle until it is complete: a process killed
// while writing it leaves nothing beside the target.
TEST(WindowsWriter, AReplacementVanishesWithAKilledProcess) {
    wchar_t folderName[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"MORVANE_VANISHING_CHILD", folderName, MAX_PATH) > 0) {
        Morvane::FileSystem& system = Morvane::SystemFileSystem();
        Morvane::Folder folder;
        folder.path = Utf8(fs::path(folderName)) + "\\";
        const int file = system.CreateNamed(folder, ".morvane-unfinished");
        const unsigned char bytes[] = "half a map";
        system.Write(file, bytes, sizeof bytes);
        TerminateProcess(GetCurrentProcess(), file >= 0 ? 3 : 4);
    }
    ScratchDirectory scratch;
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring command =
        L"\"" + std::wstring(program) +
        L"\" --gtest_filter=WindowsWriter.AReplacementVanishesWithAKilledProcess";
    SetEnvironmentVariableW(L"MORVANE_VANISHING_CHILD", scratch.Path().c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    const BOOL started = CreateProcessW(program, command.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &child);
    SetEnvironmentVariableW(L"MORVANE_VANISHING_CHILD", nullptr);
    ASSERT_TRUE(started);
    WaitForSingleObject(child.hProcess, 60000);
    DWORD status = 0;
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    EXPECT_EQ(status, 3u) << "the child could not create its file";
    EXPECT_EQ(ListDirectory(scratch.Path()), "");
}

}  // namespace
