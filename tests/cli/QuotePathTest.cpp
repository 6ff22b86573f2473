// Paths as the front end shows them, in process: as they are when every character is printable,
// else quoted as the shell quotes file names, so that a message stays one line and cannot drive
// the terminal.

#include <gtest/gtest.h>

#include "QuotePath.h"

namespace {

TEST(QuotePath, ControlCharactersAndShellSyntaxAreQuoted) {
    const std::pair<std::string, std::string> cases[] = {
        {"maps/set_ao.ppm", "'maps/set_ao.ppm'"},
        {"a\nb\x1b[2J", "'a'$'\\n''b'$'\\033''[2J'"},
        {"x\x1b]0;pwn\a\nSUCCESS: fake", "'x'$'\\033'']0;pwn'$'\\a\\n''SUCCESS: fake'"},
        {"a\x7f"
         "b",
         "'a'$'\\177''b'"},  // DEL
        {"a\xc2\x9b"
         "b",
         "'a'$'\\302\\233''b'"},  // a C1 control (CSI)
        {"a\xe2\x81\xa6"
         "b",
         "'a'$'\\342\\201\\246''b'"},  // a directional isolate
        {"a\xe2\x80\xae"
         "b",
         "'a'$'\\342\\200\\256''b'"},  // a direction override
        {"a\xe2\x80\xaa\xe2\x81\xa9"
         "b",
         "'a'$'\\342\\200\\252\\342\\201\\251''b'"},  // the other ends of both ranges
        {"a\xff"
         "b",
         "'a'$'\\377''b'"},  // not UTF-8
        {"Текстура 法線.ppm", "'Текстура 法線.ppm'"},
        {"$HOME`id`", "'$HOME`id`'"},
        {"it's", "\"it's\""},
        {"it's $x", "'it'\\''s $x'"},
    };
    for (const auto& [path, quoted] : cases) {
        EXPECT_EQ(QuotePath(path), quoted);
        const bool printable = quoted.find("$'") == std::string::npos;
        EXPECT_EQ(PrintablePath(path), printable ? path : quoted);
    }
}

}  // namespace
