// The writer's public operations: a map's PPM bytes (PpmEncoding.h) streamed to a file through
// OutputFile. The body goes through a bounded buffer, so memory use does not grow with the map;
// a map described by a MapRequest is baked band by band into that buffer and never held whole.

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include <morvane/BakeEngine.h>
#include "MapStorage.h"
#include "OutputFile.h"
#include "PpmEncoding.h"

namespace Morvane {
namespace {

// Files are written in chunks of whole pages; large files in larger chunks, which halve the
// kernel's cost per byte, small ones in smaller chunks, which keep the process small.
constexpr std::size_t kSmallChunkBytes = 64 * 1024;
constexpr std::size_t kLargeChunkBytes = 256 * 1024;
constexpr std::uint64_t kLargeFileBytes = 1024 * 1024;
constexpr std::size_t kBandPixels = 4 * 1024;  // 16 KiB of packed pixels: stays in the L1 cache

bool HasConsistentSize(const TextureMap& map) {
    return IsSupportedSize(map.width, map.height) &&
           map.pixels.size() ==
               static_cast<std::size_t>(map.width) * static_cast<std::size_t>(map.height);
}

std::size_t ChunkBytesFor(std::uint64_t fileSize) {
    return fileSize > kLargeFileBytes ? kLargeChunkBytes : kSmallChunkBytes;
}

// The file's bytes, gathered in one chunk and written each time it is full: every write but the
// last then covers whole pages of the file, which the kernel copies fastest.
class ChunkedFile {
public:
    ChunkedFile(OutputFile& file, unsigned char* chunk, std::size_t chunkBytes)
        : file_(file), chunk_(chunk), chunkBytes_(chunkBytes) {}

    void AddHeader(const char* header, std::size_t size) {
        std::memcpy(chunk_ + used_, header, size);
        used_ += size;
    }

    bool AddPixels(const std::uint32_t* pixels, std::size_t count) {
        while (count > 0) {
            const std::size_t whole = std::min((chunkBytes_ - used_) / 3, count);
            PackRgb(pixels, whole, chunk_ + used_);
            used_ += 3 * whole;
            pixels += whole;
            count -= whole;
            if (count > 0) {
                // A pixel that straddles the end of the chunk.
                unsigned char triple[3];
                PackRgb(pixels, 1, triple);
                const std::size_t first = chunkBytes_ - used_;
                std::memcpy(chunk_ + used_, triple, first);
                used_ = chunkBytes_;
                if (!Flush()) {
                    return false;
                }
                std::memcpy(chunk_, triple + first, 3 - first);
                used_ = 3 - first;
                ++pixels;
                --count;
            }
            if (used_ == chunkBytes_ && !Flush()) {
                return false;
            }
        }
        return true;
    }

    bool Finish() { return used_ == 0 || Flush(); }

private:
    bool Flush() {
        const bool written = file_.Write(chunk_, used_);
        used_ = 0;
        return written;
    }

    OutputFile& file_;
    unsigned char* chunk_;
    std::size_t chunkBytes_;
    std::size_t used_ = 0;
};

// Writes the header and then the pixels that `addPixels` hands to the chunked file, through
// `chunk`: the one sequence of opening, writing and committing for every map.
template <typename AddPixels>
bool WritePpm(const std::string& path, const PpmLayout& layout, unsigned char* chunk,
              std::size_t chunkBytes, AddPixels addPixels) {
    OutputFile file;
    if (!file.Open(path, layout.fileSize)) {
        return false;
    }
    ChunkedFile out(file, chunk, chunkBytes);
    out.AddHeader(layout.header, layout.headerBytes);
    return addPixels(out) && out.Finish() && file.Commit();
}

}  // namespace

// Running out of memory anywhere in a write is a failure like any other: the file is undone
// (OutputFile's destructor) and the call returns false with ENOMEM.
bool BakeEngine::SavePpm(const std::string& path, const TextureMap& map) {
    if (!HasConsistentSize(map)) {
        errno = EINVAL;
        return false;
    }
    try {
        const PpmLayout layout = LayoutOf(map.width, map.height);
        const std::size_t chunkBytes = ChunkBytesFor(layout.fileSize);
        const std::unique_ptr<unsigned char[]> chunk(new (std::nothrow) unsigned char[chunkBytes]);
        if (!chunk) {
            errno = ENOMEM;
            return false;
        }
        return WritePpm(path, layout, chunk.get(), chunkBytes, [&map](ChunkedFile& out) {
            return out.AddPixels(map.pixels.data(), map.pixels.size());
        });
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    }
}

bool BakeEngine::SavePpm(const std::string& path, const MapRequest& request,
                         std::vector<std::uint32_t>& buffer) {
    const std::int32_t width = request.width;
    const std::int32_t height = request.height;
    if (!IsSupportedSize(width, height)) {
        errno = EINVAL;
        return false;
    }
    try {
        // The buffer holds the chunk of file bytes, then a band of pixels.
        const PpmLayout layout = LayoutOf(width, height);
        const std::size_t chunkWords = ChunkBytesFor(layout.fileSize) / sizeof(std::uint32_t);
        const std::int32_t bandRows =
            width == 0 ? 0
                       : static_cast<std::int32_t>(std::max<std::size_t>(1, kBandPixels / width));
        const std::size_t bandPixels = static_cast<std::size_t>(bandRows) * width;
        if (buffer.size() < chunkWords + bandPixels) {
            buffer.resize(chunkWords +
                          bandPixels);  // the one allocation, before anything is opened
        }
        std::uint32_t* const band = buffer.data() + chunkWords;
        return WritePpm(path, layout, reinterpret_cast<unsigned char*>(buffer.data()),
                        chunkWords * sizeof(std::uint32_t), [&](ChunkedFile& out) {
                            for (std::int32_t first = 0; bandRows > 0 && first < height;
                                 first += bandRows) {
                                const std::int32_t rows = std::min(bandRows, height - first);
                                if (!BakeRows(request, first, rows, band)) {
                                    errno = EINVAL;
                                    return false;
                                }
                                if (!out.AddPixels(band, static_cast<std::size_t>(rows) * width)) {
                                    return false;
                                }
                            }
                            return true;
                        });
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    }
}

int BakeEngine::OutputDescriptor(const std::string& path) {
    try {
        return OutputDescriptorOf(SystemFileSystem(), path);
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

}  // namespace Morvane
