#pragma once

// Writes the usage text to standard output; `programName` is argv[0] as given, never null
// (main passes "" for a process started without one).
void PrintUsage(const char* programName);
