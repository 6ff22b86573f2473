// Material ID: the disc colour inside any feature disc, the surface colour elsewhere.

#include <morvane/BakeEngine.h>
#include "BakeLayout.h"
#include "BandBakes.h"
#include "FastFill.h"
#include "MapStorage.h"
#include "PixelFormulas.h"

namespace Morvane {
namespace {

constexpr std::uint32_t kSurfaceColour = 0xFF2020E0u;
constexpr std::uint32_t kDiscColour = 0xFF20E020u;

}  // namespace

std::uint32_t MaterialPixel(std::int32_t x, std::int32_t y, const Layout::DiscCentres& centres) {
    std::uint32_t colour = kSurfaceColour;
    for (const Layout::DiscCentre& centre : centres) {
        const std::int32_t dx = x - centre.x;
        const std::int32_t dy = y - centre.y;
        if (Layout::IsWithinReach(dx, dy) && Layout::IsInsideDisc(Layout::DiscDistance(dx, dy))) {
            colour = kDiscColour;
        }
    }
    return colour;
}

void BakeMaterialIdBand(const MapBand& band) {
    // Away from the discs every pixel is the surface colour.
    FillByEdgeDistance(band,
                       TabulateEdgeDistance(band, 0, [](std::int32_t) { return kSurfaceColour; }));
    const Layout::DiscCentres centres = Layout::FeatureDiscCentres(band.width, band.height);
    PaintNearDiscs(
        band,
        [&](std::int32_t x, std::int32_t y) { PixelAt(band, x, y) = MaterialPixel(x, y, centres); },
        [](const PixelBox&) { return true; });  // the surface colour is the same everywhere
}

TextureMap BakeEngine::BakeMaterialID(std::int32_t width, std::int32_t height) {
    TextureMap map = CreateMap(width, height);
    if (HasPixels(map)) {
        BakeMaterialIdBand(WholeMap(map));
    }
    return map;
}

}  // namespace Morvane
