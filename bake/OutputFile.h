// A file being written to a path the way the shell's `>` would write it, except that a file
// which can be replaced appears there complete or not at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "FileSystem.h"

namespace Morvane {

// Open() decides how the target is written (see OutputFile.cpp for the rules), Write() adds
// bytes, and Commit() finishes the file. A file that is not committed is undone as far as
// possible. Every failing call returns false and leaves errno describing the cause.
class OutputFile {
public:
    explicit OutputFile(FileSystem& fileSystem = SystemFileSystem()) : fs_(fileSystem) {}
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // `size` is the number of bytes that will be written, reserved up front where the file
    // is written in place.
    bool Open(const std::string& path, std::uint64_t size);
    bool Write(const unsigned char* data, std::size_t size);
    bool Commit();

private:
    enum class Method {
        None,
        Replace,       // a new file beside the target, renamed over it by Commit()
        InPlace,       // the existing or newly created file itself
        InPlaceOther,  // a pipe, terminal or device: written as it is, never truncated
        Descriptor,    // one of the process's own descriptors, at its current position
    };

    bool OpenResolved(const std::string& target, std::uint64_t size);
    bool OpenDescriptor(int descriptor);
    bool OpenBeside(const std::string& target, const FileStatus* original);
    bool OpenNew(const std::string& target, std::uint64_t size);
    void Discard();

    FileSystem& fs_;
    Method method_ = Method::None;
    int descriptor_ = -1;
    std::uint64_t written_ = 0;
    std::uint64_t nextInterruptionCheck_ = 0;
    unsigned heldSignals_ = 0;
    std::string target_;
    std::string temporary_;       // the file beside the target while it is being written
    bool createdTarget_ = false;  // the target did not exist before: removed on failure
};

}  // namespace Morvane
