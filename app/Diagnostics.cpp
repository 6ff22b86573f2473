#include "Diagnostics.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "QuotePath.h"

namespace {

void PrintError(const std::string& message) {
    const std::string line = "morvane: " + message + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace

void ReportWriteFailure(std::string_view path, int error) {
    PrintError("cannot write " + QuotePath(path) + ": " + std::strerror(error));
}

void ReportOutOfMemory() {
    std::fputs("morvane: out of memory\n", stderr);
}

void ReportStandardOutputFailure(int error) {
    PrintError(std::string("cannot write standard output: ") + std::strerror(error));
}
