#pragma once

// Writes the usage text to standard output; `programName` is argv[0] as given.
void PrintUsage(const char* programName);
