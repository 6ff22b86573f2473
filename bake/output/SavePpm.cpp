// The writer's public operations: a map's PPM bytes (PpmEncoding.h) handed to a caller's sink,
// or streamed to a file through OutputFile; both through the same encoder. The body goes through a
// bounded buffer, so memory use does not grow with the map; a map described by a MapRequest is
// baked band by band into that buffer and never held whole.

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

// The file's bytes, gathered in one chunk and handed to `sink` each time it is full: every
// write but the last then covers whole pages of a file, which the kernel copies fastest.
template <typename Sink>
class ChunkedOutput {
public:
    ChunkedOutput(Sink& sink, unsigned char* chunk, std::size_t chunkBytes)
        : sink_(sink), chunk_(chunk), chunkBytes_(chunkBytes) {}

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
        const bool written = sink_(chunk_, used_);
        used_ = 0;
        return written;
    }

    Sink& sink_;
    unsigned char* chunk_;
    std::size_t chunkBytes_;
    std::size_t used_ = 0;
};

// A whole map, checked and with its chunk, ready to encode.
struct WholeMapSource {
    const TextureMap& map;
    PpmLayout layout{};
    std::size_t chunkBytes = 0;
    std::unique_ptr<unsigned char[]> chunk;

    explicit WholeMapSource(const TextureMap& whole) : map(whole) {}

    // False with errno set (EINVAL, ENOMEM) when the map cannot be encoded.
    bool Prepare() {
        if (!HasConsistentSize(map)) {
            errno = EINVAL;
            return false;
        }
        layout = LayoutOf(map.width, map.height);
        chunkBytes = ChunkBytesFor(layout.fileSize);
        chunk.reset(new (std::nothrow) unsigned char[chunkBytes]);
        errno = chunk ? errno : ENOMEM;
        return chunk != nullptr;
    }

    template <typename Sink>
    bool Encode(Sink& sink) {
        ChunkedOutput<Sink> out(sink, chunk.get(), chunkBytes);
        out.AddHeader(layout.header, layout.headerBytes);
        return out.AddPixels(map.pixels.data(), map.pixels.size()) && out.Finish();
    }
};

// A map described by a request, baked band by band into the caller's buffer as it is encoded.
struct BandedSource {
    const MapRequest& request;
    std::vector<std::uint32_t>& buffer;
    PpmLayout layout{};
    std::size_t chunkWords = 0;
    std::int32_t bandRows = 0;

    BandedSource(const MapRequest& map, std::vector<std::uint32_t>& storage)
        : request(map), buffer(storage) {}

    // False with errno set (EINVAL) for an unsupported size. Grows the buffer, the one
    // allocation, before anything is written: it holds the chunk of file bytes, then a band.
    bool Prepare() {
        const std::int32_t width = request.width;
        if (!IsSupportedSize(width, request.height)) {
            errno = EINVAL;
            return false;
        }
        layout = LayoutOf(width, request.height);
        chunkWords = ChunkBytesFor(layout.fileSize) / sizeof(std::uint32_t);
        bandRows = width == 0
                       ? 0
                       : static_cast<std::int32_t>(std::max<std::size_t>(1, kBandPixels / width));
        const std::size_t bandPixels = static_cast<std::size_t>(bandRows) * width;
        if (buffer.size() < chunkWords + bandPixels) {
            buffer.resize(chunkWords + bandPixels);
        }
        return true;
    }

    template <typename Sink>
    bool Encode(Sink& sink) {
        ChunkedOutput<Sink> out(sink, reinterpret_cast<unsigned char*>(buffer.data()),
                                chunkWords * sizeof(std::uint32_t));
        out.AddHeader(layout.header, layout.headerBytes);
        std::uint32_t* const band = buffer.data() + chunkWords;
        const std::int32_t width = request.width;
        for (std::int32_t first = 0; bandRows > 0 && first < request.height; first += bandRows) {
            const std::int32_t rows = std::min(bandRows, request.height - first);
            if (!BakeEngine::BakeRows(request, first, rows, band)) {
                errno = EINVAL;
                return false;
            }
            if (!out.AddPixels(band, static_cast<std::size_t>(rows) * width)) {
                return false;
            }
        }
        return out.Finish();
    }
};

// Encodes `source` into the file at `path`. Running out of memory anywhere is a failure like
// any other: the file is undone (OutputFile's destructor) and the call returns false with
// ENOMEM.
template <typename Source>
bool WriteFile(const std::string& path, Source&& source) {
    try {
        if (!source.Prepare()) {
            return false;
        }
        OutputFile file;
        if (!file.Open(path, source.layout.fileSize)) {
            return false;
        }
        auto toFile = [&file](const unsigned char* bytes, std::size_t size) {
            return file.Write(bytes, size);
        };
        return source.Encode(toFile) && file.Commit();
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    }
}

// Encodes `source` through the caller's sink.
template <typename Source>
bool EncodeTo(const BakeEngine::PpmSink& sink, Source&& source) {
    try {
        return source.Prepare() && source.Encode(sink);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    }
}

}  // namespace

bool BakeEngine::SavePpm(const std::string& path, const TextureMap& map) {
    return WriteFile(path, WholeMapSource(map));
}

bool BakeEngine::SavePpm(const std::string& path, const MapRequest& request,
                         std::vector<std::uint32_t>& buffer) {
    return WriteFile(path, BandedSource(request, buffer));
}

bool BakeEngine::EncodePpm(const TextureMap& map, const PpmSink& sink) {
    return EncodeTo(sink, WholeMapSource(map));
}

bool BakeEngine::EncodePpm(const MapRequest& request, const PpmSink& sink,
                           std::vector<std::uint32_t>& buffer) {
    return EncodeTo(sink, BandedSource(request, buffer));
}

int BakeEngine::OutputDescriptor(const std::string& path) {
    try {
        return OutputDescriptorOf(SystemFileSystem(), path);
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

}  // namespace Morvane
