#include "ReferenceBakes.h"

#include "BakeLayout.h"
#include "MapStorage.h"
#include "PixelFormulas.h"

namespace Morvane::Reference {
namespace {

// A map of the given sizes with `pixelAt(x, y)` at every pixel, in storage order.
template <typename PixelAtPosition>
TextureMap EvaluateEveryPixel(std::int32_t width, std::int32_t height, PixelAtPosition pixelAt) {
    TextureMap map = CreateMap(width, height);
    std::uint32_t* out = map.pixels.data();
    for (std::int32_t y = 0; y < map.height; ++y) {
        for (std::int32_t x = 0; x < map.width; ++x) {
            *out++ = pixelAt(x, y);
        }
    }
    return map;
}

}  // namespace

TextureMap BakeAmbientOcclusion(std::int32_t width, std::int32_t height) {
    const Layout::DiscCentres centres = Layout::FeatureDiscCentres(width, height);
    return EvaluateEveryPixel(width, height, [&](std::int32_t x, std::int32_t y) {
        return OcclusionPixel(x, y, width, height, centres);
    });
}

TextureMap BakeNormalMap(std::int32_t width, std::int32_t height, float strength) {
    const NormalSettings settings = MakeNormalSettings(width, height, strength);
    return EvaluateEveryPixel(
        width, height, [&](std::int32_t x, std::int32_t y) { return NormalPixel(x, y, settings); });
}

TextureMap BakeCurvature(std::int32_t width, std::int32_t height) {
    return EvaluateEveryPixel(width, height, [&](std::int32_t x, std::int32_t y) {
        return CurvaturePixel(Layout::EdgeDistance(x, y, width, height));
    });
}

TextureMap BakeMaterialID(std::int32_t width, std::int32_t height) {
    const Layout::DiscCentres centres = Layout::FeatureDiscCentres(width, height);
    return EvaluateEveryPixel(width, height, [&](std::int32_t x, std::int32_t y) {
        return MaterialPixel(x, y, centres);
    });
}

TextureMap Bake(const MapRequest& request) {
    switch (request.kind) {
        case MapKind::AmbientOcclusion:
            return BakeAmbientOcclusion(request.width, request.height);
        case MapKind::Normal:
            return BakeNormalMap(request.width, request.height, request.strength);
        case MapKind::Curvature:
            return BakeCurvature(request.width, request.height);
        case MapKind::MaterialID:
            return BakeMaterialID(request.width, request.height);
    }
    return {};
}

}  // namespace Morvane::Reference
