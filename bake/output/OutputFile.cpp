// How a target is written. The rule: write PATH wherever `cat map > PATH` would, with the same
// effect on the file, and leave no half-written or stray file where that can be avoided. Where
// the shell's `>` would be refused, the write is refused the same way.
//
// 1. A path that spells one of the process's own descriptors (/dev/stdout, /dev/fd/N,
//    /proc/self/fd/N, ...) is written through that descriptor, at its position: appending when
//    it appends, and into the same file even when that file has been deleted.
// 2. Everything else is opened by the system, as `>` opens it but without truncating: the
//    system follows links, applies permissions and its protections (protected_symlinks,
//    protected_regular, protected_fifos), and creates a missing file. The writer never reads
//    a link or judges a permission itself. A file that turns out to be standard output or
//    standard error is written through that stream, as in rule 1.
// 3. Anything but a regular file (a pipe, a terminal, a device) is written as it is.
// 4. A regular file is replaced whole, by a new file in its folder, when the new file can be
//    the same file: a single link, no set-id or sticky bits, no ACLs or extended attributes,
//    not a mount point, not under /dev, in a folder that lets entries be removed again (not
//    append-only), and its inode flags carried over. The folder and name are found from what
//    was opened: the path's own last part if it is that file, else the file's place as the
//    system reports it for the descriptor. The new file is private (mode 0600) and, where the
//    file system allows, has no name until it is complete, so that no signal, not even
//    SIGKILL, can leave it behind. Once complete it gets the owner, group and mode, a name,
//    and is renamed over the target, but only while the target's name still leads to the file
//    that was opened.
// 5. Otherwise the opened file is written in place, after making sure its full length fits
//    (reserved, or checked against the free space), so a full disk fails before its contents
//    are touched. The same happens when the folder does not let a new file be created there,
//    and when, at the end, the system refuses to give the new file the target's owner or the
//    name no longer leads to the opened file: the complete new file is then copied into the
//    opened one. A resource failure (descriptors, inodes, memory, space) is reported as such
//    and leaves the old file as it was.
//
// Signals: SIGPIPE and SIGXFSZ are held back during every write, so that they fail it (EPIPE,
// EFBIG) instead of ending the process. A file without a name needs nothing more: only the
// moment between naming and renaming it holds back the signals that end a process. Where the
// replacement must have a name from the start, those signals are held back for the whole
// write; one that would end the process stops the write within a megabyte, the file is
// removed, and the signal then takes its effect. Signals the caller blocked, ignores or
// handles are left to the caller, and the caller's signal mask is restored exactly.
//
// Windows keeps the same rules in its own terms (FileSystemWin32.cpp): the system follows links
// and junctions as it opens the path, the folder and name are those of the opened file, and
// the replacement, which always has a name there, deletes itself until CompleteReplacement(),
// so no end of the process leaves it; ReplaceFileW then puts it in place.

#include "OutputFile.h"

#include <cerrno>
#include <memory>
#include <new>

#include "OutputPath.h"

namespace Morvane {
namespace {

constexpr int kTemporaryNameAttempts = 16;
// How much is written between two looks for a signal that would end the process.
constexpr std::uint64_t kSignalCheckBytes = 1024 * 1024;
constexpr std::size_t kCopyChunkBytes = 64 * 1024;

// ".morvane-" and ten characters from 50 random bits: short, so that a valid name never
// becomes too long beside its target, and unpredictable, so that leftovers never collide.
std::string TemporaryName(std::uint64_t bits) {
    constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz234567";
    std::string name = ".morvane-";
    for (int i = 0; i < 10; ++i) {
        name += kAlphabet[bits & 31];
        bits >>= 5;
    }
    return name;
}

// Draws temporary names until `claim(name)` takes one. False with errno set when a claim fails
// for another reason than the name being taken, or every name drawn was taken.
template <typename Claim>
bool ClaimTemporaryName(FileSystem& fileSystem, std::string& name, Claim claim) {
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        name = TemporaryName(fileSystem.Random());
        if (claim(name)) {
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    name.clear();
    return false;
}

// The folder, not a resource, stands in the way: the file is then written in place.
bool FolderForbids(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == EBUSY || error == EXDEV;
}

// The file system cannot make a file without a name: a named one is made instead.
bool CannotBeUnnamed(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOSYS;
}

// The descriptor that `path` spells; the process id is asked for only where it can matter.
int SpelledDescriptor(const std::string& path, FileSystem& fileSystem) {
    const bool mayNameTheProcess = path.find("proc") != std::string::npos;
    return DescriptorNamedBy(path, mayNameTheProcess ? fileSystem.ProcessId() : -1);
}

}  // namespace

OutputFile::~OutputFile() {
    Discard();
}

bool OutputFile::Open(const std::string& path, std::uint64_t size) {
    Discard();
    if (path.find('\0') != std::string::npos) {
        errno = EINVAL;  // the system would see only the part before the NUL
        return false;
    }
    quietSignals_ = fs_.Hold(FileSystem::kQuietSignals);
    if (const int descriptor = SpelledDescriptor(path, fs_); descriptor >= 0) {
        return UseDescriptor(descriptor);
    }
    bool created = false;
    target_ = fs_.OpenTarget(path, created);
    if (target_ < 0 || !fs_.InspectOpen(target_, original_)) {
        return false;
    }
    createdTarget_ = created;
    if (const int stream = created ? -1 : fs_.StandardStreamFor(original_); stream >= 0) {
        fs_.Close(target_);
        target_ = -1;
        return UseDescriptor(stream);
    }
    if (original_.kind != FileKind::RegularFile) {
        method_ = Method::AsItIs;
        file_ = target_;
        return true;
    }
    size_ = size;
    if (fs_.Locate(path, target_, original_, folder_, name_) && CanBeReplaced()) {
        if (OpenReplacement()) {
            return true;
        }
        if (!FolderForbids(errno)) {
            return false;
        }
    }
    return OpenInPlace();
}

bool OutputFile::UseDescriptor(int descriptor) {
    method_ = Method::Descriptor;
    file_ = descriptor;
    return true;
}

bool OutputFile::CanBeReplaced() const {
    return original_.links == 1 && (original_.mode & 07000) == 0 &&
           !original_.hasExtendedAttributes && !original_.isMountPoint &&
           !folder_.forbidsRemoving && !IsDevicePath(folder_.path);
}

// Creates the new file that replaces the target: without a name where the file system allows
// it, else under a random name with the signals that end a process held back. False with
// errno set when it cannot be made or cannot be the same file (EPERM).
bool OutputFile::OpenReplacement() {
    int descriptor = fs_.CreateUnnamed(folder_);
    if (descriptor < 0 && CannotBeUnnamed(errno)) {
        endingSignals_ = fs_.Hold(FileSystem::kEndingSignals);
        ClaimTemporaryName(fs_, temporary_, [&](const std::string& name) {
            descriptor = fs_.CreateNamed(folder_, name);
            return descriptor >= 0;
        });
    }
    if (descriptor >= 0 && fs_.PrepareReplacement(descriptor, original_)) {
        method_ = Method::Replace;
        file_ = descriptor;
        return true;
    }
    const int error = errno;
    if (descriptor >= 0) {
        fs_.Close(descriptor);
    }
    if (!temporary_.empty()) {
        fs_.Remove(folder_, temporary_);
        temporary_.clear();
    }
    fs_.Release(endingSignals_);
    errno = error;
    return false;
}

bool OutputFile::OpenInPlace() {
    method_ = Method::InPlace;
    file_ = target_;
    return fs_.Reserve(target_, size_);
}

bool OutputFile::Write(const unsigned char* data, std::size_t size) {
    if (method_ == Method::None) {
        errno = EBADF;
        return false;
    }
    return WriteAll(file_, data, size);
}

bool OutputFile::WriteAll(int descriptor, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        if (written_ >= nextSignalCheck_) {
            if (EndingSignalArrived()) {
                return false;
            }
            nextSignalCheck_ = written_ + kSignalCheckBytes;
        }
        const long count = fs_.Write(descriptor, data, size);
        if (count < 0 && errno == EINTR) {
            continue;  // a handled signal: the write goes on
        }
        if (count <= 0) {
            errno = count == 0 ? EIO : errno;  // a device that takes nothing would never end
            quietSignals_.quietSignalMayHaveCome = errno == EPIPE || errno == EFBIG;
            return false;
        }
        data += count;
        size -= static_cast<std::size_t>(count);
        written_ += static_cast<std::uint64_t>(count);
    }
    return true;
}

bool OutputFile::Commit() {
    bool done = true;
    switch (method_) {
        case Method::Replace:
            done = CommitReplacement();
            break;
        case Method::InPlace:
            // Cuts off whatever a longer old file had beyond the new end.
            done = fs_.Truncate(target_, written_);
            createdTarget_ = createdTarget_ && !done;
            break;
        case Method::AsItIs:
        case Method::Descriptor:
            break;
        case Method::None:
            errno = EBADF;
            return false;
    }
    if (done && target_ >= 0) {
        file_ = file_ == target_ ? -1 : file_;
        done = fs_.Close(target_);  // where a file system reports a late write failure
        target_ = -1;
    }
    Discard();
    return done;
}

// Puts the complete new file in the target's place. Where the system will not give it the
// target's owner, or the target's name no longer leads to the file that was opened, the new
// file is copied into the opened one instead, as `>` would have written it.
bool OutputFile::CommitReplacement() {
    if (EndingSignalArrived()) {
        return false;
    }
    if (!fs_.CompleteReplacement(file_, original_)) {
        return FolderForbids(errno) && CopyIntoTarget();
    }
    FileStatus current;
    if (!fs_.InspectEntry(folder_, name_, current) || !current.IsSameFileAs(original_)) {
        return CopyIntoTarget();
    }
    FileSystem::SignalHold naming;
    if (temporary_.empty()) {
        naming = fs_.Hold(FileSystem::kEndingSignals);
        if (!ClaimTemporaryName(fs_, temporary_, [this](const std::string& name) {
                return fs_.Link(file_, folder_, name);
            })) {
            const int error = errno;
            fs_.Release(naming);
            errno = error;
            return FolderForbids(error) && CopyIntoTarget();
        }
    }
    // A file system may report a failed write only when the file is closed. The target,
    // never written on this path, is closed too: Windows renames nothing over an open file.
    const bool closed = fs_.Close(file_);
    file_ = -1;
    fs_.Close(target_);
    target_ = -1;
    const bool renamed = closed && fs_.Rename(folder_, temporary_, name_);
    if (renamed) {
        temporary_.clear();
        createdTarget_ = false;
    }
    const int error = errno;
    fs_.Release(naming);
    errno = error;
    return renamed;
}

// While a named replacement is written: whether a signal that ends the process has arrived,
// which stops the write (EINTR) so that the file is removed before the signal takes effect.
bool OutputFile::EndingSignalArrived() {
    if (!endingSignals_.active || !fs_.EndingSignalPending(endingSignals_)) {
        return false;
    }
    errno = EINTR;
    return true;
}

bool OutputFile::CopyIntoTarget() {
    const std::unique_ptr<unsigned char[]> chunk(new (std::nothrow) unsigned char[kCopyChunkBytes]);
    if (!chunk) {
        errno = ENOMEM;
        return false;
    }
    const std::uint64_t length = written_;
    if (!fs_.Reserve(target_, length)) {
        return false;
    }
    written_ = 0;
    for (std::uint64_t offset = 0; offset < length;) {
        const long count = fs_.ReadAt(file_, chunk.get(), kCopyChunkBytes, offset);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            errno = count == 0 ? EIO : errno;
            return false;
        }
        if (!WriteAll(target_, chunk.get(), static_cast<std::size_t>(count))) {
            return false;
        }
        offset += static_cast<std::uint64_t>(count);
    }
    const bool done = fs_.Truncate(target_, length);
    createdTarget_ = createdTarget_ && !done;
    return done;
}

// Undoes an unfinished file: closes what is open, removes the replacement's name and a
// target that this writer created, and gives the caller back its signals. Keeps errno, which
// tells why the file was abandoned.
void OutputFile::Discard() {
    const int savedErrno = errno;
    if (method_ != Method::Descriptor && file_ >= 0 && file_ != target_) {
        fs_.Close(file_);
    }
    file_ = -1;
    if (!temporary_.empty()) {
        fs_.Remove(folder_, temporary_);
        temporary_.clear();
    }
    FileStatus current;
    if (createdTarget_ && folder_.descriptor >= 0 && fs_.InspectEntry(folder_, name_, current) &&
        current.IsSameFileAs(original_)) {
        fs_.Remove(folder_, name_);
    }
    createdTarget_ = false;
    if (target_ >= 0) {
        fs_.Close(target_);
        target_ = -1;
    }
    fs_.CloseFolder(folder_);
    fs_.Release(endingSignals_);
    fs_.Release(quietSignals_);
    method_ = Method::None;
    size_ = 0;
    written_ = 0;
    nextSignalCheck_ = 0;
    errno = savedErrno;
}

int OutputDescriptorOf(FileSystem& fileSystem, const std::string& path) {
    if (path.find('\0') != std::string::npos) {
        return -1;
    }
    const int spelled = SpelledDescriptor(path, fileSystem);
    FileStatus status;
    const bool found = spelled >= 0 ? fileSystem.InspectOpen(spelled, status)
                                    : fileSystem.InspectPath(path, status);
    const int stream = found ? fileSystem.StandardStreamFor(status) : -1;
    return stream >= 0 ? stream : spelled;
}

}  // namespace Morvane
