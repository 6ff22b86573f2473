// Linux: the writer's file operations as system calls, with Linux's own where they help
// (O_TMPFILE, statx, inode flags, extended attributes). Every call interrupted by a handled
// signal is made again, as a write is.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "FileSystem.h"
#include "OutputPath.h"

namespace Morvane {
namespace {

// The result of `call`, made again for as long as a handled signal interrupts it.
template <typename Call>
auto Retried(Call call) {
    auto result = call();
    while (result == -1 && errno == EINTR) {
        result = call();
    }
    return result;
}

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
    status.changed =
        static_cast<std::int64_t>(entry.st_ctim.tv_sec) * 1000000000 + entry.st_ctim.tv_nsec;
    return status;
}

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

// The extended attributes that a listing of the file shows (ACLs, labels, user attributes),
// as sorted names with their values; empty where the file system has none. A size-only
// listing may count attributes that the file system hides (overlayfs): only what the listing
// itself shows counts.
bool AttributesOf(int descriptor, std::string& attributes) {
    attributes.clear();
    std::vector<char> names;
    ssize_t size = 0;
    do {  // asked again where the list grew between asking its size and reading it
        size = flistxattr(descriptor, nullptr, 0);
        if (size <= 0) {
            return size == 0 || errno == ENOTSUP || errno == ENOSYS;
        }
        names.resize(static_cast<std::size_t>(size));
        size = flistxattr(descriptor, names.data(), names.size());
    } while (size < 0 && errno == ERANGE);
    if (size < 0) {
        return false;
    }
    names.resize(static_cast<std::size_t>(size));
    std::vector<std::string> sorted;
    for (std::size_t at = 0; at < names.size(); at += sorted.back().size() + 1) {
        sorted.emplace_back(names.data() + at);
    }
    std::sort(sorted.begin(), sorted.end());
    for (const std::string& name : sorted) {
        const ssize_t size = fgetxattr(descriptor, name.c_str(), nullptr, 0);
        std::string value(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
        if (size < 0 || fgetxattr(descriptor, name.c_str(), value.data(), value.size()) != size) {
            return errno == ENODATA;  // removed meanwhile, or changed: not the same either way
        }
        attributes += name + '\0' + value + '\0';
    }
    return true;
}

// The open file's status, and whether it is mounted over another (a bind mount), in one call
// where the system has statx. Where that is unknown, a rename over the file fails and keeps it.
bool StatusOfOpen(int descriptor, FileStatus& status) {
    struct statx extended;
    constexpr unsigned kWanted = STATX_BASIC_STATS;
    if (statx(descriptor, "", AT_EMPTY_PATH, kWanted, &extended) == 0 &&
        (extended.stx_mask & kWanted) == kWanted) {
        struct stat entry {};
        entry.st_dev = makedev(extended.stx_dev_major, extended.stx_dev_minor);
        entry.st_ino = extended.stx_ino;
        entry.st_mode = extended.stx_mode;
        entry.st_nlink = extended.stx_nlink;
        entry.st_uid = extended.stx_uid;
        entry.st_gid = extended.stx_gid;
        entry.st_blocks = static_cast<blkcnt_t>(extended.stx_blocks);
        entry.st_ctim.tv_sec = extended.stx_ctime.tv_sec;
        entry.st_ctim.tv_nsec = extended.stx_ctime.tv_nsec;
        status = StatusOf(entry);
        status.isMountPoint = (extended.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
                              (extended.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
        return true;
    }
    struct stat entry;
    if (fstat(descriptor, &entry) != 0) {
        return false;
    }
    status = StatusOf(entry);
    return true;
}

// The name under which the system shows the process's open `descriptor`.
std::string OwnDescriptorPath(int descriptor) {
    return "/proc/self/fd/" + std::to_string(descriptor);
}

// Opens the folder of `path` and keeps it in `folder` when its entry, the last part of
// `path`, is the file `status` describes. ENOENT when it is not.
bool OpenFolderHolding(FileSystem& fs, const std::string& path, const FileStatus& status,
                       Folder& folder, std::string& name) {
    name = NameOf(path);
    FileStatus entry;
    if (!IsEntryName(name)) {
        errno = ENOENT;
    } else if (fs.OpenFolder(std::string(FolderOf(path)), folder)) {
        unsigned flags = 0;
        if (fs.InspectEntry(folder, name, entry) && entry.IsSameFileAs(status)) {
            folder.appendOnly = InodeFlags(folder.descriptor, flags) &&
                                (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0;
            return true;
        }
        fs.CloseFolder(folder);
        errno = ENOENT;
    }
    name.clear();
    return false;
}

}  // namespace

int FileSystem::OpenTarget(const std::string& path, bool mayBeMissing, bool& created) {
    // An exclusive create tells whether the file is new; otherwise the shell's own open,
    // with O_CREAT, so that the system's protections for shared folders apply.
    constexpr int kFlags = O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC;
    int descriptor = -1;
    if (mayBeMissing) {
        descriptor = Retried([&] { return open(path.c_str(), kFlags | O_EXCL, 0666); });
    }
    created = descriptor >= 0;
    if (descriptor < 0 && (!mayBeMissing || errno == EEXIST)) {
        descriptor = Retried([&] { return open(path.c_str(), kFlags, 0666); });
    }
    return descriptor;
}

bool FileSystem::InspectOpen(int descriptor, FileStatus& status) {
    return StatusOfOpen(descriptor, status);
}

bool FileSystem::InspectPath(const std::string& path, FileStatus& status) {
    struct stat entry;
    if (stat(path.c_str(), &entry) != 0) {
        return false;
    }
    status = StatusOf(entry);
    return true;
}

int FileSystem::StandardStreamFor(const FileStatus& status, int opened) {
    for (const int stream : {1, 2}) {
        struct stat entry;
        if (stream != opened && fstat(stream, &entry) == 0 &&
            StatusOf(entry).IsSameFileAs(status)) {
            const int access = fcntl(stream, F_GETFL);
            if (access >= 0 && (access & O_ACCMODE) != O_RDONLY) {
                return stream;
            }
        }
    }
    return -1;
}

bool FileSystem::OpenFolder(const std::string& path, Folder& folder) {
    folder.descriptor = Retried([&] {
        return open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    });
    folder.path = path;
    return folder.descriptor >= 0;
}

bool FileSystem::Locate(const std::string& path, int descriptor, const FileStatus& status,
                        Folder& folder, std::string& name) {
    // The path's own last part, when it is the file itself and not a link to it; else
    // where the system says the open file is.
    if (OpenFolderHolding(*this, path, status, folder, name)) {
        return true;
    }
    const int error = errno;
    std::string place(4096, '\0');
    const ssize_t length =
        readlink(OwnDescriptorPath(descriptor).c_str(), place.data(), place.size());
    if (length > 0 && static_cast<std::size_t>(length) < place.size() && place[0] == '/') {
        place.resize(static_cast<std::size_t>(length));
        return OpenFolderHolding(*this, place, status, folder, name);
    }
    errno = error;
    return false;
}

void FileSystem::CloseFolder(Folder& folder) {
    if (folder.descriptor >= 0) {
        close(folder.descriptor);
    }
    folder = Folder{};
}

bool FileSystem::InspectEntry(const Folder& folder, const std::string& name, FileStatus& status) {
    struct stat entry;
    if (fstatat(folder.descriptor, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    status = StatusOf(entry);
    return true;
}

bool FileSystem::MakesUnnamedFiles() const {
    return true;
}

int FileSystem::CreateUnnamed(const Folder& folder, unsigned mode) {
    return Retried([&] {
        return openat(folder.descriptor, ".", O_TMPFILE | O_RDWR | O_CLOEXEC,
                      static_cast<mode_t>(mode));
    });
}

int FileSystem::CreateNamed(const Folder& folder, const std::string& name) {
    return Retried([&] {
        return openat(folder.descriptor, name.c_str(),
                      O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    });
}

bool FileSystem::Link(int descriptor, const Folder& folder, const std::string& name) {
    // From the descriptor itself, the shortest way, where the caller may (root, or a
    // kernel that lets the opener link its own file); else through /proc.
    if (linkat(descriptor, "", folder.descriptor, name.c_str(), AT_EMPTY_PATH) == 0) {
        return true;
    }
    if (errno != ENOENT && errno != EPERM) {
        return false;
    }
    return linkat(AT_FDCWD, OwnDescriptorPath(descriptor).c_str(), folder.descriptor, name.c_str(),
                  AT_SYMLINK_FOLLOW) == 0;
}

bool FileSystem::PrepareReplacement(int replacement, int target) {
    std::string theirs, ours;
    if (!AttributesOf(target, theirs) || !AttributesOf(replacement, ours)) {
        return false;
    }
    unsigned wanted = 0, flags = 0;
    if (theirs != ours) {
        errno = EPERM;  // it would be another file
        return false;
    }
    wanted = InodeFlags(target, wanted) ? wanted & kCarriedFlags : 0;
    if (!InodeFlags(replacement, flags)) {
        errno = EPERM;
        return wanted == 0;
    }
    if ((flags & kCarriedFlags) == wanted) {
        return true;
    }
    // Read back: a file system may take some flags and quietly drop others.
    int value = static_cast<int>((flags & ~kCarriedFlags) | wanted);
    if (ioctl(replacement, FS_IOC_SETFLAGS, &value) != 0 || !InodeFlags(replacement, flags) ||
        (flags & kCarriedFlags) != wanted) {
        errno = EPERM;
        return false;
    }
    return true;
}

bool FileSystem::CompleteReplacement(int replacement, const FileStatus& target) {
    struct stat entry;
    if (fstat(replacement, &entry) != 0) {
        return false;
    }
    const auto owner = static_cast<uid_t>(target.owner);
    const auto group = static_cast<gid_t>(target.group);
    if ((entry.st_uid != owner || entry.st_gid != group) &&
        fchown(replacement, owner, group) != 0) {
        return false;
    }
    return fchmod(replacement, static_cast<mode_t>(target.mode)) == 0;
}

bool FileSystem::Rename(const Folder& folder, const std::string& from, const std::string& to) {
    return renameat(folder.descriptor, from.c_str(), folder.descriptor, to.c_str()) == 0;
}

bool FileSystem::Remove(const Folder& folder, const std::string& name) {
    return unlinkat(folder.descriptor, name.c_str(), 0) == 0;
}

long FileSystem::Write(int descriptor, const unsigned char* data, std::size_t size) {
    return static_cast<long>(write(descriptor, data, size));
}

long FileSystem::ReadAt(int descriptor, unsigned char* data, std::size_t size,
                        std::uint64_t offset) {
    return static_cast<long>(pread(descriptor, data, size, static_cast<off_t>(offset)));
}

bool FileSystem::Reserve(int descriptor, std::uint64_t size) {
    rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        size > limit.rlim_cur) {
        errno = EFBIG;
        return false;
    }
    if (size == 0 || Retried([&] {
                         return fallocate(descriptor, FALLOC_FL_KEEP_SIZE, 0,
                                          static_cast<off_t>(size));
                     }) == 0) {
        return true;
    }
    if (errno != EOPNOTSUPP && errno != ENOSYS) {
        return false;
    }
    // The file system cannot reserve: it must at least have the room now, where it says
    // how much it has. One that reports no size (ramfs, some FUSE and 9p file systems)
    // is written as `>` writes it.
    struct stat entry;
    struct statvfs space;
    if (fstat(descriptor, &entry) != 0) {
        return false;
    }
    if (fstatvfs(descriptor, &space) != 0) {
        return errno == ENOSYS || errno == EOPNOTSUPP;
    }
    const std::uint64_t held = static_cast<std::uint64_t>(entry.st_blocks) * 512;
    const std::uint64_t blocks = geteuid() == 0 ? space.f_bfree : space.f_bavail;
    const std::uint64_t blockSize = space.f_frsize != 0 ? space.f_frsize : space.f_bsize;
    const std::uint64_t needed = size > held ? size - held : 0;
    if (space.f_blocks != 0 && blockSize != 0 &&
        needed / blockSize + (needed % blockSize != 0) > blocks) {
        errno = ENOSPC;
        return false;
    }
    return true;
}

bool FileSystem::Truncate(int descriptor, std::uint64_t size) {
    return Retried([&] { return ftruncate(descriptor, static_cast<off_t>(size)); }) == 0;
}

bool FileSystem::Close(int descriptor) {
    return close(descriptor) == 0;
}

FileSystem& SystemFileSystem() {
    static FileSystem system;
    return system;
}

long ProcessId() {
    return static_cast<long>(getpid());
}

}  // namespace Morvane
