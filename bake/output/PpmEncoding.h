// A map's bytes as a PPM file: its header, and its pixels packed as RGB triples.
#pragma once

// The writer's own: the engine never uses it (see bake/CMakeLists.txt).
#if !defined(MORVANE_WRITER_INTERNALS)
#error "the writer's internals are for the writer and its tests; the engine never uses them"
#endif

#include <cstddef>
#include <cstdint>

namespace Morvane {

constexpr std::size_t kMaxHeaderBytes = 32;

// A file's header and its whole length.
struct PpmLayout {
    char header[kMaxHeaderBytes];
    std::size_t headerBytes;
    std::uint64_t fileSize;
};

PpmLayout LayoutOf(std::int32_t width, std::int32_t height);

// Red, green and blue of `count` pixels, three bytes each, into `out`, which must not overlap
// the pixels.
void PackRgb(const std::uint32_t* pixels, std::size_t count, unsigned char* out);

}  // namespace Morvane
