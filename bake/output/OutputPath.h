// How the writer reads an output path: the process's own descriptors it may name, and the
// folder and name it splits into.
#pragma once

// The writer's own: the engine never uses it (see bake/CMakeLists.txt).
#if !defined(MORVANE_WRITER_INTERNALS)
#error "the writer's internals are for the writer and its tests; the engine never uses them"
#endif

#include <string>
#include <string_view>

namespace Morvane {

// The descriptor that `path` names in the process whose id is `processId`: /dev/stdin,
// /dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N, /proc/thread-self/fd/N or
// /proc/<processId>/fd/N, with any run of slashes read as one; -1 for any other path. N is
// plain decimal, as the system spells it: /dev/fd/01 names nothing. Opening such a path anew
// would reopen (and truncate) the file behind the descriptor, or fail for a deleted one,
// instead of writing at its position, so the writer uses the descriptor itself.
int DescriptorNamedBy(std::string_view path, long processId);

// The folder part of `path` with its final separator ("maps/" for "maps/set_ao.ppm"), empty
// for a bare name; and the name after it.
std::string_view FolderOf(std::string_view path);
std::string_view NameOf(std::string_view path);

// True for paths in the system's device folder, whose entries are never replaced by files.
bool IsDevicePath(std::string_view path);

}  // namespace Morvane
