// Tangent-space normal map: slopes from the discs and the rim band, normalised and encoded.

#include "BakeEngine.h"
#include "BakeLayout.h"
#include "MapStorage.h"

namespace Morvane {
namespace {

constexpr float kCentreThreshold = 0.01f;  // a disc centre itself has no slope
constexpr std::int32_t kRimBand = 12;      // left and top band width
constexpr float kRimDivisor = 12.0f;
constexpr float kLengthThreshold = 0.0001f;  // shorter normals are left unnormalised

struct NormalSettings {
    std::int32_t width;
    std::int32_t height;
    Layout::DiscCentres centres;
    float z;   // height component before normalisation
    float z2;  // z * z
};

// Adds the rim slope for one axis. The near band covers positions 0..11 with 12/12 down to
// 1/12; the far band covers only the last 11 positions with 1/12 up to 11/12, subtracted. Where
// the bands overlap (sizes below 23) the near term alone applies.
float AddRimSlope(float sum, std::int32_t position, std::int32_t size) {
    if (position < kRimBand) {
        return sum + static_cast<float>(kRimBand - position) / kRimDivisor;
    }
    if (position >= size - (kRimBand - 1)) {
        return sum - static_cast<float>(position - size + kRimBand) / kRimDivisor;
    }
    return sum;
}

// A component -1 .. 1 becomes a channel 0 .. 255; a value that is not a number becomes 0, so
// no NaN ever reaches the integer conversion.
std::uint32_t EncodeChannel(float component) {
    const float v = ((component * 0.5f) + 0.5f) * 255.0f;
    if (!(v >= 0.0f)) {
        return 0;
    }
    if (v > 255.0f) {
        return 255;
    }
    return static_cast<std::uint32_t>(v);
}

std::uint32_t NormalPixel(std::int32_t x, std::int32_t y, const NormalSettings& s) {
    float sx = 0.0f;
    float sy = 0.0f;
    for (const Layout::DiscCentre& centre : s.centres) {
        const std::int32_t dx = x - centre.x;
        const std::int32_t dy = y - centre.y;
        const float d = Layout::DiscDistance(dx, dy);
        if (Layout::IsInsideDisc(d) && d > kCentreThreshold) {
            const float falloff = 1.0f - (d / Layout::kDiscRadius);
            sy = sy + ((static_cast<float>(dy) / d) * falloff);
            sx = sx + ((static_cast<float>(dx) / d) * falloff);
        }
    }
    sx = AddRimSlope(sx, x, s.width);
    sy = AddRimSlope(sy, y, s.height);

    const float length = std::sqrt(((sx * sx) + (sy * sy)) + s.z2);
    float nz = s.z;
    if (length > kLengthThreshold) {
        sx = sx / length;
        sy = sy / length;
        nz = s.z / length;
    }
    return EncodeChannel(sx) | (EncodeChannel(sy) << 8) | (EncodeChannel(nz) << 16) | 0xFF000000u;
}

}  // namespace

TextureMap BakeEngine::BakeNormalMap(std::int32_t width, std::int32_t height, float strength) {
    TextureMap map = CreateMap(width, height);
    if (!HasPixels(map)) {
        return map;
    }
    const float z = 1.0f / strength;
    const NormalSettings settings{map.width, map.height,
                                  Layout::FeatureDiscCentres(map.width, map.height), z, z * z};
    std::uint32_t* out = map.pixels.data();
    for (std::int32_t y = 0; y < map.height; ++y) {
        for (std::int32_t x = 0; x < map.width; ++x) {
            *out++ = NormalPixel(x, y, settings);
        }
    }
    return map;
}

}  // namespace Morvane
