// A file being written that appears at its path complete or not at all.
#pragma once

#include <cstddef>
#include <string>

namespace Morvane {

// Regular files (new or existing) are written to a temporary file beside the target and
// renamed over it by Commit(); anything else that already exists at the path (a pipe, a
// terminal, a device) is written directly. A file that is never committed is removed. Every
// failing call returns false and leaves errno describing the cause.
class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    bool Open(const std::string& path);
    bool Write(const unsigned char* data, std::size_t size);
    bool Commit();

private:
    void Discard();

    int descriptor_ = -1;
    std::string target_;     // where the file must end up
    std::string temporary_;  // empty when writing directly
};

}  // namespace Morvane
