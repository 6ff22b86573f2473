// A file being written to a path the way the shell's `>` would write it, except that a file
// which can be replaced appears there complete or not at all.
#pragma once

// The writer's own: the engine never uses it (see bake/CMakeLists.txt).
#if !defined(MORVANE_WRITER_INTERNALS)
#error "the writer's internals are for the writer and its tests; the engine never uses them"
#endif

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

    // `size` is the number of bytes that will be written, made sure of up front where the file
    // is written in place.
    bool Open(const std::string& path, std::uint64_t size);
    bool Write(const unsigned char* data, std::size_t size);
    bool Commit();

private:
    enum class Method {
        None,
        Replace,     // a new file in the target's folder, put in its place by Commit()
        InPlace,     // the regular file that was opened, itself
        AsItIs,      // a pipe, terminal or device: written as it is, never truncated
        Descriptor,  // one of the process's own descriptors, at its current position
    };

    bool UseDescriptor(int descriptor);
    bool CanBeReplaced() const;
    bool OpenReplacement();
    bool OpenInPlace();
    bool CommitReplacement();
    bool EndingSignalArrived();
    bool CopyIntoTarget();
    bool WriteAll(int descriptor, const unsigned char* data, std::size_t size);
    void Discard();

    FileSystem& fs_;
    Method method_ = Method::None;
    int target_ = -1;  // the file that was opened at the path
    int file_ = -1;    // the file being written: the target, or its replacement
    FileStatus original_;
    Folder folder_;               // where the target is linked, when it was found
    std::string name_;            // its name there
    std::string temporary_;       // the replacement's name while it has one
    bool createdTarget_ = false;  // the target did not exist before: removed on failure
    std::uint64_t size_ = 0;
    std::uint64_t written_ = 0;
    std::uint64_t nextSignalCheck_ = 0;
    FileSystem::SignalHold quietSignals_;   // for the whole write
    FileSystem::SignalHold endingSignals_;  // while a named replacement exists
};

// The process's own descriptor that a write to `path` goes through: 1 or 2 when the file at
// `path` is standard output's or standard error's, N for a path that spells descriptor N,
// otherwise -1.
int OutputDescriptorOf(FileSystem& fileSystem, const std::string& path);

}  // namespace Morvane
