#include "FastFill.h"

#include <algorithm>

namespace Morvane {

void ComposeRow(std::uint32_t* row, std::int32_t width, const std::uint32_t* left,
                std::int32_t leftCount, std::uint32_t middle, const std::uint32_t* right,
                std::int32_t rightCount) {
    std::copy_n(left, leftCount, row);
    std::fill(row + leftCount, row + (width - rightCount), middle);
    std::reverse_copy(right, right + rightCount, row + (width - rightCount));
}

void FillByEdgeDistance(const MapBand& band, const EdgeDistanceTable& table) {
    const auto last = static_cast<std::int32_t>(table.size()) - 1;
    for (std::int32_t y = band.firstRow; y < band.EndRow(); ++y) {
        const std::int32_t rowDistance = std::min(y, band.height - 1 - y);
        // Columns closer to a side than to the top or bottom take their own edge distance, the
        // same from either side; at most half the row does, so the two sides never overlap.
        const std::int32_t sideCount = std::min({rowDistance, last, band.width / 2});
        ComposeRow(&PixelAt(band, 0, y), band.width, table.data(), sideCount, table[sideCount],
                   table.data(), sideCount);
    }
}

}  // namespace Morvane
