// The PPM writer.
//
// File layout (Netpbm "P6", 8 bits per sample):
//   "P6\n" <width> " " <height> "\n255\n"   decimal sizes, no padding
//   width * height RGB triples               storage order, top row first; alpha is dropped
// A 256 x 256 map gives a 15-byte header and a 196,623-byte file.
//
// The body is written through a bounded buffer, so memory use does not grow with the map; a map
// described by a MapRequest is baked band by band into that buffer and never held whole.

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <cpuid.h>
#include <tmmintrin.h>
#endif

#include <morvane/BakeEngine.h>
#include "MapStorage.h"
#include "OutputFile.h"

namespace Morvane {
namespace {

// Files are written in chunks of whole pages; large files in larger chunks, which halve the
// kernel's cost per byte, small ones in smaller chunks, which keep the process small.
constexpr std::size_t kSmallChunkBytes = 64 * 1024;
constexpr std::size_t kLargeChunkBytes = 256 * 1024;
constexpr std::uint64_t kLargeFileBytes = 1024 * 1024;
constexpr std::size_t kBandPixels = 4 * 1024;  // 16 KiB of packed pixels: stays in the L1 cache
constexpr std::size_t kMaxHeaderBytes = 32;

bool HasConsistentSize(const TextureMap& map) {
    return IsSupportedSize(map.width, map.height) &&
           map.pixels.size() ==
               static_cast<std::size_t>(map.width) * static_cast<std::size_t>(map.height);
}

// Writes the header into `out` (kMaxHeaderBytes) and returns its length.
std::size_t FormatHeader(std::int32_t width, std::int32_t height, char* out) {
    char* cursor = out;
    *cursor++ = 'P';
    *cursor++ = '6';
    *cursor++ = '\n';
    cursor = std::to_chars(cursor, cursor + 11, width).ptr;
    *cursor++ = ' ';
    cursor = std::to_chars(cursor, cursor + 11, height).ptr;
    for (const char c : {'\n', '2', '5', '5', '\n'}) {
        *cursor++ = c;
    }
    return static_cast<std::size_t>(cursor - out);
}

// A file's header and its whole length.
struct PpmLayout {
    char header[kMaxHeaderBytes];
    std::size_t headerBytes;
    std::uint64_t fileSize;
};

PpmLayout LayoutOf(std::int32_t width, std::int32_t height) {
    PpmLayout layout;
    layout.headerBytes = FormatHeader(width, height, layout.header);
    layout.fileSize = layout.headerBytes +
                      3 * static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    return layout;
}

std::size_t ChunkBytesFor(std::uint64_t fileSize) {
    return fileSize > kLargeFileBytes ? kLargeChunkBytes : kSmallChunkBytes;
}

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define MORVANE_PACK_WITH_SSSE3 1
// Sixteen pixels at a time with SSSE3 byte shuffles, chosen at run time on processors that have
// them: the bytes that the plain loop in PackRgb writes, about three times faster, which
// matters when a large map streams to a file. Returns how many pixels it packed.
__attribute__((target("ssse3"))) std::size_t PackRgbSsse3(const std::uint32_t* pixels,
                                                          std::size_t count, unsigned char* out) {
    // Red, green and blue of four pixels into the first 12 bytes; alpha is dropped.
    const __m128i dropAlpha = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const auto* in = reinterpret_cast<const __m128i*>(pixels + i);
        const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(in), dropAlpha);
        const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(in + 1), dropAlpha);
        const __m128i c = _mm_shuffle_epi8(_mm_loadu_si128(in + 2), dropAlpha);
        const __m128i d = _mm_shuffle_epi8(_mm_loadu_si128(in + 3), dropAlpha);
        auto* to = reinterpret_cast<__m128i*>(out + 3 * i);
        _mm_storeu_si128(to, _mm_or_si128(a, _mm_slli_si128(b, 12)));
        _mm_storeu_si128(to + 1, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
        _mm_storeu_si128(to + 2, _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
    }
    return i;
}
#endif

// Red, green and blue of `count` pixels, three bytes each, into `out`, which must not overlap
// the pixels.
void PackRgb(const std::uint32_t* pixels, std::size_t count, unsigned char* out) {
    std::size_t i = 0;
#if defined(MORVANE_PACK_WITH_SSSE3)
    // One cpuid leaf: the full feature probe behind __builtin_cpu_supports issues many, each
    // of which traps to the hypervisor on a virtual machine, costing more than a small map.
    static const bool hasSsse3 = [] {
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (ecx & bit_SSSE3) != 0;
    }();
    if (hasSsse3) {
        i = PackRgbSsse3(pixels, count, out);
    }
#endif
    for (; i < count; ++i) {
        const std::uint32_t pixel = pixels[i];
        out[3 * i] = static_cast<unsigned char>(pixel);
        out[3 * i + 1] = static_cast<unsigned char>(pixel >> 8);
        out[3 * i + 2] = static_cast<unsigned char>(pixel >> 16);
    }
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
