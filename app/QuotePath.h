// Paths as error messages show them: quoted for the shell, so that control characters and
// line feeds appear as escapes instead of reaching the terminal.
#pragma once

#include <string>
#include <string_view>

// 'maps/set_ao.ppm'; "it's" for a name with a single quote; 'a'$'\n''b' for a name with a
// line feed, $'\033' for an escape character. Printable UTF-8 stays as it is.
std::string QuotePath(std::string_view path);

// `path` as it is when every character of it is printable, else quoted as QuotePath does: what
// a result line shows, so that it stays one line and cannot drive the terminal.
std::string PrintablePath(std::string_view path);
