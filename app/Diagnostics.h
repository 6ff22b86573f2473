// One-line error messages on standard error: program name, what failed, where, and why.
#pragma once

#include <string_view>

// "morvane: cannot write 'PATH': REASON", REASON being the system's text for `error` and PATH
// quoted by QuotePath.
void ReportWriteFailure(std::string_view path, int error);
void ReportOutOfMemory();
void ReportStandardOutputFailure(int error);
