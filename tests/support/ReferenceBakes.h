// The bakes with every pixel evaluated through the engine's per-pixel formula, in storage
// order, with no shortcuts. Slow and plainly faithful: tests check the fast fills against them.
#pragma once

#include <cstdint>

#include <morvane/BakeEngine.h>

namespace Morvane::Reference {

TextureMap BakeAmbientOcclusion(std::int32_t width, std::int32_t height);
TextureMap BakeNormalMap(std::int32_t width, std::int32_t height, float strength);
TextureMap BakeCurvature(std::int32_t width, std::int32_t height);
TextureMap BakeMaterialID(std::int32_t width, std::int32_t height);

// The reference bake of the map that `request` describes.
TextureMap Bake(const MapRequest& request);

}  // namespace Morvane::Reference
