// Text as the system gives and takes it: the command line's arguments, what is written to a
// console or a stream, and the reasons for errors. Inside the program all text, paths
// included, is UTF-8.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// The arguments of the command line, in UTF-8. Windows gives them as UTF-16 (argv holds only
// what fits the ANSI code page); elsewhere they are argv's bytes as they are.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Writes UTF-8 `text` to `stream`: as characters to a Windows console, which shows them in any
// script, and as the bytes themselves to a file, a pipe or a terminal.
void WriteText(std::FILE* stream, std::string_view text);

// The reason a write failed, for `error`, an errno value.
std::string ReasonText(int error);
