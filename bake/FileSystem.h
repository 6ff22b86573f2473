// The few file operations the writer needs, behind one interface: the platform's own
// implementation in FileSystemPosix.cpp or FileSystemWin32.cpp, and test doubles that inject
// failures. Every failing call returns false (or -1) and leaves errno describing the cause.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Morvane {

// The writer tells apart only links, regular files and everything else (folders, pipes, devices).
enum class FileKind { Other, Link, RegularFile };

// What the writer needs to know about an existing file to keep its identity.
struct FileStatus {
    FileKind kind = FileKind::Other;
    unsigned mode = 0;  // permission, set-id and sticky bits
    std::uint64_t links = 1;
    std::uint64_t owner = 0;  // user and group ids, where the platform has them
    std::uint64_t group = 0;
    bool hasExtendedAttributes = false;  // ACLs, security labels, user attributes
    bool isMountPoint = false;           // a file mounted over another (a bind mount)
};

// Signals that a write holds back: the first two are turned into write errors (EPIPE, EFBIG)
// instead of ending the process; the interruptions are delivered once the write is undone.
enum WriteSignal : unsigned {
    kBrokenPipeSignal = 1u << 0,    // SIGPIPE
    kFileTooLargeSignal = 1u << 1,  // SIGXFSZ
    kInterruptSignals = 1u << 2,    // SIGINT, SIGTERM and SIGHUP
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // The entry at `path` itself, not following a final symbolic link. Only the kind is set.
    virtual bool Inspect(const std::string& path, FileStatus& status) = 0;
    virtual bool ReadLink(const std::string& path, std::string& target) = 0;

    // Opens an existing file for writing without truncating it and without following a final
    // link; refused as the shell's `>` would be (Permission denied, Is a directory, ...).
    virtual int OpenExisting(const std::string& path) = 0;
    // Creates a new file (mode 0666 less the umask); fails with EEXIST when the name is taken,
    // whatever is there, a dangling link included.
    virtual int CreateExclusive(const std::string& path) = 0;
    virtual bool InspectOpen(int descriptor, FileStatus& status) = 0;
    // Gives the new file at `descriptor` the owner, group and mode of `original`; false when
    // that is not possible or the new file would still differ (an inherited ACL, say).
    virtual bool MatchIdentity(int descriptor, const FileStatus& original) = 0;

    // One write; the count may be short.
    virtual long Write(int descriptor, const unsigned char* data, std::size_t size) = 0;
    // Reserves `size` bytes of disk for the file without changing its contents or length, and
    // refuses a size above the process's file size limit (EFBIG). Succeeds without reserving
    // where the file system cannot reserve.
    virtual bool Reserve(int descriptor, std::uint64_t size) = 0;
    virtual bool Truncate(int descriptor, std::uint64_t size) = 0;
    virtual bool Close(int descriptor) = 0;

    // Renames `from` over `to`, replacing any file there in one step.
    virtual bool Rename(const std::string& from, const std::string& to) = 0;
    virtual bool Remove(const std::string& path) = 0;

    // Unpredictable bits for temporary names.
    virtual std::uint64_t Random() = 0;

    // Holds back the given WriteSignal set on this thread; returns those that were not already
    // held, to hand back to ReleaseSignals. Releasing drops a held-back SIGPIPE or SIGXFSZ (its
    // write has already failed) and lets held-back interruptions take their normal effect.
    virtual unsigned HoldSignals(unsigned signals) = 0;
    virtual void ReleaseSignals(unsigned signals) = 0;
    virtual bool InterruptionPending() = 0;
};

// The platform's file system.
FileSystem& SystemFileSystem();

}  // namespace Morvane
