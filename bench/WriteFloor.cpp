// The floor for writing maps to files: writes BYTES constant bytes to each PATH the plainest way
// that never leaves a half-written file, a new temporary file beside it renamed over it once
// complete, from one constant buffer of CHUNK bytes (default 64 KiB). A writer that keeps that
// promise cannot do less.
// Usage: morvane_write_floor [--chunk=CHUNK] BYTES PATH...
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::size_t chunkBytes = 64 * 1024;
    int first = 1;
    if (argc > 1 && std::strncmp(argv[1], "--chunk=", 8) == 0) {
        chunkBytes = std::strtoull(argv[1] + 8, nullptr, 10);
        first = 2;
    }
    if (argc < first + 2 || chunkBytes == 0) {
        std::fputs("usage: morvane_write_floor [--chunk=CHUNK] BYTES PATH...\n", stderr);
        return 1;
    }
    const unsigned long long bytes = std::strtoull(argv[first], nullptr, 10);
    const std::vector<unsigned char> chunk(chunkBytes, 0x7F);
    for (int i = first + 1; i < argc; ++i) {
        const std::string target = argv[i];
        const std::string temporary = target + ".floor";
        const int file = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file < 0) {
            std::perror(temporary.c_str());
            return 2;
        }
        for (unsigned long long left = bytes; left > 0;) {
            const std::size_t size =
                left < chunk.size() ? static_cast<std::size_t>(left) : chunk.size();
            const ssize_t written = write(file, chunk.data(), size);
            if (written <= 0) {
                std::perror(target.c_str());
                return 2;
            }
            left -= static_cast<unsigned long long>(written);
        }
        if (close(file) != 0 || rename(temporary.c_str(), target.c_str()) != 0) {
            std::perror(target.c_str());
            return 2;
        }
    }
    return 0;
}
