#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/random.h>
#include <sys/xattr.h>
#endif

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "FileSystem.h"
#include "OutputPath.h"

namespace Morvane {
namespace {

static_assert(sizeof(sigset_t) <= sizeof(FileSystem::SignalHold::before),
              "a signal mask must fit in a SignalHold");

#if defined(__linux__)
// Inode flags that are part of what a file is, and that a new file can be given: no-dump,
// synchronous writes, no access times, compression and the like.
constexpr unsigned kCarriedFlags = FS_SECRM_FL | FS_UNRM_FL | FS_COMPR_FL | FS_SYNC_FL |
                                   FS_NODUMP_FL | FS_NOATIME_FL | FS_JOURNAL_DATA_FL |
                                   FS_NOTAIL_FL | FS_NOCOW_FL | FS_NOCOMP_FL;

// The file's inode flags, or false where the file system has none.
bool InodeFlags(int descriptor, unsigned& flags) {
    int value = 0;
    if (ioctl(descriptor, FS_IOC_GETFLAGS, &value) != 0) {
        return false;
    }
    flags = static_cast<unsigned>(value);
    return true;
}
#endif

FileStatus StatusOf(const struct stat& entry) {
    FileStatus status;
    status.kind = S_ISREG(entry.st_mode) ? FileKind::RegularFile : FileKind::Other;
    status.device = static_cast<std::uint64_t>(entry.st_dev);
    status.inode = static_cast<std::uint64_t>(entry.st_ino);
    status.mode = entry.st_mode & 07777;
    status.links = static_cast<std::uint64_t>(entry.st_nlink);
    status.owner = entry.st_uid;
    status.group = entry.st_gid;
    status.allocated = static_cast<std::uint64_t>(entry.st_blocks) * 512;
    return status;
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

// The open file's status, and whether it is mounted over another (a bind mount), in one call
// where the system has statx. Where that is unknown, a rename over the file fails and keeps it.
bool StatusAndMountOf(int descriptor, struct stat& entry, bool& isMountPoint) {
    isMountPoint = false;
#if defined(__linux__) && defined(STATX_ATTR_MOUNT_ROOT)
    struct statx status;
    if (statx(descriptor, "", AT_EMPTY_PATH, STATX_BASIC_STATS, &status) == 0 &&
        (status.stx_mask & STATX_BASIC_STATS) == STATX_BASIC_STATS) {
        entry = {};
        entry.st_dev = makedev(status.stx_dev_major, status.stx_dev_minor);
        entry.st_ino = status.stx_ino;
        entry.st_mode = status.stx_mode;
        entry.st_nlink = status.stx_nlink;
        entry.st_uid = status.stx_uid;
        entry.st_gid = status.stx_gid;
        entry.st_blocks = static_cast<blkcnt_t>(status.stx_blocks);
        isMountPoint = (status.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
                       (status.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
        return true;
    }
#endif
    return fstat(descriptor, &entry) == 0;
}

// SIGPIPE and SIGXFSZ, which a write turns into errors.
constexpr int kQuietSignalNumbers[] = {SIGPIPE, SIGXFSZ};

// Adds the asynchronous signals whose default action ends the process. Signals that a fault
// raises in the thread itself (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS) are never
// held back: holding them would hide the fault.
void AddEndingSignals(sigset_t& set) {
    for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGABRT, SIGUSR1, SIGUSR2, SIGALRM, SIGTERM,
                             SIGXCPU, SIGVTALRM, SIGPROF, SIGIO}) {
        sigaddset(&set, signal);
    }
#if defined(SIGPWR)
    sigaddset(&set, SIGPWR);
#endif
#if defined(SIGSTKFLT)
    sigaddset(&set, SIGSTKFLT);
#endif
#if defined(SIGRTMIN)
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) {
        sigaddset(&set, signal);
    }
#endif
}

sigset_t SetOf(unsigned sets) {
    sigset_t set;
    sigemptyset(&set);
    if (sets & FileSystem::kQuietSignals) {
        for (const int signal : kQuietSignalNumbers) {
            sigaddset(&set, signal);
        }
    }
    if (sets & FileSystem::kEndingSignals) {
        AddEndingSignals(set);
    }
    return set;
}

sigset_t MaskBefore(const FileSystem::SignalHold& hold) {
    sigset_t before;
    std::memcpy(&before, hold.before, sizeof before);
    return before;
}

// Whether the process would end from `signal` as things stand: its action is the default.
bool EndsTheProcess(int signal) {
    struct sigaction action;
    return sigaction(signal, nullptr, &action) == 0 && (action.sa_flags & SA_SIGINFO) == 0 &&
           action.sa_handler == SIG_DFL;
}

class PosixFileSystem final : public FileSystem {
public:
    int OpenTarget(const std::string& path, bool& created) override {
        // An exclusive create tells whether the file is new; otherwise the shell's own open,
        // with O_CREAT, so that the system's protections for shared folders apply.
        constexpr int kFlags = O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC;
        int descriptor = open(path.c_str(), kFlags | O_EXCL, 0666);
        created = descriptor >= 0;
        if (descriptor < 0 && errno == EEXIST) {
            descriptor = open(path.c_str(), kFlags, 0666);
        }
        return descriptor;
    }

    bool InspectOpen(int descriptor, FileStatus& status) override {
        bool isMountPoint = false;
        struct stat entry;
        if (!StatusAndMountOf(descriptor, entry, isMountPoint)) {
            return false;
        }
        status = StatusOf(entry);
        if (status.kind == FileKind::RegularFile) {
            status.hasExtendedAttributes = HasExtendedAttributes(descriptor);
            status.isMountPoint = isMountPoint;
#if defined(__linux__)
            unsigned flags = 0;
            status.flags = InodeFlags(descriptor, flags) ? flags & kCarriedFlags : 0;
#endif
        }
        return true;
    }

    int StandardStreamFor(const FileStatus& status) override {
        for (const int stream : {1, 2}) {
            struct stat entry;
            if (fstat(stream, &entry) == 0 && StatusOf(entry).IsSameFileAs(status)) {
                const int access = fcntl(stream, F_GETFL);
                if (access >= 0 && (access & O_ACCMODE) != O_RDONLY) {
                    return stream;
                }
            }
        }
        return -1;
    }

    bool InspectPath(const std::string& path, FileStatus& status) override {
        struct stat entry;
        if (stat(path.c_str(), &entry) != 0) {
            return false;
        }
        status = StatusOf(entry);
        return true;
    }

    bool Locate(const std::string& path, int descriptor, const FileStatus& status, Folder& folder,
                std::string& name) override {
        // The path's own last part, when it is the file itself and not a link to it.
        if (OpenFolderHolding(std::string(FolderOf(path)), std::string(NameOf(path)), status,
                              folder)) {
            name = NameOf(path);
            return true;
        }
        // Else where the system says the open file is.
#if defined(__linux__)
        std::string place(4096, '\0');
        const std::string link = "/proc/self/fd/" + std::to_string(descriptor);
        const ssize_t length = readlink(link.c_str(), place.data(), place.size());
        if (length > 0 && static_cast<std::size_t>(length) < place.size() && place[0] == '/') {
            place.resize(static_cast<std::size_t>(length));
            if (OpenFolderHolding(std::string(FolderOf(place)), std::string(NameOf(place)), status,
                                  folder)) {
                name = NameOf(place);
                return true;
            }
        }
#else
        (void)descriptor;
#endif
        return false;
    }

    void CloseFolder(Folder& folder) override {
        if (folder.descriptor >= 0) {
            close(folder.descriptor);
        }
        folder = Folder{};
    }

    bool InspectEntry(const Folder& folder, const std::string& name, FileStatus& status) override {
        struct stat entry;
        if (fstatat(folder.descriptor, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
            return false;
        }
        status = StatusOf(entry);
        return true;
    }

    int CreateUnnamed(const Folder& folder) override {
#if defined(__linux__) && defined(O_TMPFILE)
        return openat(folder.descriptor, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#else
        (void)folder;
        errno = EOPNOTSUPP;
        return -1;
#endif
    }

    int CreateNamed(const Folder& folder, const std::string& name) override {
        return openat(folder.descriptor, name.c_str(),
                      O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    }

    bool Link(int descriptor, const Folder& folder, const std::string& name) override {
#if defined(__linux__)
        // Through /proc, which needs no privilege; AT_EMPTY_PATH where /proc is missing.
        const std::string self = "/proc/self/fd/" + std::to_string(descriptor);
        if (linkat(AT_FDCWD, self.c_str(), folder.descriptor, name.c_str(), AT_SYMLINK_FOLLOW) ==
            0) {
            return true;
        }
        if (errno != ENOENT) {
            return false;
        }
        return linkat(descriptor, "", folder.descriptor, name.c_str(), AT_EMPTY_PATH) == 0;
#else
        (void)descriptor;
        (void)folder;
        (void)name;
        errno = EOPNOTSUPP;
        return false;
#endif
    }

    bool PrepareReplacement(int descriptor, const FileStatus& original) override {
        // An ACL or label inherited from the folder would make it another file.
        if (HasExtendedAttributes(descriptor)) {
            errno = EPERM;
            return false;
        }
#if defined(__linux__)
        unsigned flags = 0;
        if (!InodeFlags(descriptor, flags)) {
            errno = EPERM;
            return original.flags == 0;
        }
        const unsigned wanted = (flags & ~kCarriedFlags) | original.flags;
        int value = static_cast<int>(wanted);
        if (wanted == flags) {
            return true;
        }
        // Read back: a file system may take some flags and quietly drop others.
        if (ioctl(descriptor, FS_IOC_SETFLAGS, &value) != 0 || !InodeFlags(descriptor, flags) ||
            (flags & kCarriedFlags) != original.flags) {
            errno = EPERM;
            return false;
        }
#else
        (void)original;
#endif
        return true;
    }

    bool CompleteReplacement(int descriptor, const FileStatus& original) override {
        struct stat entry;
        if (fstat(descriptor, &entry) != 0) {
            return false;
        }
        const auto owner = static_cast<uid_t>(original.owner);
        const auto group = static_cast<gid_t>(original.group);
        if ((entry.st_uid != owner || entry.st_gid != group) &&
            fchown(descriptor, owner, group) != 0) {
            return false;
        }
        return fchmod(descriptor, static_cast<mode_t>(original.mode)) == 0;
    }

    bool Rename(const Folder& folder, const std::string& from, const std::string& to) override {
        return renameat(folder.descriptor, from.c_str(), folder.descriptor, to.c_str()) == 0;
    }

    bool Remove(const Folder& folder, const std::string& name) override {
        return unlinkat(folder.descriptor, name.c_str(), 0) == 0;
    }

    long Write(int descriptor, const unsigned char* data, std::size_t size) override {
        return static_cast<long>(write(descriptor, data, size));
    }

    long ReadAt(int descriptor, unsigned char* data, std::size_t size,
                std::uint64_t offset) override {
        return static_cast<long>(pread(descriptor, data, size, static_cast<off_t>(offset)));
    }

    bool Reserve(int descriptor, std::uint64_t size) override {
        rlimit limit;
        if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
            size > limit.rlim_cur) {
            errno = EFBIG;
            return false;
        }
#if defined(__linux__)
        if (size == 0 ||
            fallocate(descriptor, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0) {
            return true;
        }
        if (errno != EOPNOTSUPP && errno != ENOSYS) {
            return false;
        }
#endif
        // The file system cannot reserve: it must at least have the room now.
        struct stat entry;
        struct statvfs space;
        if (fstat(descriptor, &entry) != 0 || fstatvfs(descriptor, &space) != 0) {
            return false;
        }
        const std::uint64_t held = static_cast<std::uint64_t>(entry.st_blocks) * 512;
        const std::uint64_t blocks = geteuid() == 0 ? space.f_bfree : space.f_bavail;
        const std::uint64_t blockSize = space.f_frsize != 0 ? space.f_frsize : space.f_bsize;
        const std::uint64_t needed = size > held ? size - held : 0;
        if (blockSize != 0 && needed / blockSize + (needed % blockSize != 0) > blocks) {
            errno = ENOSPC;
            return false;
        }
        return true;
    }

    bool Truncate(int descriptor, std::uint64_t size) override {
        return ftruncate(descriptor, static_cast<off_t>(size)) == 0;
    }

    bool Close(int descriptor) override {
        return close(descriptor) == 0;
    }

    std::uint64_t Random() override {
        // One secret seed a process, stepped and mixed for every name (splitmix64): as
        // unpredictable from outside as a fresh draw, without a system call a file.
        static const std::uint64_t seed = Seed();
        static std::atomic<std::uint64_t> step{0};
        std::uint64_t bits = seed + ++step * 0x9E3779B97F4A7C15ull;
        bits = (bits ^ (bits >> 30)) * 0xBF58476D1CE4E5B9ull;
        bits = (bits ^ (bits >> 27)) * 0x94D049BB133111EBull;
        return bits ^ (bits >> 31);
    }

    long ProcessId() override {
        return static_cast<long>(getpid());
    }

    SignalHold Hold(unsigned sets) override {
        SignalHold hold;
        const sigset_t wanted = SetOf(sets);
        sigset_t before;
        if (pthread_sigmask(SIG_BLOCK, &wanted, &before) == 0) {
            std::memcpy(hold.before, &before, sizeof before);
            hold.active = true;
            hold.sets = sets;
        }
        return hold;
    }

    void Release(SignalHold& hold) override {
        if (!hold.active) {
            return;
        }
        const int savedErrno = errno;
        const sigset_t before = MaskBefore(hold);
        if ((hold.sets & kQuietSignals) && hold.quietSignalMayHaveCome) {
            // A write that met a broken pipe or the size limit has already failed with EPIPE
            // or EFBIG: the signal that the hold caught is spent. One the caller blocks is
            // the caller's.
            sigset_t caught;
            sigemptyset(&caught);
            for (const int signal : kQuietSignalNumbers) {
                if (sigismember(&before, signal) == 0) {
                    sigaddset(&caught, signal);
                }
            }
            const timespec now{0, 0};
            while (sigtimedwait(&caught, nullptr, &now) > 0) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
        hold.active = false;
        errno = savedErrno;
    }

    bool EndingSignalPending(const SignalHold& hold) override {
        sigset_t pending;
        if (!hold.active || sigpending(&pending) != 0) {
            return false;
        }
        const sigset_t before = MaskBefore(hold);
        const sigset_t ending = SetOf(kEndingSignals);
        for (int signal = 1; signal < NSIG; ++signal) {
            if (sigismember(&ending, signal) == 1 && sigismember(&pending, signal) == 1 &&
                sigismember(&before, signal) == 0 && EndsTheProcess(signal)) {
                return true;
            }
        }
        return false;
    }

private:
    static std::uint64_t Seed() {
        std::uint64_t bits = 0;
#if defined(__linux__)
        if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) == sizeof bits) {
            return bits;
        }
#endif
        // Without a random source, names still differ between processes and runs.
        return static_cast<std::uint64_t>(
                   std::chrono::steady_clock::now().time_since_epoch().count()) ^
               (static_cast<std::uint64_t>(getpid()) << 40);
    }

    // Opens `path` as a folder and keeps it in `folder` when its entry `name` is the file
    // `status` describes.
    static bool OpenFolderHolding(const std::string& path, const std::string& name,
                                  const FileStatus& status, Folder& folder) {
        if (name.empty() || name == "." || name == "..") {
            return false;
        }
        const int descriptor =
            open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat entry;
        if (descriptor < 0) {
            return false;
        }
        if (fstatat(descriptor, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0 ||
            !StatusOf(entry).IsSameFileAs(status)) {
            close(descriptor);
            return false;
        }
        folder.descriptor = descriptor;
        folder.path = path;
        folder.forbidsRemoving = false;
#if defined(__linux__)
        unsigned flags = 0;
        folder.forbidsRemoving =
            InodeFlags(descriptor, flags) && (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0;
#endif
        return true;
    }
};

}  // namespace

FileSystem& SystemFileSystem() {
    static PosixFileSystem system;
    return system;
}

}  // namespace Morvane
