#include "OutputFile.h"

#include <cerrno>

#include "FileSystem.h"

namespace Morvane {
namespace {

constexpr int kTemporaryNameAttempts = 100;

}  // namespace

OutputFile::~OutputFile() {
    Discard();
}

bool OutputFile::Open(const std::string& path) {
    Discard();
    FileSystem::PathKind kind = FileSystem::PathKind::Missing;
    unsigned permissions = 0;
    if (!FileSystem::Inspect(path, kind, permissions)) {
        return false;
    }
    if (kind == FileSystem::PathKind::Other) {
        descriptor_ = FileSystem::OpenInPlace(path);
        return descriptor_ >= 0;
    }

    const bool replacing = kind == FileSystem::PathKind::RegularFile;
    target_ = replacing ? FileSystem::ResolveLink(path) : path;
    const std::string stem = target_ + "." + std::to_string(FileSystem::ProcessId()) + "-";
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        std::string name = stem + std::to_string(attempt) + ".tmp";
        descriptor_ = FileSystem::CreateExclusive(name);
        if (descriptor_ >= 0) {
            temporary_ = std::move(name);
            if (replacing) {
                FileSystem::SetPermissions(descriptor_, permissions);
            }
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

bool OutputFile::Write(const unsigned char* data, std::size_t size) {
    return FileSystem::WriteAll(descriptor_, data, size);
}

bool OutputFile::Commit() {
    const int descriptor = descriptor_;
    descriptor_ = -1;
    if (!FileSystem::Close(descriptor) ||
        (!temporary_.empty() && !FileSystem::Replace(temporary_, target_))) {
        Discard();
        return false;
    }
    temporary_.clear();
    return true;
}

void OutputFile::Discard() {
    const int savedErrno = errno;
    if (descriptor_ >= 0) {
        FileSystem::Close(descriptor_);
        descriptor_ = -1;
    }
    if (!temporary_.empty()) {
        FileSystem::Remove(temporary_);
        temporary_.clear();
    }
    errno = savedErrno;
}

}  // namespace Morvane
