// Tangent-space normal map: slopes from the discs and the rim band, normalised and encoded.

#include <algorithm>
#include <array>
#include <optional>

#include <morvane/BakeEngine.h>
#include "BakeLayout.h"
#include "BandBakes.h"
#include "FastFill.h"
#include "MapStorage.h"
#include "PixelFormulas.h"

namespace Morvane {
namespace {

constexpr float kCentreThreshold = 0.01f;           // a disc centre itself has no slope
constexpr std::int32_t kRimBand = 12;               // left and top band width
constexpr std::int32_t kFarRimBand = kRimBand - 1;  // right and bottom band width
constexpr float kRimDivisor = 12.0f;
constexpr float kLengthThreshold = 0.0001f;  // shorter normals are left unnormalised

// Adds the slope of every disc that holds the pixel, in visiting order. Returns whether any
// disc did: a disc centre itself, and any pixel 18 or more pixels away, gets no term.
bool AddDiscSlopes(std::int32_t x, std::int32_t y, const NormalSettings& s, float& sx, float& sy) {
    bool sloped = false;
    for (const Layout::DiscCentre& centre : s.centres) {
        const std::int32_t dx = x - centre.x;
        const std::int32_t dy = y - centre.y;
        if (!Layout::IsWithinReach(dx, dy)) {
            continue;
        }
        const float d = Layout::DiscDistance(dx, dy);
        if (Layout::IsInsideDisc(d) && d > kCentreThreshold) {
            const float falloff = 1.0f - (d / Layout::kDiscRadius);
            sy = sy + ((static_cast<float>(dy) / d) * falloff);
            sx = sx + ((static_cast<float>(dx) / d) * falloff);
            sloped = true;
        }
    }
    return sloped;
}

// Adds the rim slope for one axis. The near band covers positions 0..11 with 12/12 down to
// 1/12; the far band covers only the last 11 positions with 1/12 up to 11/12, subtracted. Where
// the bands overlap (sizes below 23) the near term alone applies.
float AddRimSlope(float sum, std::int32_t position, std::int32_t size) {
    if (position < kRimBand) {
        return sum + static_cast<float>(kRimBand - position) / kRimDivisor;
    }
    if (position >= size - kFarRimBand) {
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

// The pixel from its disc slopes: rim terms added, normalised and encoded.
std::uint32_t FinishPixel(std::int32_t x, std::int32_t y, const NormalSettings& s, float sx,
                          float sy) {
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

// A row without disc terms: the left band, one value for every column between the bands, and
// the right band (from the right border inwards). Rows outside the top and bottom bands are
// all alike.
struct RowWithoutDiscs {
    std::array<std::uint32_t, kRimBand> left{};
    std::array<std::uint32_t, kFarRimBand> right{};
    std::uint32_t middle = 0;
    std::int32_t leftCount = 0;
    std::int32_t rightCount = 0;

    RowWithoutDiscs(std::int32_t y, const NormalSettings& s) {
        leftCount = std::min(kRimBand, s.width);
        const std::int32_t rightBegin = std::max(leftCount, s.width - kFarRimBand);
        rightCount = s.width - rightBegin;
        for (std::int32_t x = 0; x < leftCount; ++x) {
            left[x] = FinishPixel(x, y, s, 0.0f, 0.0f);
        }
        for (std::int32_t i = 0; i < rightCount; ++i) {
            right[i] = FinishPixel(s.width - 1 - i, y, s, 0.0f, 0.0f);
        }
        if (rightBegin > leftCount) {
            middle = FinishPixel(leftCount, y, s, 0.0f, 0.0f);
        }
    }

    void WriteTo(const MapBand& band, std::int32_t y) const {
        ComposeRow(&PixelAt(band, 0, y), band.width, left.data(), leftCount, middle, right.data(),
                   rightCount);
    }
};

bool IsInRimRows(std::int32_t y, std::int32_t height) {
    return y < kRimBand || y >= height - kFarRimBand;
}

}  // namespace

NormalSettings MakeNormalSettings(std::int32_t width, std::int32_t height, float strength) {
    const float z = 1.0f / strength;
    return {width, height, Layout::FeatureDiscCentres(width, height), z, z * z};
}

std::uint32_t NormalPixel(std::int32_t x, std::int32_t y, const NormalSettings& s) {
    float sx = 0.0f;
    float sy = 0.0f;
    AddDiscSlopes(x, y, s, sx, sy);
    return FinishPixel(x, y, s, sx, sy);
}

void BakeNormalBand(const MapBand& band, float strength) {
    const NormalSettings settings = MakeNormalSettings(band.width, band.height, strength);
    std::optional<RowWithoutDiscs> interior;
    for (std::int32_t y = band.firstRow; y < band.EndRow(); ++y) {
        if (IsInRimRows(y, band.height)) {
            RowWithoutDiscs(y, settings).WriteTo(band, y);
        } else {
            if (!interior) {
                interior.emplace(y, settings);
            }
            interior->WriteTo(band, y);
        }
    }
    PaintNearDiscs(
        band,
        [&](std::int32_t x, std::int32_t y) {
            float sx = 0.0f;
            float sy = 0.0f;
            if (AddDiscSlopes(x, y, settings, sx, sy)) {
                PixelAt(band, x, y) = FinishPixel(x, y, settings, sx, sy);
            }
        },
        // Clear of the rim bands a disc's pixels depend on the disc alone.
        [&band](const PixelBox& box) {
            return box.x0 >= kRimBand && box.x1 <= band.width - kFarRimBand && box.y0 >= kRimBand &&
                   box.y1 <= band.height - kFarRimBand;
        });
}

TextureMap BakeEngine::BakeNormalMap(std::int32_t width, std::int32_t height, float strength) {
    TextureMap map = CreateMap(width, height);
    if (HasPixels(map)) {
        BakeNormalBand(WholeMap(map), strength);
    }
    return map;
}

}  // namespace Morvane
