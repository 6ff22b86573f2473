#include "QuotePath.h"

#include <cstdint>

namespace {

// The length of the printable UTF-8 character at the start of `text`, or 0 when it starts
// with a byte that must be escaped: an ASCII control, DEL, a C1 control, a line or paragraph
// separator, a direction override, or a byte that is not valid UTF-8.
std::size_t PrintableLength(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) {
        return lead >= 0x20 && lead != 0x7F ? 1 : 0;
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || text.size() < length) {
        return 0;
    }
    std::uint32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (next & 0x3F);
    }
    const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool valid =
        code >= smallest[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    const bool control = code < 0xA0 || code == 0x2028 || code == 0x2029 ||
                         (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
    return valid && !control ? length : 0;
}

void AppendEscape(std::string& out, unsigned char byte) {
    switch (byte) {
        case '\a':
            out += "\\a";
            return;
        case '\b':
            out += "\\b";
            return;
        case '\f':
            out += "\\f";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\r':
            out += "\\r";
            return;
        case '\t':
            out += "\\t";
            return;
        case '\v':
            out += "\\v";
            return;
        default:
            out += '\\';
            out += static_cast<char>('0' + (byte >> 6));
            out += static_cast<char>('0' + ((byte >> 3) & 7));
            out += static_cast<char>('0' + (byte & 7));
    }
}

}  // namespace

std::string QuotePath(std::string_view path) {
    bool escapes = false;
    bool singleQuote = false;
    bool doubleQuoteSpecial = false;
    for (std::size_t i = 0; i < path.size();) {
        const std::size_t length = PrintableLength(path.substr(i));
        escapes = escapes || length == 0;
        singleQuote = singleQuote || path[i] == '\'';
        doubleQuoteSpecial = doubleQuoteSpecial ||
                             std::string_view("\"$`\\!").find(path[i]) != std::string_view::npos;
        i += length == 0 ? 1 : length;
    }
    if (singleQuote && !escapes && !doubleQuoteSpecial) {
        std::string quoted(1, '"');
        quoted.append(path).push_back('"');
        return quoted;
    }

    std::string out = "'";
    bool escaping = false;  // inside $'...'
    for (std::size_t i = 0; i < path.size();) {
        const std::size_t length = PrintableLength(path.substr(i));
        if (length == 0) {
            out += escaping ? "" : "'$'";
            escaping = true;
            AppendEscape(out, static_cast<unsigned char>(path[i]));
            ++i;
            continue;
        }
        out += escaping ? "''" : "";
        escaping = false;
        out += path[i] == '\'' ? std::string("'\\''") : std::string(path.substr(i, length));
        i += length;
    }
    return out + "'";
}

std::string PrintablePath(std::string_view path) {
    for (std::size_t i = 0; i < path.size();) {
        const std::size_t length = PrintableLength(path.substr(i));
        if (length == 0) {
            return QuotePath(path);
        }
        i += length;
    }
    return std::string(path);
}
