#include "OutputPath.h"

#if defined(__linux__)
#include <sys/random.h>
#endif

#include <atomic>
#include <charconv>
#include <chrono>
#include <random>

#include "FileSystem.h"

namespace Morvane {
namespace {

#if defined(_WIN32)
constexpr std::string_view kSeparators = "/\\";
#else
constexpr std::string_view kSeparators = "/";
#endif

// `path` with every run of slashes made one, as the system reads it.
std::string SingleSlashes(std::string_view path) {
    std::string single;
    for (const char c : path) {
        if (c != '/' || single.empty() || single.back() != '/') {
            single += c;
        }
    }
    return single;
}

// The number N in plain decimal that a whole `text` spells, or -1.
long PlainNumber(std::string_view text) {
    long number = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    const bool plain = !text.empty() && error == std::errc() && end == text.data() + text.size() &&
                       (text.size() == 1 || text[0] != '0');
    return plain ? number : -1;
}

// N of "PREFIXN", or -1.
int NumberAfter(std::string_view path, std::string_view prefix) {
    if (path.substr(0, prefix.size()) != prefix) {
        return -1;
    }
    const long number = PlainNumber(path.substr(prefix.size()));
    return number <= 0x7fffffff ? static_cast<int>(number) : -1;
}

}  // namespace

int DescriptorNamedBy(std::string_view given, long processId) {
    const std::string path = SingleSlashes(given);
    constexpr std::string_view kStreams[] = {"/dev/stdin", "/dev/stdout", "/dev/stderr"};
    for (int stream = 0; stream < 3; ++stream) {
        if (path == kStreams[stream]) {
            return stream;
        }
    }
    const std::string own = "/proc/" + std::to_string(processId) + "/fd/";
    for (const std::string_view prefix :
         {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/"),
          std::string_view("/proc/thread-self/fd/"), std::string_view(own)}) {
        if (const int number = NumberAfter(path, prefix); number >= 0) {
            return number;
        }
    }
    return -1;
}

int OwnDescriptorNamedBy(const std::string& path) {
    return DescriptorNamedBy(path, path.find("proc") != std::string::npos ? ProcessId() : -1);
}

std::string_view FolderOf(std::string_view path) {
    const std::size_t last = path.find_last_of(kSeparators);
    return last == std::string_view::npos ? std::string_view() : path.substr(0, last + 1);
}

std::string_view NameOf(std::string_view path) {
    return path.substr(FolderOf(path).size());
}

bool IsEntryName(std::string_view name) {
    return !name.empty() && name != "." && name != "..";
}

bool IsDevicePath(std::string_view path) {
    return SingleSlashes(path).rfind("/dev/", 0) == 0;
}

std::uint64_t RandomBits() {
    // One secret seed a process, stepped and mixed for every name (splitmix64): as
    // unpredictable from outside as a fresh draw, without a system call a file.
    static const std::uint64_t seed = [] {
#if defined(__linux__)
        // One system call; std::random_device probes the processor first, which a virtual
        // machine makes costly.
        std::uint64_t bits = 0;
        if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) == sizeof bits) {
            return bits;
        }
#endif
        try {
            std::random_device device;
            return (static_cast<std::uint64_t>(device()) << 32) ^ device();
        } catch (...) {  // no random source: names still differ between runs
            return static_cast<std::uint64_t>(
                std::chrono::steady_clock::now().time_since_epoch().count());
        }
    }();
    static std::atomic<std::uint64_t> step{0};
    std::uint64_t bits = seed + ++step * 0x9E3779B97F4A7C15ull;
    bits = (bits ^ (bits >> 30)) * 0xBF58476D1CE4E5B9ull;
    bits = (bits ^ (bits >> 27)) * 0x94D049BB133111EBull;
    return bits ^ (bits >> 31);
}

}  // namespace Morvane
