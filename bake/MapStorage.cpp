#include "MapStorage.h"

#include <cstddef>
#include <limits>

namespace Morvane {

bool IsSupportedSize(std::int32_t width, std::int32_t height) {
    if (width < 0 || height < 0) {
        return false;
    }
    const std::int64_t count = std::int64_t{width} * std::int64_t{height};
    return count <= std::numeric_limits<std::int32_t>::max();
}

TextureMap CreateMap(std::int32_t width, std::int32_t height) {
    TextureMap map;
    if (!IsSupportedSize(width, height)) {
        return map;
    }
    map.width = width;
    map.height = height;
    map.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    return map;
}

}  // namespace Morvane
