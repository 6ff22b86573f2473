#include "Diagnostics.h"

#include <cstdio>
#include <string>

#include "QuotePath.h"
#include "SystemText.h"

namespace {

void PrintError(const std::string& message) {
    WriteText(stderr, "morvane: " + message + "\n");
}

}  // namespace

void ReportWriteFailure(std::string_view path, int error) {
    PrintError("cannot write " + QuotePath(path) + ": " + ReasonText(error));
}

void ReportOutOfMemory() {
    std::fputs("morvane: out of memory\n", stderr);
}

void ReportStandardOutputFailure(int error) {
    PrintError(std::string("cannot write standard output: ") + ReasonText(error));
}
