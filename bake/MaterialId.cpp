// Material ID: the disc colour inside any feature disc, the surface colour elsewhere.

#include "BakeEngine.h"
#include "BakeLayout.h"
#include "MapStorage.h"

namespace Morvane {
namespace {

constexpr std::uint32_t kSurfaceColour = 0xFF2020E0u;
constexpr std::uint32_t kDiscColour = 0xFF20E020u;

std::uint32_t MaterialPixel(std::int32_t x, std::int32_t y, const Layout::DiscCentres& centres) {
    std::uint32_t colour = kSurfaceColour;
    for (const Layout::DiscCentre& centre : centres) {
        if (Layout::IsInsideDisc(Layout::DiscDistance(x - centre.x, y - centre.y))) {
            colour = kDiscColour;
        }
    }
    return colour;
}

}  // namespace

TextureMap BakeEngine::BakeMaterialID(std::int32_t width, std::int32_t height) {
    TextureMap map = CreateMap(width, height);
    if (!HasPixels(map)) {
        return map;
    }
    const Layout::DiscCentres centres = Layout::FeatureDiscCentres(map.width, map.height);
    std::uint32_t* out = map.pixels.data();
    for (std::int32_t y = 0; y < map.height; ++y) {
        for (std::int32_t x = 0; x < map.width; ++x) {
            *out++ = MaterialPixel(x, y, centres);
        }
    }
    return map;
}

}  // namespace Morvane
