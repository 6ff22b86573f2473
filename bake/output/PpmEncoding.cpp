// PPM encoding: a map's file bytes.
//
// File layout (Netpbm "P6", 8 bits per sample):
//   "P6\n" <width> " " <height> "\n255\n"   decimal sizes, no padding
//   width * height RGB triples               storage order, top row first; alpha is dropped
// A 256 x 256 map gives a 15-byte header and a 196,623-byte file.

#include "PpmEncoding.h"

#include <charconv>
#include <initializer_list>
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <tmmintrin.h>
// The features the C library found at start-up; its header is C, which Clang does not take as
// C++ (_Bool).
#if __has_include(<sys/platform/x86.h>) && !defined(__clang__)
#define MORVANE_FEATURES_FROM_LIBC 1
#include <sys/platform/x86.h>
#else
#include <cpuid.h>
#endif
#endif

namespace Morvane {
namespace {

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

}  // namespace

PpmLayout LayoutOf(std::int32_t width, std::int32_t height) {
    PpmLayout layout;
    layout.headerBytes = FormatHeader(width, height, layout.header);
    layout.fileSize = layout.headerBytes +
                      3 * static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    return layout;
}

void PackRgb(const std::uint32_t* pixels, std::size_t count, unsigned char* out) {
    std::size_t i = 0;
#if defined(MORVANE_PACK_WITH_SSSE3)
    // Asked of the C library, which probed the processor at start-up, where it tells; else one
    // cpuid leaf. Each cpuid traps to the hypervisor on a virtual machine, costing more than a
    // small map, and the full probe behind __builtin_cpu_supports issues many.
    static const bool hasSsse3 = [] {
#if defined(MORVANE_FEATURES_FROM_LIBC)
        return CPU_FEATURE_ACTIVE(SSSE3);
#else
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (ecx & bit_SSSE3) != 0;
#endif
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

}  // namespace Morvane
