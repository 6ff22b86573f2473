// Where a bake's pixel formula has to be evaluated, and where a pixel's value is already known.
//
// Almost every pixel of a map is constant along one coordinate: the open panel is one value, a
// rim band depends on one coordinate, and only pixels within reach of a disc need the disc
// terms. These helpers let a bake evaluate its formula once per distinct value and copy it
// everywhere it repeats; they never compute a pixel themselves.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "BakeLayout.h"
#include "MapBand.h"

namespace Morvane {

// One row from three parts, each side given from its border inwards: `leftCount` values from
// `left`, then `middle` repeated, then `rightCount` values from `right`, the last pixel of the
// row first. Needs leftCount + rightCount <= width.
void ComposeRow(std::uint32_t* row, std::int32_t width, const std::uint32_t* left,
                std::int32_t leftCount, std::uint32_t middle, const std::uint32_t* right,
                std::int32_t rightCount);

// Pixels that depend on the edge distance alone, tabulated: entry m is the pixel at edge
// distance m, and the last entry holds for every larger edge distance too.
using EdgeDistanceTable = std::vector<std::uint32_t>;

// Tabulates `pixelAt(m)` for m = 0 .. last, where `last` is the edge distance from which the
// pixel no longer changes (clamped to the largest edge distance the band has: that of its row
// nearest the map's middle, or of the middle column).
template <typename PixelAtEdgeDistance>
EdgeDistanceTable TabulateEdgeDistance(const MapBand& band, std::int32_t last,
                                       PixelAtEdgeDistance pixelAt) {
    const std::int32_t nearest =
        std::clamp((band.height - 1) / 2, band.firstRow, band.EndRow() - 1);
    const std::int32_t largest =
        std::min({nearest, band.height - 1 - nearest, (band.width - 1) / 2});
    EdgeDistanceTable table(static_cast<std::size_t>(std::min(last, largest)) + 1);
    for (std::size_t m = 0; m < table.size(); ++m) {
        table[m] = pixelAt(static_cast<std::int32_t>(m));
    }
    return table;
}

// Fills every pixel of the band with the table entry for its edge distance.
void FillByEdgeDistance(const MapBand& band, const EdgeDistanceTable& table);

// The rows of `span` that lie in the band.
inline Layout::Span RowsInBand(const Layout::Span& span, const MapBand& band) {
    return {std::max(span.begin, band.firstRow), std::min(span.end, band.EndRow())};
}

// Calls `visit(x, y)` once for every pixel of the band within reach of some disc (closer than
// 18 pixels along both axes), row by row. Every other pixel is untouched by the discs.
template <typename Visit>
void ForEachPixelNearDiscs(const MapBand& band, Visit visit) {
    const Layout::DiscSpans columns = Layout::DiscReachSpans(band.width);
    const Layout::DiscSpans rows = Layout::DiscReachSpans(band.height);
    for (const Layout::Span& rowSpan : rows) {
        const Layout::Span inBand = RowsInBand(rowSpan, band);
        for (std::int32_t y = inBand.begin; y < inBand.end; ++y) {
            for (const Layout::Span& columnSpan : columns) {
                for (std::int32_t x = columnSpan.begin; x < columnSpan.end; ++x) {
                    visit(x, y);
                }
            }
        }
    }
}

// A rectangle of pixels [x0, x1) x [y0, y1).
struct PixelBox {
    std::int32_t x0;
    std::int32_t y0;
    std::int32_t x1;
    std::int32_t y1;
};

// The smallest edge distance of any pixel in `box`.
inline std::int32_t MinEdgeDistance(const PixelBox& box, std::int32_t width, std::int32_t height) {
    return std::min({box.x0, box.y0, width - box.x1, height - box.y1});
}

// Calls `paint(x, y)` for every pixel of the band within reach of a disc, as
// ForEachPixelNearDiscs does, with one shortcut: when the discs' reaches are apart, a disc whose
// whole reach lies inside the map and on a plain background (`isPlain(box)`, a background equal
// under every such disc) holds the same pixels as the first such disc of the map, so each of
// its rows that the band's stamp holds (DiscStamp, MapBand.h) is copied instead of painted.
template <typename Paint, typename IsPlain>
void PaintNearDiscs(const MapBand& band, Paint paint, IsPlain isPlain) {
    const Layout::DiscSpans columns = Layout::DiscReachSpans(band.width);
    const Layout::DiscSpans rows = Layout::DiscReachSpans(band.height);
    const bool apart = columns[1].begin < columns[1].end && rows[1].begin < rows[1].end;
    if (!apart) {
        ForEachPixelNearDiscs(band, paint);
        return;
    }
    DiscStamp ownStamp;
    DiscStamp& stamp = band.stamp != nullptr ? *band.stamp : ownStamp;
    bool stampFound = false;
    for (const Layout::DiscCentre& centre : Layout::FeatureDiscCentres(band.width, band.height)) {
        const PixelBox reach{centre.x - Layout::kDiscReach, centre.y - Layout::kDiscReach,
                             centre.x + Layout::kDiscReach + 1, centre.y + Layout::kDiscReach + 1};
        const PixelBox box{std::max(reach.x0, 0), std::max(reach.y0, 0),
                           std::min(reach.x1, band.width), std::min(reach.y1, band.height)};
        const bool whole =
            box.x0 == reach.x0 && box.y0 == reach.y0 && box.x1 == reach.x1 && box.y1 == reach.y1;
        const bool plain = whole && isPlain(box);
        const bool isStamp = plain && !stampFound;  // its rows fill the stamp
        stampFound = stampFound || plain;
        const Layout::Span inBand = RowsInBand({box.y0, box.y1}, band);
        for (std::int32_t y = inBand.begin; y < inBand.end; ++y) {
            std::uint32_t* const row = &PixelAt(band, box.x0, y);
            if (plain && !isStamp && stamp.Holds(y - box.y0)) {
                std::copy_n(stamp.Row(y - box.y0), DiscStamp::kSide, row);
                continue;
            }
            for (std::int32_t x = box.x0; x < box.x1; ++x) {
                paint(x, y);
            }
            if (isStamp) {
                stamp.Keep(y - box.y0, row);
            }
        }
    }
}

}  // namespace Morvane
