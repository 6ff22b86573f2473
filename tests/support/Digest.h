// SHA-256 through OpenSSL, for comparing whole files with known digests.
#pragma once

#include <string>
#include <string_view>

namespace MorvaneTest {

// Lower-case hexadecimal SHA-256 of `bytes`.
std::string Sha256Hex(std::string_view bytes);

}  // namespace MorvaneTest
