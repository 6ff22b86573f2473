#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/random.h>
#include <sys/xattr.h>
#endif

#include <cerrno>
#include <chrono>
#include <vector>

#include "FileSystem.h"

namespace Morvane {
namespace {

FileKind KindOf(mode_t mode) {
    if (S_ISLNK(mode)) {
        return FileKind::Link;
    }
    if (S_ISREG(mode)) {
        return FileKind::RegularFile;
    }
    return FileKind::Other;
}

bool HasExtendedAttributes(int descriptor) {
#if defined(__linux__)
    const ssize_t size = flistxattr(descriptor, nullptr, 0);
    // A file system without extended attributes has none to lose.
    return size > 0 || (size < 0 && errno != ENOTSUP);
#else
    (void)descriptor;
    return false;
#endif
}

bool IsMountPoint(int descriptor) {
#if defined(__linux__) && defined(STATX_ATTR_MOUNT_ROOT)
    struct statx status;
    if (statx(descriptor, "", AT_EMPTY_PATH, STATX_BASIC_STATS, &status) == 0 &&
        (status.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0) {
        return (status.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    }
#else
    (void)descriptor;
#endif
    return false;  // unknown: a rename over it then fails and keeps the file
}

struct SignalNumber {
    unsigned group;  // a WriteSignal
    int number;
};
constexpr SignalNumber kSignalNumbers[] = {
    {kBrokenPipeSignal, SIGPIPE}, {kFileTooLargeSignal, SIGXFSZ}, {kInterruptSignals, SIGINT},
    {kInterruptSignals, SIGTERM}, {kInterruptSignals, SIGHUP},
};

sigset_t SignalSet(unsigned signals) {
    sigset_t set;
    sigemptyset(&set);
    for (const SignalNumber& signal : kSignalNumbers) {
        if (signals & signal.group) {
            sigaddset(&set, signal.number);
        }
    }
    return set;
}

class PosixFileSystem final : public FileSystem {
public:
    bool Inspect(const std::string& path, FileStatus& status) override {
        struct stat entry;
        if (lstat(path.c_str(), &entry) != 0) {
            return false;
        }
        status = FileStatus{};
        status.kind = KindOf(entry.st_mode);
        return true;
    }

    bool ReadLink(const std::string& path, std::string& target) override {
        std::vector<char> buffer(256);
        for (;;) {
            const ssize_t length = readlink(path.c_str(), buffer.data(), buffer.size());
            if (length < 0) {
                return false;
            }
            if (static_cast<std::size_t>(length) < buffer.size()) {
                target.assign(buffer.data(), static_cast<std::size_t>(length));
                return true;
            }
            buffer.resize(buffer.size() * 2);
        }
    }

    int OpenExisting(const std::string& path) override {
        return open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    }

    int CreateExclusive(const std::string& path) override {
        return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
    }

    bool InspectOpen(int descriptor, FileStatus& status) override {
        struct stat entry;
        if (fstat(descriptor, &entry) != 0) {
            return false;
        }
        status.kind = KindOf(entry.st_mode);
        status.mode = entry.st_mode & 07777;
        status.links = entry.st_nlink;
        status.hasExtendedAttributes = HasExtendedAttributes(descriptor);
        status.isMountPoint = IsMountPoint(descriptor);
        status.owner = entry.st_uid;
        status.group = entry.st_gid;
        return true;
    }

    bool MatchIdentity(int descriptor, const FileStatus& original) override {
        const auto owner = static_cast<uid_t>(original.owner);
        const auto group = static_cast<gid_t>(original.group);
        struct stat entry;
        if (fstat(descriptor, &entry) != 0) {
            return false;
        }
        if ((entry.st_uid != owner || entry.st_gid != group) &&
            fchown(descriptor, owner, group) != 0) {
            return false;
        }
        return fchmod(descriptor, static_cast<mode_t>(original.mode)) == 0 &&
               !HasExtendedAttributes(descriptor);
    }

    long Write(int descriptor, const unsigned char* data, std::size_t size) override {
        return static_cast<long>(write(descriptor, data, size));
    }

    bool Reserve(int descriptor, std::uint64_t size) override {
        rlimit limit;
        if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
            size > limit.rlim_cur) {
            errno = EFBIG;
            return false;
        }
#if defined(__linux__)
        if (size > 0 &&
            fallocate(descriptor, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) != 0) {
            return errno == EOPNOTSUPP || errno == ENOSYS;
        }
#else
        (void)descriptor;
#endif
        return true;
    }

    bool Truncate(int descriptor, std::uint64_t size) override {
        return ftruncate(descriptor, static_cast<off_t>(size)) == 0;
    }

    bool Close(int descriptor) override {
        return close(descriptor) == 0;
    }

    bool Rename(const std::string& from, const std::string& to) override {
        return rename(from.c_str(), to.c_str()) == 0;
    }

    bool Remove(const std::string& path) override {
        return unlink(path.c_str()) == 0;
    }

    std::uint64_t Random() override {
        std::uint64_t bits = 0;
#if defined(__linux__)
        if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) == sizeof bits) {
            return bits;
        }
#endif
        // Without a random source, names still differ between processes and calls.
        static std::uint64_t counter = 0;
        bits = static_cast<std::uint64_t>(
                   std::chrono::steady_clock::now().time_since_epoch().count()) ^
               (static_cast<std::uint64_t>(getpid()) << 40) ^ ++counter;
        return bits * 0x9E3779B97F4A7C15ull;
    }

    unsigned HoldSignals(unsigned signals) override {
        const sigset_t wanted = SignalSet(signals);
        sigset_t before;
        if (pthread_sigmask(SIG_BLOCK, &wanted, &before) != 0) {
            return 0;
        }
        // A group already held by the caller stays the caller's to release.
        unsigned added = 0;
        for (const SignalNumber& signal : kSignalNumbers) {
            if ((signals & signal.group) && sigismember(&before, signal.number) == 0) {
                added |= signal.group;
            }
        }
        return added;
    }

    void ReleaseSignals(unsigned signals) override {
        // A write that met a broken pipe or the size limit has already failed with EPIPE or
        // EFBIG; its signal is spent.
        const sigset_t spent = SignalSet(signals & (kBrokenPipeSignal | kFileTooLargeSignal));
        const timespec now{0, 0};
        while (sigtimedwait(&spent, nullptr, &now) > 0) {
        }
        const int savedErrno = errno;
        const sigset_t held = SignalSet(signals);
        pthread_sigmask(SIG_UNBLOCK, &held, nullptr);
        errno = savedErrno;
    }

    bool InterruptionPending() override {
        sigset_t pending;
        if (sigpending(&pending) != 0) {
            return false;
        }
        return sigismember(&pending, SIGINT) == 1 || sigismember(&pending, SIGTERM) == 1 ||
               sigismember(&pending, SIGHUP) == 1;
    }
};

}  // namespace

FileSystem& SystemFileSystem() {
    static PosixFileSystem system;
    return system;
}

}  // namespace Morvane
