// The few file operations the writer needs, behind one interface: the platform's own
// implementation in FileSystemPosix.cpp or FileSystemWin32.cpp, and test doubles that inject
// failures. Every failing call returns false (or -1) and leaves errno describing the cause.
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
    unsigned flags = 0;           // inode flags (no-dump, ...) or Windows attributes (hidden, ...)
    bool hasExtendedAttributes = false;  // ACLs, security labels, user attributes
    bool isMountPoint = false;           // a file mounted over another (a bind mount)

    bool IsSameFileAs(const FileStatus& other) const {
        return device == other.device && inode == other.inode;
    }
};

// A folder held open, so that every later step happens in the folder that was checked even if
// its path is changed meanwhile.
struct Folder {
    int descriptor = -1;
    std::string path;              // as found, with its final separator; for the platform's use
    bool forbidsRemoving = false;  // append-only or immutable: an entry added stays for good
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Opens `path` for writing as the shell's `>` does, without truncating it: the system
    // follows links and applies its permissions and protections. `created` tells whether this
    // call made a new file (an existing one, or one made at the end of a link, is not known to
    // be new).
    virtual int OpenTarget(const std::string& path, bool& created) = 0;
    virtual bool InspectOpen(int descriptor, FileStatus& status) = 0;
    // The standard stream (1 or 2) that is the same file as `status` and is open for writing,
    // or -1.
    virtual int StandardStreamFor(const FileStatus& status) = 0;
    // The file that `path` leads to, links followed; false with errno when there is none.
    virtual bool InspectPath(const std::string& path, FileStatus& status) = 0;

    // Finds a folder and a name in it under which the file open at `descriptor` (described by
    // `status`) is linked, from the `path` it was opened by or from what the system knows of
    // the descriptor; false when it cannot be found.
    virtual bool Locate(const std::string& path, int descriptor, const FileStatus& status,
                        Folder& folder, std::string& name) = 0;
    virtual void CloseFolder(Folder& folder) = 0;
    // The entry `name` itself, a final link not followed.
    virtual bool InspectEntry(const Folder& folder, const std::string& name,
                              FileStatus& status) = 0;

    // A new file in `folder` that only this process can open (mode 0600) and that has no
    // name: it vanishes if the process ends before Link(). EOPNOTSUPP where the file system
    // cannot make one.
    virtual int CreateUnnamed(const Folder& folder) = 0;
    // A new file named `name` in `folder`, mode 0600; EEXIST when the name is taken. Where
    // the system allows, it vanishes when its descriptor closes until CompleteReplacement().
    virtual int CreateNamed(const Folder& folder, const std::string& name) = 0;
    // Gives an unnamed file the name `name` in `folder`; EEXIST when the name is taken.
    virtual bool Link(int descriptor, const Folder& folder, const std::string& name) = 0;
    // Gives the new file at `descriptor` the inode flags of `original`, and checks that it
    // carries nothing of its own that `original` lacks (an inherited ACL, say). False when it
    // would not be the same file.
    virtual bool PrepareReplacement(int descriptor, const FileStatus& original) = 0;
    // The new file at `descriptor` is complete: gives it the owner, group and mode of
    // `original`, and lets it outlive its descriptor where it was made to vanish with it.
    virtual bool CompleteReplacement(int descriptor, const FileStatus& original) = 0;
    // Renames `from` over `to` in `folder`, replacing any entry there in one step.
    virtual bool Rename(const Folder& folder, const std::string& from, const std::string& to) = 0;
    virtual bool Remove(const Folder& folder, const std::string& name) = 0;

    // One write; the count may be short. One read at `offset`; 0 at the end.
    virtual long Write(int descriptor, const unsigned char* data, std::size_t size) = 0;
    virtual long ReadAt(int descriptor, unsigned char* data, std::size_t size,
                        std::uint64_t offset) = 0;
    // Makes sure that `size` bytes fit in the file before its contents are touched: reserves
    // the disk for them, or, where the file system cannot reserve, checks that the free space
    // holds them (ENOSPC otherwise). Refuses a size above the file size limit (EFBIG).
    virtual bool Reserve(int descriptor, std::uint64_t size) = 0;
    virtual bool Truncate(int descriptor, std::uint64_t size) = 0;
    virtual bool Close(int descriptor) = 0;

    // Unpredictable bits for temporary names.
    virtual std::uint64_t Random() = 0;
    // The process's id, for the /proc/<id>/fd/N spelling of a descriptor path.
    virtual long ProcessId() = 0;

    // Signals, on the calling thread only. Hold() blocks the given set on top of whatever the
    // caller blocks and returns a token for Release(), which restores the caller's exact mask.
    // kQuietSignals (SIGPIPE, SIGXFSZ) then fail a write (EPIPE, EFBIG) instead of ending the
    // process, and Release() drops those that the hold itself caught (looked for only when
    // quietSignalMayHaveCome is set).
    // kEndingSignals are the asynchronous signals that end a process by default; while they
    // are held, EndingSignalPending() tells whether one arrived that would end the process.
    enum SignalSet : unsigned { kQuietSignals = 1u << 0, kEndingSignals = 1u << 1 };
    struct SignalHold {
        bool active = false;
        unsigned sets = 0;
        bool quietSignalMayHaveCome = false;  // a write failed with EPIPE or EFBIG
        std::uint64_t before[16] = {};        // the caller's mask, as the platform keeps it
    };
    virtual SignalHold Hold(unsigned sets) = 0;
    virtual void Release(SignalHold& hold) = 0;
    virtual bool EndingSignalPending(const SignalHold& hold) = 0;
};

// The platform's file system.
FileSystem& SystemFileSystem();

}  // namespace Morvane
