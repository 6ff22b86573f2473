// How a target is written. The rule: write PATH wherever `cat map > PATH` would, with the same
// effect on the file's identity, and leave no half-written or stray file where that can be
// avoided.
//
// 1. A path naming one of the process's own descriptors (/dev/stdout, /dev/fd/N, ...) is
//    written through that descriptor, at its position: appending when it appends.
// 2. Symbolic links are followed as open() follows them; a dangling link creates its target.
//    A link that leads to a descriptor path is rule 1.
// 3. A missing file is written beside itself under a short random name and renamed into place
//    complete. Where no file can be created beside it, it is created in place and removed
//    again if the write fails.
// 4. An existing file is first opened for writing, without truncating it: that is the
//    permission check the shell makes. Anything but a regular file (a pipe, a terminal, a
//    device) is then written as it is.
// 5. A regular file is replaced by a renamed new file only when the new file can carry all of
//    its identity: a single link, no set-id or sticky bits, no ACLs or extended attributes,
//    not a mount point, not under /dev, and the same owner, group and mode. Otherwise, or
//    when no file can be created beside it, it is written in place: its full length is
//    reserved first, so a full disk or the file size limit is found before its contents are
//    touched.
//
// While a file beside the target exists, SIGINT, SIGTERM and SIGHUP are held back: the write
// stops within the next megabyte or before the rename, the file is removed, and the signal then
// takes its normal effect.
// SIGPIPE and SIGXFSZ are held back during every write, so that they fail with EPIPE and EFBIG
// instead of ending the process.

#include "OutputFile.h"

#include <cerrno>

#include "OutputPath.h"

namespace Morvane {
namespace {

// As many links as the kernel follows before it reports a loop.
constexpr int kMaxLinks = 40;
constexpr int kTemporaryNameAttempts = 16;
// How much is written between two looks for a held-back interruption: a few milliseconds.
constexpr std::uint64_t kInterruptionCheckBytes = 1024 * 1024;

// ".morvane-" and ten characters from 50 random bits: short, so that a valid name never
// becomes too long beside its target, and unpredictable, so that leftovers of a killed run
// never collide.
std::string TemporaryName(std::string_view folder, std::uint64_t bits) {
    constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz234567";
    std::string name(folder);
    name += ".morvane-";
    for (int i = 0; i < 10; ++i) {
        name += kAlphabet[bits & 31];
        bits >>= 5;
    }
    return name;
}

bool RenameKeepsIdentity(const std::string& target, const FileStatus& status) {
    return status.links == 1 && (status.mode & 07000) == 0 && !status.hasExtendedAttributes &&
           !status.isMountPoint && !IsDevicePath(target);
}

}  // namespace

OutputFile::~OutputFile() {
    Discard();
}

bool OutputFile::Open(const std::string& path, std::uint64_t size) {
    Discard();
    heldSignals_ = fs_.HoldSignals(kBrokenPipeSignal | kFileTooLargeSignal);
    if (const int descriptor = DescriptorNamedBy(path); descriptor >= 0) {
        return OpenDescriptor(descriptor);
    }
    std::string target = path;
    for (int link = 0; link <= kMaxLinks; ++link) {
        FileStatus status;
        if (!fs_.Inspect(target, status)) {
            // Only a missing entry is created; a loop or a folder that cannot be searched fails.
            return errno == ENOENT && OpenNew(target, size);
        }
        if (status.kind != FileKind::Link) {
            return OpenResolved(target, size);
        }
        std::string content;
        if (!fs_.ReadLink(target, content)) {
            return false;
        }
        target = FollowLink(target, content);
        if (const int descriptor = DescriptorNamedBy(target); descriptor >= 0) {
            return OpenDescriptor(descriptor);
        }
    }
    errno = ELOOP;
    return false;
}

bool OutputFile::OpenDescriptor(int descriptor) {
    method_ = Method::Descriptor;
    descriptor_ = descriptor;
    return true;
}

bool OutputFile::OpenResolved(const std::string& target, std::uint64_t size) {
    descriptor_ = fs_.OpenExisting(target);
    FileStatus status;
    if (descriptor_ < 0 || !fs_.InspectOpen(descriptor_, status)) {
        return false;
    }
    if (status.kind != FileKind::RegularFile) {
        method_ = Method::InPlaceOther;
        return true;
    }
    if (RenameKeepsIdentity(target, status)) {
        const int existing = descriptor_;
        if (OpenBeside(target, &status)) {
            fs_.Close(existing);  // only opened to check that it may be written
            return true;
        }
        descriptor_ = existing;
    }
    method_ = Method::InPlace;
    return fs_.Reserve(descriptor_, size);
}

// A missing target: written beside and renamed into place, or, where nothing can be created
// beside it, created in place and removed again if the write fails.
bool OutputFile::OpenNew(const std::string& target, std::uint64_t size) {
    if (!NameOf(target).empty() && !IsDevicePath(target) && OpenBeside(target, nullptr)) {
        return true;
    }
    descriptor_ = fs_.CreateExclusive(target);
    if (descriptor_ < 0) {
        return false;
    }
    method_ = Method::InPlace;
    target_ = target;
    createdTarget_ = true;
    return fs_.Reserve(descriptor_, size);
}

// Creates the file beside `target` that replaces it, matching `original` when there is one.
// On failure nothing is left and the caller writes in place.
bool OutputFile::OpenBeside(const std::string& target, const FileStatus* original) {
    const unsigned interruptions = fs_.HoldSignals(kInterruptSignals);
    int descriptor = -1;
    std::string name;
    for (int attempt = 0; attempt < kTemporaryNameAttempts && descriptor < 0; ++attempt) {
        name = TemporaryName(FolderOf(target), fs_.Random());
        descriptor = fs_.CreateExclusive(name);
        if (descriptor < 0 && errno != EEXIST) {
            break;
        }
    }
    if (descriptor >= 0 && (original == nullptr || fs_.MatchIdentity(descriptor, *original))) {
        method_ = Method::Replace;
        descriptor_ = descriptor;
        target_ = target;
        temporary_ = std::move(name);
        heldSignals_ |= interruptions;
        return true;
    }
    const int savedErrno = errno;
    if (descriptor >= 0) {
        fs_.Close(descriptor);
        fs_.Remove(name);
    }
    fs_.ReleaseSignals(interruptions);
    errno = savedErrno;
    return false;
}

bool OutputFile::Write(const unsigned char* data, std::size_t size) {
    while (size > 0) {
        // Looked at every so many bytes, and once more before the rename.
        if (!temporary_.empty() && written_ >= nextInterruptionCheck_) {
            if (fs_.InterruptionPending()) {
                errno = EINTR;
                return false;
            }
            nextInterruptionCheck_ = written_ + kInterruptionCheckBytes;
        }
        const long count = fs_.Write(descriptor_, data, size);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            errno = count == 0 ? EIO : errno;  // a device that takes nothing would never end
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
            if (fs_.InterruptionPending()) {
                errno = EINTR;
                return false;
            }
            done = fs_.Close(descriptor_);
            descriptor_ = -1;
            done = done && fs_.Rename(temporary_, target_);
            if (done) {
                temporary_.clear();
            }
            break;
        case Method::InPlace:
            // Cuts off whatever a longer old file had beyond the new end.
            done = fs_.Truncate(descriptor_, written_);
            done = fs_.Close(descriptor_) && done;
            descriptor_ = -1;
            createdTarget_ = createdTarget_ && !done;
            break;
        case Method::InPlaceOther:
            done = fs_.Close(descriptor_);
            descriptor_ = -1;
            break;
        case Method::Descriptor:
            descriptor_ = -1;  // the process's own: stays open
            break;
        case Method::None:
            errno = EBADF;
            return false;
    }
    Discard();
    return done;
}

// Undoes an unfinished file: closes it and removes a file beside the target, or a target that
// this writer created. Keeps errno, which tells why the file was abandoned.
void OutputFile::Discard() {
    const int savedErrno = errno;
    if (descriptor_ >= 0 && method_ != Method::Descriptor) {
        fs_.Close(descriptor_);
    }
    descriptor_ = -1;
    if (!temporary_.empty()) {
        fs_.Remove(temporary_);
        temporary_.clear();
    }
    if (createdTarget_) {
        fs_.Remove(target_);
        createdTarget_ = false;
    }
    fs_.ReleaseSignals(heldSignals_);
    heldSignals_ = 0;
    method_ = Method::None;
    written_ = 0;
    nextInterruptionCheck_ = 0;
    errno = savedErrno;
}

}  // namespace Morvane
