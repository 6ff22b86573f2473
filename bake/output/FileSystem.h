// The few file operations the writer needs, as the platform does them (FileSystemPosix.cpp or
// FileSystemWin32.cpp); virtual, so that a test double can break one and keep the others. Each
// is a plain operation: it decides nothing, and every failing call returns false (or -1) and
// leaves errno describing the cause.
#pragma once

// The writer's own: the engine never uses it (see bake/CMakeLists.txt).
#if !defined(MORVANE_WRITER_INTERNALS)
#error "the writer's internals are for the writer and its tests; the engine never uses them"
#endif

#include <cstddef>
#include <cstdint>
#include <string>

namespace Morvane {

// The writer tells apart only regular files and everything else (pipes, terminals, devices).
enum class FileKind { Other, RegularFile };

// What the writer needs to know about a file to find it again and to keep its identity.
struct FileStatus {
    FileKind kind = FileKind::Other;
    std::uint64_t device = 0;  // with `inode`: which file this is
    std::uint64_t inode = 0;
    unsigned mode = 0;  // permission, set-id and sticky bits
    std::uint64_t links = 1;
    std::uint64_t owner = 0;  // user and group ids, where the platform has them
    std::uint64_t group = 0;
    std::uint64_t allocated = 0;  // bytes of disk the file already holds
    std::int64_t changed = 0;     // when its status last changed, in nanoseconds
    unsigned flags = 0;           // Windows attributes (hidden, system, ...)
    bool isMountPoint = false;    // a file mounted over another (a bind mount)

    bool IsSameFileAs(const FileStatus& other) const {
        return device == other.device && inode == other.inode;
    }
    // The same file, with the same owner, group, mode, links and attributes as `other`.
    bool IsUnchangedSince(const FileStatus& other) const {
        return IsSameFileAs(other) && changed == other.changed && mode == other.mode &&
               owner == other.owner && group == other.group && links == other.links &&
               flags == other.flags;
    }
};

// A folder held open, so that every later step happens in the folder that was found even if
// its path is changed meanwhile.
struct Folder {
    int descriptor = -1;
    std::string path;         // as found, with its final separator; for the platform's use
    bool appendOnly = false;  // append-only or immutable: an entry added stays for good
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Opens `path` for writing as the shell's `>` does, without truncating it: the system
    // follows links and applies its permissions and protections. Where the path `mayBeMissing`,
    // `created` tells whether this call made the file. An interrupted open is retried.
    virtual int OpenTarget(const std::string& path, bool mayBeMissing, bool& created);
    virtual bool InspectOpen(int descriptor, FileStatus& status);
    // The file that `path` leads to, links followed; ENOENT when there is none.
    virtual bool InspectPath(const std::string& path, FileStatus& status);
    // The standard stream (1 or 2) other than `opened` that is the same file as `status` and
    // is open for writing, or -1.
    virtual int StandardStreamFor(const FileStatus& status, int opened);

    // Opens the folder `path` ("" for the current one).
    virtual bool OpenFolder(const std::string& path, Folder& folder);
    // Finds a folder and a name in it under which the file open at `descriptor` (described by
    // `status`) is linked, from the `path` it was opened by or from what the system knows of
    // the descriptor, and whether that folder is append-only. ENOENT when no name leads to it.
    virtual bool Locate(const std::string& path, int descriptor, const FileStatus& status,
                        Folder& folder, std::string& name);
    virtual void CloseFolder(Folder& folder);
    // The entry `name` itself, a final link not followed.
    virtual bool InspectEntry(const Folder& folder, const std::string& name, FileStatus& status);

    // Whether CreateUnnamed() can work here at all: where it cannot, nothing is looked up
    // beforehand (on Windows, looking a named pipe up would take its connection).
    virtual bool MakesUnnamedFiles() const;
    // A new file in `folder` without a name, with `mode` as the system applies it to a new
    // file: it vanishes if the process ends before Link(). EOPNOTSUPP where the file system
    // cannot make one.
    virtual int CreateUnnamed(const Folder& folder, unsigned mode);
    // A new file named `name` in `folder`, mode 0600; EEXIST when the name is taken. Where
    // the system allows, it vanishes when its descriptor closes until CompleteReplacement().
    virtual int CreateNamed(const Folder& folder, const std::string& name);
    // Gives the file at `descriptor` the name `name` in `folder`; EEXIST when it is taken.
    virtual bool Link(int descriptor, const Folder& folder, const std::string& name);
    // Gives the new file `replacement` what the `target` file has beyond owner and mode (inode
    // flags, attributes), as they are now. EPERM when it cannot have the same: the target has
    // attributes the new file lacks, or the new file has some of its own (an inherited ACL).
    virtual bool PrepareReplacement(int replacement, int target);
    // The new file is complete: gives it the owner, group and mode in `target`, and lets it
    // outlive its descriptor where it was made to vanish with it.
    virtual bool CompleteReplacement(int replacement, const FileStatus& target);
    // Renames `from` over `to` in `folder`, replacing any entry there in one step.
    virtual bool Rename(const Folder& folder, const std::string& from, const std::string& to);
    virtual bool Remove(const Folder& folder, const std::string& name);

    // One write; the count may be short. One read at `offset`; 0 at the end.
    virtual long Write(int descriptor, const unsigned char* data, std::size_t size);
    virtual long ReadAt(int descriptor, unsigned char* data, std::size_t size,
                        std::uint64_t offset);
    // Makes sure that `size` bytes fit in the file before its contents are touched: reserves
    // the disk for them, or, where the file system cannot reserve, checks that the free space
    // it reports holds them (ENOSPC otherwise). Refuses a size above the file size limit
    // (EFBIG).
    virtual bool Reserve(int descriptor, std::uint64_t size);
    virtual bool Truncate(int descriptor, std::uint64_t size);
    virtual bool Close(int descriptor);
};

// The platform's file system, for every writer that is not given another.
FileSystem& SystemFileSystem();

// The process's id (FileSystemPosix.cpp, FileSystemWin32.cpp), and unpredictable bits for
// temporary names (OutputPath.cpp).
long ProcessId();
std::uint64_t RandomBits();

}  // namespace Morvane
