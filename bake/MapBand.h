// A band of rows of a map: what every bake fills. A whole map is the band of all its rows.
#pragma once

#include <cstddef>
#include <cstdint>

#include <morvane/BakeEngine.h>

namespace Morvane {

// Rows [firstRow, firstRow + rowCount) of a width x height map in `pixels`, each row `stride`
// pixels after the one before (at least the width; pixels between rows are never touched).
struct MapBand {
    std::int32_t width;
    std::int32_t height;
    std::int32_t firstRow;
    std::int32_t rowCount;
    std::uint32_t* pixels;
    std::size_t stride;

    std::int32_t EndRow() const { return firstRow + rowCount; }
};

// The band of all rows of `map`.
inline MapBand WholeMap(TextureMap& map) {
    return {map.width,  map.height,        0,
            map.height, map.pixels.data(), static_cast<std::size_t>(map.width)};
}

// Pixel (x, y) of the map; x must lie inside the map and y inside the band.
inline std::uint32_t& PixelAt(const MapBand& band, std::int32_t x, std::int32_t y) {
    return band.pixels[static_cast<std::size_t>(y - band.firstRow) * band.stride +
                       static_cast<std::size_t>(x)];
}

}  // namespace Morvane
