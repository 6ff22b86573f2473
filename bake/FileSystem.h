// The few file operations the writer needs, one implementation per platform. Every failing
// call returns false (or -1) and leaves errno describing the cause.
#pragma once

#include <cstddef>
#include <string>

namespace Morvane::FileSystem {

enum class PathKind { Missing, RegularFile, Other };

// What is at `path` (following links), and for a regular file its permission bits. Fails for
// anything but a missing path (no permission to look, a path through a regular file, ...).
bool Inspect(const std::string& path, PathKind& kind, unsigned& permissions);

// The regular file a path names: the target of a symbolic link, so that replacing the file
// keeps the link; otherwise the path itself.
std::string ResolveLink(const std::string& path);

// Opens an existing target that is not a regular file (a pipe, a device) for writing.
int OpenInPlace(const std::string& path);

// Creates a new file for writing; fails with EEXIST when the name is taken.
int CreateExclusive(const std::string& path);

void SetPermissions(int descriptor, unsigned permissions);
bool WriteAll(int descriptor, const unsigned char* data, std::size_t size);
bool Close(int descriptor);

// Renames `from` over `to`, replacing any file there in one step.
bool Replace(const std::string& from, const std::string& to);
void Remove(const std::string& path);

// Distinguishes temporary names of concurrent processes.
unsigned long ProcessId();

}  // namespace Morvane::FileSystem
