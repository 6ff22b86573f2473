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
#include "SignalBlock.h"
#include "WriteMethod.h"

namespace Morvane {

// Open() observes the target and chooses how it is written (see OutputFile.cpp for the
// rules), Write() adds bytes, and Commit() observes it again and finishes the file. A file
// that is not committed is undone as far as possible. Every failing call returns false and
// leaves errno describing the cause.
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
    void OpenNewFile(const std::string& path);
    bool OpenExisting(const std::string& path, bool mayBeMissing);
    void ObserveTarget(const FileStatus& status);
    void OpenReplacement();
    bool Begin();
    bool CommitNewFile();
    bool CommitOverExisting();
    bool CommitReplacement();
    bool CopyInto(int destination, bool regular);
    bool TerminatingSignalArrived();
    bool WriteAll(int descriptor, const unsigned char* data, std::size_t size);
    void DropNewFile();
    void Discard();

    FileSystem& fs_;
    bool open_ = false;
    WriteMethod method_ = WriteMethod::Refuse;
    TargetFacts facts_;
    std::string path_;
    int target_ = -1;        // the file that was opened at the path
    int newFile_ = -1;       // the new file that takes the target's place
    int file_ = -1;          // the file being written: the target, the new file or a descriptor
    FileStatus observed_;    // the target, when it was last observed
    Folder folder_;          // where the target is linked, when it was found
    std::string name_;       // its name there
    std::string temporary_;  // the new file's name while it has one
    bool createdTarget_ = false;  // the target did not exist before: removed on failure
    std::uint64_t size_ = 0;
    std::uint64_t written_ = 0;
    std::uint64_t nextSignalCheck_ = 0;
    SignalBlock writeErrorSignals_;   // for the whole write
    SignalBlock terminatingSignals_;  // while a new file has a name but is not in place
};

}  // namespace Morvane
