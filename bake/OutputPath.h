// How the writer reads an output path: the standard descriptors it may name, where a symbolic
// link leads, and the folder that a file beside the target goes into.
#pragma once

#include <string>
#include <string_view>

namespace Morvane {

// The descriptor that `path` names in the process itself: /dev/stdin, /dev/stdout,
// /dev/stderr, /dev/fd/N or /proc/self/fd/N; -1 for any other path. Opening such a path
// anew would reopen (and truncate) the file behind the descriptor instead of writing at its
// position, so the writer uses the descriptor itself.
int DescriptorNamedBy(std::string_view path);

// The path that a symbolic link at `link` whose content is `content` leads to.
std::string FollowLink(std::string_view link, std::string_view content);

// The folder part of `path` with its final separator ("maps/" for "maps/set_ao.ppm"), empty
// for a bare name; and the name after it.
std::string_view FolderOf(std::string_view path);
std::string_view NameOf(std::string_view path);

// True for paths in the system's device folder, whose entries are never replaced by files.
bool IsDevicePath(std::string_view path);

}  // namespace Morvane
