// The writer's public operations: a map's PPM bytes (PpmEncoding.h) handed to a caller's sink,
// or streamed to a file through OutputFile; both through the same encoder. The body goes through a
// bounded buffer, so memory use does not grow with the map; a map described by a MapRequest is
// baked band by band into that buffer and never held whole.

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include <morvane/BakeEngine.h>
#include "BandBakes.h"
#include "MapStorage.h"
#include "OutputFile.h"
#include "OutputPath.h"
#include "PpmEncoding.h"

namespace Morvane {
namespace {

// Files are written in chunks of whole pages; large files in larger chunks, which halve the
// kernel's cost per byte, small ones in smaller chunks, which keep the process small.
constexpr std::size_t kSmallChunkBytes = 64 * 1024;
constexpr std::size_t kLargeChunkBytes = 256 * 1024;
constexpr std::uint64_t kLargeFileBytes = 1024 * 1024;
constexpr std::size_t kBandPixels = 4 * 1024;  // 16 KiB of packed pixels: stays in the L1 cache

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

// A map ready to encode: its layout, and a buffer that holds a chunk of file bytes followed by
// a band of rows where the rows are baked as they are encoded. `Rows` gives rows
// first .. first + count - 1 of the map, packed, or null when they cannot be made.
template <typename Rows>
struct Source {
    std::int32_t width;
    std::int32_t height;
    std::vector<std::uint32_t>& buffer;
    Rows rows;
    std::int32_t bandRows = 0;  // rows baked at a time, 0 where they are there already
    PpmLayout layout{};
    std::size_t chunkWords = 0;

    // False with errno set (EINVAL) for an unsupported size. Grows the buffer, the one
    // allocation, before anything is written.
    bool Prepare() {
        if (!IsSupportedSize(width, height)) {
            errno = EINVAL;
            return false;
        }
        layout = LayoutOf(width, height);
        chunkWords = ChunkBytesFor(layout.fileSize) / sizeof(std::uint32_t);
        if (bandRows != 0 && width != 0) {
            bandRows = static_cast<std::int32_t>(std::max<std::size_t>(1, kBandPixels / width));
        }
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
        const std::int32_t step = bandRows != 0 ? bandRows : height;
        for (std::int32_t first = 0; width > 0 && first < height; first += step) {
            const std::int32_t count = std::min(step, height - first);
            const std::uint32_t* const band = rows(first, count);
            if (band == nullptr) {
                errno = EINVAL;
                return false;
            }
            if (!out.AddPixels(band, static_cast<std::size_t>(count) * width)) {
                return false;
            }
        }
        return out.Finish();
    }
};

// A whole map's rows, as they are; EINVAL for pixels that do not match its sizes.
auto WholeMap(const TextureMap& map, std::vector<std::uint32_t>& buffer) {
    const bool consistent = map.pixels.size() == static_cast<std::size_t>(std::max(map.width, 0)) *
                                                     std::max(map.height, 0);
    const std::int32_t width = consistent ? map.width : -1;  // refused by Prepare()
    auto rows = [&map](std::int32_t first, std::int32_t) {
        return map.pixels.data() + static_cast<std::size_t>(first) * map.width;
    };
    return Source<decltype(rows)>{width, map.height, buffer, rows};
}

// The rows of the map that `request` describes, baked band by band after the chunk; what one
// band paints of the discs, the next ones copy.
auto BakedMap(const MapRequest& request, std::vector<std::uint32_t>& buffer) {
    auto rows = [&request, &buffer, stamp = DiscStamp()](std::int32_t first,
                                                         std::int32_t count) mutable {
        // At the buffer's end, which Prepare() made to hold a band after the chunk.
        const auto width = static_cast<std::size_t>(request.width);
        std::uint32_t* const band =
            buffer.data() + buffer.size() - static_cast<std::size_t>(count) * width;
        const MapBand rowsOfMap{request.width, request.height, first, count, band, width, &stamp};
        return BakeBand(request, rowsOfMap) ? band : nullptr;
    };
    return Source<decltype(rows)>{request.width, request.height, buffer, rows, 1};
}

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

// The process's own descriptor that a write to `path` goes through: 1 or 2 when the file at
// `path` is standard output's or standard error's, N for a path that names descriptor N,
// otherwise -1.
int OutputDescriptorOf(FileSystem& fileSystem, const std::string& path) {
    if (path.find('\0') != std::string::npos) {
        return -1;
    }
    const int named = OwnDescriptorNamedBy(path);
    FileStatus status;
    const bool found =
        named >= 0 ? fileSystem.InspectOpen(named, status) : fileSystem.InspectPath(path, status);
    const int stream = found ? fileSystem.StandardStreamFor(status, -1) : -1;
    return stream >= 0 ? stream : named;
}

}  // namespace

bool BakeEngine::SavePpm(const std::string& path, const TextureMap& map) {
    std::vector<std::uint32_t> chunk;
    return WriteFile(path, WholeMap(map, chunk));
}

bool BakeEngine::SavePpm(const std::string& path, const MapRequest& request,
                         std::vector<std::uint32_t>& buffer) {
    return WriteFile(path, BakedMap(request, buffer));
}

bool BakeEngine::EncodePpm(const TextureMap& map, const PpmSink& sink) {
    std::vector<std::uint32_t> chunk;
    return EncodeTo(sink, WholeMap(map, chunk));
}

bool BakeEngine::EncodePpm(const MapRequest& request, const PpmSink& sink,
                           std::vector<std::uint32_t>& buffer) {
    return EncodeTo(sink, BakedMap(request, buffer));
}

int BakeEngine::OutputDescriptor(const std::string& path) {
    try {
        return OutputDescriptorOf(SystemFileSystem(), path);
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

}  // namespace Morvane
