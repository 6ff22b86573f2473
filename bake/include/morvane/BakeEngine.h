// Morvane bake engine: texture maps of one built-in synthetic surface.
//
// The surface is a flat panel the size of the map, with a band along its border and four feature
// discs of radius 18 pixels centred at the quarter and three-quarter points. Every bake derives
// its map from the size (and the bake's own parameter) alone, with single-precision arithmetic
// rounded after every operation, so the same call yields the same pixels on every machine.
//
// Conventions shared by every operation:
// - Pixel (x, y) is column x counted from the left and row y counted from the top; rows are
//   stored top row first, so pixel (x, y) is entry y * width + x of `pixels`.
// - A pixel is one packed word 0xAABBGGRR: red in bits 0-7, green 8-15, blue 16-23 and alpha
//   24-31. Every bake writes alpha 255. In memory, on a little-endian machine (x86, ARM, RISC-V,
//   POWER little-endian) the four bytes of a word are red, green, blue, alpha: `pixels` already
//   is RGBA8, ready for an upload as such. On a big-endian machine (s390x) they are alpha, blue,
//   green, red; for RGBA8 bytes there, take (word >> 0, >> 8, >> 16, >> 24) & 0xFF in turn.
// - Supported sizes: width and height of 0 or more whose product is at most 2,147,483,647. A
//   map with a zero size is valid and has no pixels. A negative size, or a product above that
//   limit, yields an empty map (width 0, height 0, no pixels) and computes nothing.
// - The engine keeps no state: every operation is a pure function of its arguments (the writers
//   write only the file or sink they are given), may be called from any number of threads at
//   once, and returns a map that the caller owns.
// - A bake that cannot allocate its pixels lets std::bad_alloc through; nothing else throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The operations a shared engine library exports; everything else in it stays hidden.
#if defined(_WIN32) && defined(MORVANE_BAKE_SHARED)
#if defined(MORVANE_BAKE_BUILDING)
#define MORVANE_BAKE_API __declspec(dllexport)
#else
#define MORVANE_BAKE_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define MORVANE_BAKE_API __attribute__((visibility("default")))
#else
#define MORVANE_BAKE_API
#endif

namespace Morvane {

// A map of packed 0xAABBGGRR pixels, row-major, top row first.
struct TextureMap {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint32_t> pixels;  // width * height entries
};

// The four maps, for the operations that take a map's description instead of its pixels.
enum class MapKind { AmbientOcclusion, Normal, Curvature, MaterialID };

// A map to bake: what the whole-map bakes take as arguments.
struct MapRequest {
    MapKind kind = MapKind::AmbientOcclusion;
    std::int32_t width = 0;
    std::int32_t height = 0;
    float strength = 2.5f;  // the normal map's strength; the other maps have no parameter
};

class MORVANE_BAKE_API BakeEngine {
public:
    BakeEngine() = delete;

    // Writes `map` to `path` as a binary PPM image ("P6", maxval 255): red, green and blue of
    // every pixel in storage order; alpha is dropped. Returns true once the whole file is
    // written and closed; false, with errno telling why, when it cannot be opened, written or
    // closed (missing directory, a directory at `path`, disk full, ...).
    // `path` is written wherever the shell's `>` would write it, with the same effect on the
    // file, and refused where `>` would be refused: a new or replaced file appears whole or not
    // at all, a file that cannot be replaced is written in place once its length is sure to
    // fit, and /dev/stdout and the like are written through the process's own descriptor.
    // writing.md (docs/ in the source, /usr/share/doc/morvane-dev) says how, case by case; on
    // Windows `path` is UTF-8 (bytes that are not fail with EILSEQ), and windows.md applies.
    // During the call SIGPIPE and SIGXFSZ are held back on the calling thread and fail it
    // (EPIPE, EFBIG). Where the new file must have a name while it is written, the signals that
    // end a process are held back on the calling thread too, and one that arrives stops the
    // write, removes the file and then takes its effect. The caller's signal mask is restored
    // exactly; signals it blocks, ignores or handles never stop a write.
    // A map whose pixel count does not match its sizes, or a path with a NUL byte, is refused
    // with EINVAL. Running out of memory returns false with ENOMEM; nothing throws. Calls may
    // run on several threads at once.
    static bool SavePpm(const std::string& path, const TextureMap& map);

    // Bakes `request` and writes it to `path` exactly as SavePpm(path, map) writes the whole
    // map, with the same handling of the target and the same failures, but band by band: it
    // never holds the map, only `buffer`, which it grows once to a size that depends on the
    // map's width alone (library.md gives it). Pass the same buffer to write several maps
    // through one allocation.
    // An unsupported size is refused with EINVAL; a buffer that cannot be grown fails with
    // ENOMEM before anything is opened.
    static bool SavePpm(const std::string& path, const MapRequest& request,
                        std::vector<std::uint32_t>& buffer);

    // Receives a PPM file's bytes in order, one chunk at a time (at most 256 KiB); returns
    // false to stop. Any callable of that form will do: one that appends to a std::string or a
    // std::vector, sends to a socket, or feeds a compressor.
    using PpmSink = std::function<bool(const unsigned char* bytes, std::size_t size)>;

    // Produces the file that SavePpm(path, map) writes, byte for byte, through `sink`, with the
    // same encoder and in the same constant memory. Returns true once the sink has taken every
    // byte. Returns false as soon as the sink returns false (errno is as the sink left it), and
    // with errno EINVAL for a map whose pixel count does not match its sizes, ENOMEM when its
    // chunk cannot be allocated. An exception from the sink passes through.
    static bool EncodePpm(const TextureMap& map, const PpmSink& sink);
    // The same for the map that `request` describes, baked band by band through `buffer` as
    // SavePpm(path, request, buffer) does; EINVAL for an unsupported size.
    static bool EncodePpm(const MapRequest& request, const PpmSink& sink,
                          std::vector<std::uint32_t>& buffer);

    // Bakes rows firstRow .. firstRow + rowCount - 1 of the map that `request` describes into
    // `rows`, rowCount * width packed pixels that the caller provides, top row first. They are
    // exactly those rows of the whole-map bake, at any supported size and for any band.
    // Returns false, writing nothing, when the size is not supported, the rows do not lie in
    // the map (firstRow or rowCount negative, or past the last row), `rows` is null while there
    // are pixels to write, or `request.kind` is not one of the four kinds. Zero rows or a zero
    // width write nothing and succeed.
    static bool BakeRows(const MapRequest& request, std::int32_t firstRow, std::int32_t rowCount,
                         std::uint32_t* rows);
    // The same into a pitched buffer: row i of the band starts at rows + i * rowStride.
    // `rowStride` counts pixels and must be at least the width (false otherwise, and when the
    // last row's end cannot be addressed); the pixels between rows are left untouched.
    static bool BakeRows(const MapRequest& request, std::int32_t firstRow, std::int32_t rowCount,
                         std::uint32_t* rows, std::size_t rowStride);

    // The process's own descriptor that SavePpm writes `path` through: 1 when the file at
    // `path` is standard output's, however the path names it (/dev/stdout, a link to it, ...),
    // 2 for standard error's, N for a path that spells descriptor N (/dev/fd/N,
    // /proc/self/fd/N); -1 for a path that names another file.
    static int OutputDescriptor(const std::string& path);

    // Ambient occlusion: grey, white (255) on the open panel, darkening over the outer sixth of
    // the width towards the border and towards the centre of each disc, never below 51.
    // `rays` is accepted for compatibility and not read: no rays are cast, and the map is the
    // same for every ray count.
    static TextureMap BakeAmbientOcclusion(std::int32_t width, std::int32_t height,
                                           std::int32_t rays);

    // Tangent-space normal map, x to the right and y down the image: red above 127 leans
    // towards +x, green above 127 leans down the image. Around a disc the normal leans away
    // from its centre; in the 12-pixel rim band it leans towards the inside of the map. The
    // height component before normalisation is 1 / strength.
    // Unusual strengths give defined pixels: a channel whose value is not a number encodes as
    // 0, so strength 0 or NaN gives blue 0; strength +/-infinity gives a zero height component,
    // so flat pixels are 0xFF7F7F7F.
    static TextureMap BakeNormalMap(std::int32_t width, std::int32_t height, float strength);

    // Curvature: 229 (light) where the edge distance is below 6, 51 (dark) below 12, and 127
    // elsewhere, in red, green and blue. The discs leave no mark.
    static TextureMap BakeCurvature(std::int32_t width, std::int32_t height);

    // Material ID: 0xFF20E020 (green) inside any disc, 0xFF2020E0 (red) everywhere else.
    static TextureMap BakeMaterialID(std::int32_t width, std::int32_t height);
};

}  // namespace Morvane
