// Ambient occlusion: a border ramp over one sixth of the width, darkened inside the discs.

#include <limits>

#include <morvane/BakeEngine.h>
#include "BakeLayout.h"
#include "BandBakes.h"
#include "FastFill.h"
#include "MapStorage.h"
#include "PixelFormulas.h"

namespace Morvane {
namespace {

constexpr float kFloor = 0.2f;        // darkest value of the border ramp
constexpr float kDiscFloor = 0.3f;    // darkest value inside a disc
constexpr float kRampLengths = 6.0f;  // the ramp spans width / 6 pixels

// Occlusion from the border alone: the edge distance against the width (never the height).
float RampOcclusion(std::int32_t edgeDistance, std::int32_t width) {
    float e = (static_cast<float>(edgeDistance) / static_cast<float>(width)) * kRampLengths;
    if (e < kFloor) {
        e = kFloor;
    } else if (e > 1.0f) {
        e = 1.0f;
    }
    return e;
}

// A disc darkens towards its centre; the darker of disc and background wins.
float DarkenByDisc(float occlusion, float discDistance) {
    float t = discDistance / Layout::kDiscRadius;
    if (t < kDiscFloor) {
        t = kDiscFloor;
    }
    return t < occlusion ? t : occlusion;
}

// Occlusion 0.2 .. 1.0 becomes grey level 51 .. 255 in red, green and blue.
std::uint32_t GreyPixel(float occlusion) {
    const auto level = static_cast<std::uint32_t>(occlusion * 255.0f);
    return 0xFF000000u | (level << 16) | (level << 8) | level;
}

}  // namespace

std::uint32_t OcclusionPixel(std::int32_t x, std::int32_t y, std::int32_t width,
                             std::int32_t height, const Layout::DiscCentres& centres) {
    float e = RampOcclusion(Layout::EdgeDistance(x, y, width, height), width);
    for (const Layout::DiscCentre& centre : centres) {
        const std::int32_t dx = x - centre.x;
        const std::int32_t dy = y - centre.y;
        if (!Layout::IsWithinReach(dx, dy)) {
            continue;
        }
        const float d = Layout::DiscDistance(dx, dy);
        if (Layout::IsInsideDisc(d)) {
            e = DarkenByDisc(e, d);
        }
    }
    return GreyPixel(e);
}

void BakeAmbientOcclusionBand(const MapBand& band) {
    // Away from the discs the pixel depends on the edge distance alone.
    const EdgeDistanceTable ramp = TabulateEdgeDistance(
        band, std::numeric_limits<std::int32_t>::max(),
        [&band](std::int32_t m) { return GreyPixel(RampOcclusion(m, band.width)); });
    FillByEdgeDistance(band, ramp);

    const Layout::DiscCentres centres = Layout::FeatureDiscCentres(band.width, band.height);
    PaintNearDiscs(
        band,
        [&](std::int32_t x, std::int32_t y) {
            PixelAt(band, x, y) = OcclusionPixel(x, y, band.width, band.height, centres);
        },
        // Where the ramp has reached 1.0 a disc's pixels depend on the disc alone.
        [&band](const PixelBox& box) {
            return RampOcclusion(MinEdgeDistance(box, band.width, band.height), band.width) == 1.0f;
        });
}

TextureMap BakeEngine::BakeAmbientOcclusion(std::int32_t width, std::int32_t height,
                                            std::int32_t /*rays*/) {
    TextureMap map = CreateMap(width, height);
    if (HasPixels(map)) {
        BakeAmbientOcclusionBand(WholeMap(map));
    }
    return map;
}

}  // namespace Morvane
