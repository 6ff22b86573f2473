// SHA-256 of its own (Debian has no OpenSSL for every cross target the tests run on), for
// comparing whole files with known digests.
#pragma once

#include <string>
#include <string_view>

namespace MorvaneTest {

// Lower-case hexadecimal SHA-256 of `bytes`.
std::string Sha256Hex(std::string_view bytes);
// The same of the whole file at `path` (of nothing when it cannot be read).
std::string Sha256OfFile(const std::string& path);

}  // namespace MorvaneTest
