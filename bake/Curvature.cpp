// Curvature: a light band and a dark band along the border, mid grey inside.

#include "BakeEngine.h"
#include "BakeLayout.h"
#include "MapStorage.h"

namespace Morvane {
namespace {

constexpr std::int32_t kLightBand = 6;
constexpr std::int32_t kDarkBand = 12;

std::uint32_t CurvaturePixel(std::int32_t edgeDistance) {
    if (edgeDistance < kLightBand) {
        return 0xFFE5E5E5u;
    }
    if (edgeDistance < kDarkBand) {
        return 0xFF333333u;
    }
    return 0xFF7F7F7Fu;
}

}  // namespace

TextureMap BakeEngine::BakeCurvature(std::int32_t width, std::int32_t height) {
    TextureMap map = CreateMap(width, height);
    if (!HasPixels(map)) {
        return map;
    }
    std::uint32_t* out = map.pixels.data();
    for (std::int32_t y = 0; y < map.height; ++y) {
        for (std::int32_t x = 0; x < map.width; ++x) {
            *out++ = CurvaturePixel(Layout::EdgeDistance(x, y, map.width, map.height));
        }
    }
    return map;
}

}  // namespace Morvane
