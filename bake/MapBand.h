// A band of rows of a map: what every bake fills. A whole map is the band of all its rows.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include <morvane/BakeEngine.h>
#include "BakeLayout.h"

namespace Morvane {

// The painted rows of one disc's reach, kept while a map is baked band by band: the other discs
// that hold the same pixels copy their rows from it, even where the band that painted them is
// gone. Rows are kept as they come, top first; a row that does not follow the last one kept
// starts the stamp again.
class DiscStamp {
public:
    static constexpr std::int32_t kSide = 2 * Layout::kDiscReach + 1;

    bool Holds(std::int32_t row) const { return row >= first_ && row < end_; }
    const std::uint32_t* Row(std::int32_t row) const { return &pixels_[(row - first_) * kSide]; }
    void Keep(std::int32_t row, const std::uint32_t* pixels) {
        if (row != end_ || end_ - first_ == kSide) {
            first_ = end_ = row;
        }
        std::copy_n(pixels, kSide, &pixels_[(end_++ - first_) * kSide]);
    }

private:
    std::array<std::uint32_t, kSide * kSide> pixels_;
    std::int32_t first_ = 0;
    std::int32_t end_ = 0;
};

// Rows [firstRow, firstRow + rowCount) of a width x height map in `pixels`, each row `stride`
// pixels after the one before (at least the width; pixels between rows are never touched).
// `stamp`, where the caller bakes one map band after band, keeps what a band painted for the
// next; without one, each band paints every disc it cannot copy within itself.
struct MapBand {
    std::int32_t width;
    std::int32_t height;
    std::int32_t firstRow;
    std::int32_t rowCount;
    std::uint32_t* pixels;
    std::size_t stride;
    DiscStamp* stamp = nullptr;

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
