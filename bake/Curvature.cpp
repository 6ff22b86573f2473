// Curvature: a light band and a dark band along the border, mid grey inside.

#include <morvane/BakeEngine.h>
#include "BakeLayout.h"
#include "BandBakes.h"
#include "FastFill.h"
#include "MapStorage.h"
#include "PixelFormulas.h"

namespace Morvane {
namespace {

constexpr std::int32_t kLightBand = 6;
constexpr std::int32_t kDarkBand = 12;

}  // namespace

std::uint32_t CurvaturePixel(std::int32_t edgeDistance) {
    if (edgeDistance < kLightBand) {
        return 0xFFE5E5E5u;
    }
    if (edgeDistance < kDarkBand) {
        return 0xFF333333u;
    }
    return 0xFF7F7F7Fu;
}

void BakeCurvatureBand(const MapBand& band) {
    // The pixel depends on the edge distance alone and stops changing at the dark band's end.
    FillByEdgeDistance(band, TabulateEdgeDistance(band, kDarkBand, CurvaturePixel));
}

TextureMap BakeEngine::BakeCurvature(std::int32_t width, std::int32_t height) {
    TextureMap map = CreateMap(width, height);
    if (HasPixels(map)) {
        BakeCurvatureBand(WholeMap(map));
    }
    return map;
}

}  // namespace Morvane
