// Scratch directories and whole-file reads for tests that write images.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include <morvane/BakeEngine.h>

namespace MorvaneTest {

// A fresh directory under the system's temporary directory, removed with everything in it.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& content);
bool FileExists(const std::string& path);

// The names in a directory, sorted.
std::string ListDirectory(const std::filesystem::path& directory);

// The bytes SavePpm writes for `map`.
std::string PpmBytes(const Morvane::TextureMap& map);

// Which file `path` names on its volume (the inode, or Windows' file index), links followed;
// 0 when there is none. The path is UTF-8 on Windows.
std::uint64_t FileIdentity(const std::string& path);

// True when `path` is a character device: checked before writing to /dev/full, because a
// writer that wrongly renamed a file over it would leave a regular file there.
bool IsCharacterDevice(const std::string& path);

}  // namespace MorvaneTest
