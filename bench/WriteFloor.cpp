// The floor for writing maps to files: writes BYTES constant bytes to each PATH the way the
// writer replaces a file (the target opened as `>` opens it, a new file without a name in its
// folder, named and renamed into place once complete), from one constant buffer of CHUNK
// bytes (default 64 KiB). Nothing that writes those files that way can do less. Each PATH
// must be a regular file or missing, in a folder on a file system with O_TMPFILE.
// Usage: morvane_write_floor [--chunk=CHUNK] BYTES PATH...
#include <fcntl.h>
#include <sys/stat.h>
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
        // Only files are replaced: a device or a link renamed over would be lost.
        struct stat status;
        if (lstat(target.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
            std::fprintf(stderr, "%s: not a regular file\n", target.c_str());
            return 2;
        }
        const int opened = open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        const std::string folderPath = target.substr(0, target.rfind('/') + 1);  // "" or "dir/"
        const int folder =
            open(folderPath.empty() ? "." : folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const int file = openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (opened < 0 || folder < 0 || file < 0 || fstat(opened, &status) != 0) {
            std::perror(target.c_str());
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
        const std::string name = target.substr(folderPath.size());
        const std::string self = "/proc/self/fd/" + std::to_string(file);
        if (fchmod(file, status.st_mode & 07777) != 0 ||
            linkat(AT_FDCWD, self.c_str(), folder, ".floor", AT_SYMLINK_FOLLOW) != 0 ||
            close(file) != 0 || renameat(folder, ".floor", folder, name.c_str()) != 0) {
            std::perror(target.c_str());
            return 2;
        }
        close(opened);
        close(folder);
    }
    return 0;
}
