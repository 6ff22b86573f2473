// The PPM writer.
//
// File layout (Netpbm "P6", 8 bits per sample):
//   "P6\n" <width> " " <height> "\n255\n"   decimal sizes, no padding
//   width * height RGB triples               storage order, top row first; alpha is dropped
// A 256 x 256 map gives a 15-byte header and a 196,623-byte file.
//
// The body is streamed through a bounded buffer, so memory use does not grow with the map.

#include <cerrno>
#include <charconv>
#include <cstddef>
#include <memory>
#include <new>

#include <morvane/BakeEngine.h>
#include "MapStorage.h"
#include "OutputFile.h"
#include "OutputPath.h"

namespace Morvane {
namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;

bool HasConsistentSize(const TextureMap& map) {
    return IsSupportedSize(map.width, map.height) &&
           map.pixels.size() ==
               static_cast<std::size_t>(map.width) * static_cast<std::size_t>(map.height);
}

// Writes the header into `out` (at least 32 bytes) and returns its length.
std::size_t FormatHeader(const TextureMap& map, char* out) {
    char* cursor = out;
    *cursor++ = 'P';
    *cursor++ = '6';
    *cursor++ = '\n';
    cursor = std::to_chars(cursor, cursor + 11, map.width).ptr;
    *cursor++ = ' ';
    cursor = std::to_chars(cursor, cursor + 11, map.height).ptr;
    for (const char c : {'\n', '2', '5', '5', '\n'}) {
        *cursor++ = c;
    }
    return static_cast<std::size_t>(cursor - out);
}

}  // namespace

bool BakeEngine::SavePpm(const std::string& path, const TextureMap& map) {
    if (!HasConsistentSize(map)) {
        errno = EINVAL;
        return false;
    }
    const std::unique_ptr<unsigned char[]> chunk(new (std::nothrow) unsigned char[kChunkBytes]);
    if (!chunk) {
        errno = ENOMEM;
        return false;
    }
    std::size_t used = FormatHeader(map, reinterpret_cast<char*>(chunk.get()));
    OutputFile file;
    if (!file.Open(path, used + 3 * static_cast<std::uint64_t>(map.pixels.size()))) {
        return false;
    }
    for (const std::uint32_t pixel : map.pixels) {
        if (kChunkBytes - used < 3) {
            if (!file.Write(chunk.get(), used)) {
                return false;
            }
            used = 0;
        }
        chunk[used++] = static_cast<unsigned char>(pixel);
        chunk[used++] = static_cast<unsigned char>(pixel >> 8);
        chunk[used++] = static_cast<unsigned char>(pixel >> 16);
    }
    return file.Write(chunk.get(), used) && file.Commit();
}

int BakeEngine::OutputDescriptor(const std::string& path) {
    return DescriptorNamedBy(path);
}

}  // namespace Morvane
