// The bake commands: one map into a file, or the full set under a name prefix.
#pragma once

#include <string_view>

// The single-map command called `name` ("--bake-ao", "--bake-normal", "--bake-curv"), or null.
struct SingleMapCommand;
const SingleMapCommand* FindSingleMapCommand(std::string_view name);

// Bakes one 256 x 256 map band by band into `path` and prints its result line. Returns the exit
// status: success, or failure when the file could not be written.
int RunSingleMapCommand(const SingleMapCommand& command, const char* path);

// Bakes the four maps band by band into PREFIX_ao.ppm, PREFIX_normal.ppm, PREFIX_curvature.ppm
// and PREFIX_id.ppm, in that order, through one small buffer. Every file is attempted; the
// result line is printed only when all four were written.
int RunFullSetCommand(const char* prefix);
