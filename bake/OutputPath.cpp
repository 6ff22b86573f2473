#include "OutputPath.h"

#include <charconv>

namespace Morvane {
namespace {

#if defined(_WIN32)
constexpr std::string_view kSeparators = "/\\";
#else
constexpr std::string_view kSeparators = "/";
#endif

// The number N of a path "PREFIXN" with N in plain decimal, or -1.
int NumberAfter(std::string_view path, std::string_view prefix) {
    if (path.size() <= prefix.size() || path.substr(0, prefix.size()) != prefix) {
        return -1;
    }
    const std::string_view digits = path.substr(prefix.size());
    int number = -1;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    const bool plain = error == std::errc() && end == digits.data() + digits.size() &&
                       (digits.size() == 1 || digits[0] != '0');
    return plain ? number : -1;
}

}  // namespace

int DescriptorNamedBy(std::string_view path) {
    if (path == "/dev/stdin") {
        return 0;
    }
    if (path == "/dev/stdout") {
        return 1;
    }
    if (path == "/dev/stderr") {
        return 2;
    }
    const int number = NumberAfter(path, "/dev/fd/");
    return number >= 0 ? number : NumberAfter(path, "/proc/self/fd/");
}

std::string FollowLink(std::string_view link, std::string_view content) {
    if (!content.empty() && kSeparators.find(content[0]) != std::string_view::npos) {
        return std::string(content);
    }
    return std::string(FolderOf(link)) + std::string(content);
}

std::string_view FolderOf(std::string_view path) {
    const std::size_t last = path.find_last_of(kSeparators);
    return last == std::string_view::npos ? std::string_view() : path.substr(0, last + 1);
}

std::string_view NameOf(std::string_view path) {
    return path.substr(FolderOf(path).size());
}

bool IsDevicePath(std::string_view path) {
    return path.substr(0, 5) == "/dev/";
}

}  // namespace Morvane
