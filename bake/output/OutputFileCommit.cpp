// Finishing a file that OutputFile opened (see OutputFile.cpp for the rules): naming a new file,
// putting a replacement in the target's place once the target is observed again, or copying
// the complete file into the target where it can no longer be replaced.

#include <cerrno>
#include <vector>

#include "OutputFile.h"
#include "OutputPath.h"

namespace Morvane {
namespace {

constexpr std::size_t kCopyChunkBytes = 64 * 1024;

}  // namespace

bool OutputFile::Commit() {
    if (!open_) {
        errno = EBADF;
        return false;
    }
    bool done = true;
    if (method_ == WriteMethod::Replace) {
        done = facts_.missing ? CommitNewFile() : CommitReplacement();
    } else if (method_ == WriteMethod::InPlace) {
        done = fs_.Truncate(target_, written_);  // cuts off a longer old file's tail
    }
    if (done && target_ >= 0) {
        done = fs_.Close(target_);  // where a file system reports a late write failure
        target_ = -1;
    }
    createdTarget_ = createdTarget_ && !done;
    Discard();
    return done;
}

// Links the complete new file under the name that led to nothing.
bool OutputFile::CommitNewFile() {
    FileStatus made;
    if (!fs_.InspectOpen(newFile_, made)) {
        return false;
    }
    if (!fs_.Link(newFile_, folder_, name_)) {
        return errno == EEXIST && CommitOverExisting();
    }
    // A file system may report a failed write only when the file is closed.
    const bool closed = fs_.Close(newFile_);
    newFile_ = -1;
    FileStatus entry;
    if (!closed && fs_.InspectEntry(folder_, name_, entry) && entry.IsSameFileAs(made)) {
        fs_.Remove(folder_, name_);
    }
    return closed;
}

// The name was taken after all, or is a link: the complete file is copied into what the path
// opens, as `>` would write it.
bool OutputFile::CommitOverExisting() {
    target_ = fs_.OpenTarget(path_, true, createdTarget_);
    if (target_ < 0 || !fs_.InspectOpen(target_, observed_)) {
        return false;
    }
    const int stream = createdTarget_ ? -1 : fs_.StandardStreamFor(observed_, target_);
    return CopyInto(stream >= 0 ? stream : target_,
                    stream < 0 && observed_.kind == FileKind::RegularFile);
}

// Puts the complete new file in the target's place, with the target's owner, group, mode,
// attributes and flags as they are right before the rename; copies it into the opened file
// where the target can no longer be replaced.
bool OutputFile::CommitReplacement() {
    if (TerminatingSignalArrived()) {
        return false;
    }
    // Renaming needs a name: from here to the rename, the signals that end a process wait.
    if (temporary_.empty()) {
        terminatingSignals_.Block(SignalBlock::kTerminatingSignals);
        if (!ClaimTemporaryName(temporary_, RandomBits, [this](const std::string& name) {
                return fs_.Link(newFile_, folder_, name);
            })) {
            facts_.replacementError = errno;
        }
    }
    // The target now, and whether its name still leads to it.
    FileStatus now, entry;
    if (!fs_.InspectOpen(target_, now)) {
        return false;
    }
    ObserveTarget(now);
    facts_.located = fs_.InspectEntry(folder_, name_, entry) && entry.IsSameFileAs(now);
    if (facts_.replacementError == 0 && !now.IsUnchangedSince(observed_) &&
        !fs_.PrepareReplacement(newFile_, target_)) {
        facts_.replacementError = errno;
    }
    if (facts_.replacementError == 0 && !fs_.CompleteReplacement(newFile_, now)) {
        facts_.replacementError = errno;
    }
    int error = 0;
    const WriteMethod method = ChooseWriteMethod(facts_, error);
    if (method == WriteMethod::InPlace) {
        return CopyInto(target_, true);
    }
    if (method != WriteMethod::Replace) {
        errno = error;
        return false;
    }
    // A file system may report a failed write only when the file is closed. The target,
    // never written on this path, is closed too: Windows renames nothing over an open file.
    const bool closed = fs_.Close(newFile_);
    newFile_ = -1;
    fs_.Close(target_);
    target_ = -1;
    if (!closed || !fs_.Rename(folder_, temporary_, name_)) {
        return false;
    }
    temporary_.clear();
    return true;
}

// Copies the complete new file into `destination`: a regular file made sure of first and cut
// to the new length, anything else as it is. The new file loses its name first, and with it
// the signals held for it: from here on the write is the one `>` would make. (Windows removes
// no open file; there, where no signals are held, the name goes once it is closed.)
bool OutputFile::CopyInto(int destination, bool regular) {
    if (!temporary_.empty() && fs_.Remove(folder_, temporary_)) {
        temporary_.clear();
    }
    if (temporary_.empty()) {
        terminatingSignals_.Unblock();
    }
    std::vector<unsigned char> chunk(kCopyChunkBytes);  // std::bad_alloc: see WriteFile()
    const std::uint64_t length = written_;
    if (regular && !fs_.Reserve(destination, length)) {
        return false;
    }
    for (std::uint64_t offset = 0; offset < length;) {
        const long count = fs_.ReadAt(newFile_, chunk.data(), chunk.size(), offset);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            errno = count == 0 ? EIO : errno;
            return false;
        }
        if (!WriteAll(destination, chunk.data(), static_cast<std::size_t>(count))) {
            return false;
        }
        offset += static_cast<std::uint64_t>(count);
    }
    return !regular || fs_.Truncate(destination, length);
}

}  // namespace Morvane
