// Creation of the pixel store that every bake fills.
#pragma once

#include <cstdint>

#include <morvane/BakeEngine.h>

namespace Morvane {

// True when width and height are 0 or more and their product fits a signed 32-bit integer.
bool IsSupportedSize(std::int32_t width, std::int32_t height);

// A map of the given sizes with every pixel zero, allocated at once; an empty map (0 x 0) when
// the sizes are not supported. Throws std::bad_alloc when memory is exhausted.
TextureMap CreateMap(std::int32_t width, std::int32_t height);

// True when the map has at least one pixel to compute.
inline bool HasPixels(const TextureMap& map) {
    return map.width > 0 && map.height > 0;
}

}  // namespace Morvane
