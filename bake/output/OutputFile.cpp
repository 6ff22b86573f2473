// How a target is written. The rule: write PATH wherever `cat map > PATH` would, with the same
// effect on the file, and leave no half-written or stray file where that can be avoided. Where
// the shell's `>` would be refused, the write is refused the same way. How is one choice,
// ChooseWriteMethod (WriteMethod.cpp), made from what is observed of the target:
//
// 1. A path that names one of the process's own descriptors (/dev/stdout, /dev/fd/N,
//    /proc/self/fd/N, ...) is written through that descriptor, at its position: appending when
//    it appends, and into the same file even when that file has been deleted.
// 2. A path that leads to nothing becomes a new file without a name in the path's folder, with
//    the mode `>` would give it, linked under the name once complete. Where the name was taken
//    meanwhile, or is a dangling link, the complete file is copied into what the path opens as
//    `>` opens it. Where no file can be made without a name, the path is opened as in 3.
// 3. Everything else is opened by the system as `>` opens it, only without truncating: the
//    system follows links, applies permissions and its protections (protected_symlinks,
//    protected_regular, protected_fifos), and creates a missing file. The writer never reads
//    a link or judges a permission itself. A file that turns out to be standard output's or
//    standard error's, other than the one just opened, is written through that stream as in 1.
//    Anything but a regular file (a pipe, a terminal, a device) is written as it is.
// 4. A regular file is replaced whole, by a new file in its folder, when the new file can be
//    the same file: a single link, no set-id or sticky bits, the extended attributes a listing
//    shows (ACLs, labels, user attributes) the same as the new file's, inode flags carried
//    over, not a mount point, not under /dev, in a folder that lets entries be removed again
//    (not append-only). The folder and name are those of the opened file: the path's own last
//    part if it is that file, else the file's place as the system reports it. The new file is
//    private (mode 0600) and, where the file system allows, has no name until it is complete,
//    so that no signal, not even SIGKILL, can leave it behind. Once it is complete, right
//    before the rename, the target is observed again: the new file gets the owner, group,
//    mode, attributes and flags it has then, or, where it can no longer be the same file or
//    its name no longer leads to it, is copied into the target instead. A change in the
//    instant between that look and the rename cannot be seen.
// 5. Otherwise the opened file is written in place, after making sure its full length fits
//    (reserved, or checked against the free space where the file system reports any), so a
//    full disk fails before its contents are touched. So it is where the folder refuses a new
//    file, where the system cannot give the new file the target's owner or group (EPERM, or
//    EINVAL for ids a user namespace does not map), and where, at the end, the target can no
//    longer be replaced: the complete new file is then copied into it, as `>` would write it.
// 6. A resource failure (descriptors, inodes, memory, space) is reported as such wherever it
//    happens, and leaves the old file as it was: it never changes how the file is written.
//
// Signals: SIGPIPE and SIGXFSZ are held back during every write, so that they fail it (EPIPE,
// EFBIG) instead of ending the process. A file without a name needs nothing more: only the
// moment between naming and renaming it holds back the signals that end a process. Where the
// new file must have a name from the start, those signals are held back for the whole write;
// one that would end the process stops the write within a megabyte, the file is removed, and
// the signal then takes its effect. Signals the caller blocks, ignores or handles are the
// caller's, its mask is restored exactly, and a call that a handled signal interrupts is made
// again.
//
// Windows keeps the same rules in its own terms (FileSystemWin32.cpp): the system follows links
// and junctions as it opens the path, the folder and name are those of the opened file, and
// the new file, which always has a name there, deletes itself until CompleteReplacement(), so
// no end of the process leaves it; ReplaceFileW then puts it in place.

#include "OutputFile.h"

#include <cerrno>

#include "OutputPath.h"

namespace Morvane {
namespace {

// How much is written between two looks for a signal that would end the process.
constexpr std::uint64_t kSignalCheckBytes = 1024 * 1024;
// What `>` asks for a new file; the system applies the umask or the folder's default ACL.
constexpr unsigned kNewFileMode = 0666;
constexpr unsigned kPrivateMode = 0600;

// The file system cannot make a file without a name: a named one is made instead.
bool CannotBeUnnamed(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOSYS;
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
    writeErrorSignals_.Block(SignalBlock::kWriteErrorSignals);
    path_ = path;
    size_ = size;
    facts_.descriptor = OwnDescriptorNamedBy(path);
    if (facts_.descriptor < 0) {
        FileStatus status;
        const bool missing =
            fs_.MakesUnnamedFiles() && !fs_.InspectPath(path, status) && errno == ENOENT;
        if (missing) {
            OpenNewFile(path);
        }
        if (!missing || ChooseWriteMethod(facts_) == WriteMethod::InPlace) {
            DropNewFile();
            fs_.CloseFolder(folder_);
            facts_ = TargetFacts{};
            if (!OpenExisting(path, missing)) {
                return false;
            }
        }
    }
    return Begin();
}

// The new file for a path that leads to nothing, without a name in the path's folder.
void OutputFile::OpenNewFile(const std::string& path) {
    facts_.missing = true;
    name_ = NameOf(path);
    if (!IsEntryName(name_)) {
        facts_.replacementError = EISDIR;  // opened as `>` opens it, which tells why not
    } else if (!fs_.OpenFolder(std::string(FolderOf(path)), folder_) ||
               (newFile_ = fs_.CreateUnnamed(folder_, kNewFileMode)) < 0) {
        facts_.replacementError = errno;
    }
}

// Opens the target as `>` does and observes it; makes the new file that replaces it where
// the facts so far allow.
bool OutputFile::OpenExisting(const std::string& path, bool mayBeMissing) {
    target_ = fs_.OpenTarget(path, mayBeMissing, createdTarget_);
    if (target_ < 0 || !fs_.InspectOpen(target_, observed_)) {
        return false;
    }
    facts_.regular = observed_.kind == FileKind::RegularFile;
    facts_.descriptor = createdTarget_ ? -1 : fs_.StandardStreamFor(observed_, target_);
    if (!facts_.regular || facts_.descriptor >= 0) {
        return true;
    }
    facts_.located = fs_.Locate(path, target_, observed_, folder_, name_);
    if (!facts_.located && IsResourceError(errno)) {
        facts_.replacementError = errno;
    }
    ObserveTarget(observed_);
    if (ChooseWriteMethod(facts_) == WriteMethod::Replace) {
        OpenReplacement();
    }
    return true;
}

void OutputFile::ObserveTarget(const FileStatus& status) {
    facts_.links = status.links;
    facts_.setIdOrSticky = (status.mode & 07000) != 0;
    facts_.mountPoint = status.isMountPoint;
    facts_.deviceFolder = facts_.located && IsDevicePath(folder_.path);
    facts_.folderAppendOnly = facts_.located && folder_.appendOnly;
}

// The private new file that replaces the target: without a name where the file system allows
// it, else under a random name with the signals that end a process held back.
void OutputFile::OpenReplacement() {
    newFile_ = fs_.CreateUnnamed(folder_, kPrivateMode);
    if (newFile_ < 0 && CannotBeUnnamed(errno)) {
        terminatingSignals_.Block(SignalBlock::kTerminatingSignals);
        ClaimTemporaryName(temporary_, RandomBits, [this](const std::string& name) {
            newFile_ = fs_.CreateNamed(folder_, name);
            return newFile_ >= 0;
        });
    }
    if (newFile_ < 0 || !fs_.PrepareReplacement(newFile_, target_)) {
        facts_.replacementError = errno;
    }
}

// Acts on the choice made from the facts observed.
bool OutputFile::Begin() {
    int error = 0;
    method_ = ChooseWriteMethod(facts_, error);
    if (method_ != WriteMethod::Replace) {
        DropNewFile();
    }
    switch (method_) {
        case WriteMethod::Descriptor:
            if (target_ >= 0) {
                fs_.Close(target_);
                target_ = -1;
            }
            file_ = facts_.descriptor;
            break;
        case WriteMethod::Replace:
            file_ = newFile_;
            break;
        case WriteMethod::InPlace:
            if (!fs_.Reserve(target_, size_)) {
                return false;
            }
            [[fallthrough]];
        case WriteMethod::SpecialFile:
            file_ = target_;
            break;
        case WriteMethod::Refuse:
            errno = error;
            return false;
    }
    open_ = true;
    return true;
}

bool OutputFile::Write(const unsigned char* data, std::size_t size) {
    if (!open_) {
        errno = EBADF;
        return false;
    }
    return WriteAll(file_, data, size);
}

bool OutputFile::WriteAll(int descriptor, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        if (written_ >= nextSignalCheck_) {
            if (TerminatingSignalArrived()) {
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
            if (errno == EPIPE || errno == EFBIG) {
                writeErrorSignals_.NoteWriteError();
            }
            return false;
        }
        data += count;
        size -= static_cast<std::size_t>(count);
        written_ += static_cast<std::uint64_t>(count);
    }
    return true;
}

// While a named new file is written: whether a signal that ends the process has arrived,
// which stops the write (EINTR) so that the file is removed before the signal takes effect.
bool OutputFile::TerminatingSignalArrived() {
    if (!terminatingSignals_.TerminatingSignalPending()) {
        return false;
    }
    errno = EINTR;
    return true;
}

// Closes the new file and removes its name, if it has one. Keeps errno.
void OutputFile::DropNewFile() {
    const int savedErrno = errno;
    if (newFile_ >= 0) {
        fs_.Close(newFile_);
        newFile_ = -1;
    }
    if (!temporary_.empty()) {
        fs_.Remove(folder_, temporary_);
        temporary_.clear();
    }
    terminatingSignals_.Unblock();
    errno = savedErrno;
}

// Undoes an unfinished file: closes what is open, removes the new file's name and a target
// that this writer created, and gives the caller back its signals. Keeps errno, which tells
// why the file was abandoned.
void OutputFile::Discard() {
    const int savedErrno = errno;
    DropNewFile();
    FileStatus current;
    if (createdTarget_ && folder_.descriptor >= 0 && fs_.InspectEntry(folder_, name_, current) &&
        current.IsSameFileAs(observed_)) {
        fs_.Remove(folder_, name_);
    }
    createdTarget_ = false;
    if (target_ >= 0) {
        fs_.Close(target_);
        target_ = -1;
    }
    fs_.CloseFolder(folder_);
    writeErrorSignals_.Unblock();
    open_ = false;
    facts_ = TargetFacts{};
    path_.clear();
    name_.clear();
    file_ = -1;
    size_ = 0;
    written_ = 0;
    nextSignalCheck_ = 0;
    errno = savedErrno;
}

}  // namespace Morvane
