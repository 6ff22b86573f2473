// Baking a band of rows: any band of any map equals the same rows of the whole map.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include <morvane/BakeEngine.h>
#include "EveryBake.h"

using Morvane::BakeEngine;
using Morvane::MapKind;
using Morvane::MapRequest;
using Morvane::TextureMap;

namespace {

constexpr std::uint32_t kGap = 0xDEADBEEFu;  // what a pitched buffer holds between rows

TEST(BakeRows, EveryBandEqualsTheSameRowsOfTheWholeMap) {
    const std::pair<int, int> sizes[] = {{1, 1},    {3, 5},     {20, 7},    {37, 100},
                                         {99, 101}, {200, 201}, {256, 256}, {1000, 732}};
    for (const auto& [width, height] : sizes) {
        for (const auto& [name, kind] : MorvaneTest::kEveryBake) {
            const MapRequest request{kind, width, height, kind == MapKind::Normal ? -0.7f : 2.5f};
            const TextureMap whole = MorvaneTest::BakeWhole(request);
            for (const int bandRows : {1, 2, 3, 7, 18, 35, 64, 255}) {
                SCOPED_TRACE(testing::Message() << width << " x " << height << ", " << name
                                                << ", bands of " << bandRows);
                std::vector<std::uint32_t> band;
                std::vector<std::uint32_t> pitched;
                const std::size_t stride = static_cast<std::size_t>(width) + 3;
                for (int first = 0; first < height; first += bandRows) {
                    const int rows = std::min(bandRows, height - first);
                    band.assign(static_cast<std::size_t>(rows) * width, 0);
                    ASSERT_TRUE(BakeEngine::BakeRows(request, first, rows, band.data()));
                    ASSERT_TRUE(std::equal(
                        band.begin(), band.end(),
                        whole.pixels.begin() + static_cast<std::ptrdiff_t>(first) * width))
                        << "rows " << first << " to " << first + rows - 1;
                    // The same rows into a pitched buffer, whose gaps stay as they were.
                    pitched.assign(rows * stride, kGap);
                    ASSERT_TRUE(BakeEngine::BakeRows(request, first, rows, pitched.data(), stride));
                    for (int row = 0; row < rows; ++row) {
                        const auto start =
                            pitched.begin() + static_cast<std::ptrdiff_t>(row * stride);
                        ASSERT_TRUE(
                            std::equal(start, start + width,
                                       band.begin() + static_cast<std::ptrdiff_t>(row) * width));
                        ASSERT_TRUE(std::all_of(start + width,
                                                start + static_cast<std::ptrdiff_t>(stride),
                                                [](std::uint32_t p) { return p == kGap; }));
                    }
                }
            }
        }
    }
}

TEST(BakeRows, RefusesRowsOutsideTheMapAndUnsupportedSizes) {
    std::vector<std::uint32_t> band(64, 7u);
    const MapRequest map{MapKind::Curvature, 8, 8};
    EXPECT_FALSE(BakeEngine::BakeRows(map, -1, 2, band.data()));
    EXPECT_FALSE(BakeEngine::BakeRows(map, 7, 2, band.data()));
    for (const int width : {0, 1, 8}) {  // a negative count, whatever the width
        EXPECT_FALSE(BakeEngine::BakeRows({MapKind::Curvature, width, 8}, 0, -1, band.data()));
    }
    EXPECT_FALSE(BakeEngine::BakeRows(map, 2147483647, 1, band.data()));
    EXPECT_FALSE(BakeEngine::BakeRows({MapKind::Normal, -3, 8}, 0, 1, band.data()));
    EXPECT_FALSE(BakeEngine::BakeRows({MapKind::Normal, 65536, 65536}, 0, 1, band.data()));
    EXPECT_FALSE(BakeEngine::BakeRows(map, 0, 1, nullptr));
    EXPECT_FALSE(BakeEngine::BakeRows(map, 0, 1, band.data(), 7));  // a stride below the width
    // Rows whose addresses, counted in bytes, would wrap around: the second, or only the third.
    EXPECT_FALSE(BakeEngine::BakeRows(map, 0, 2, band.data(), SIZE_MAX / 2));
    const std::uintptr_t room = UINTPTR_MAX - reinterpret_cast<std::uintptr_t>(band.data());
    EXPECT_FALSE(BakeEngine::BakeRows(map, 0, 3, band.data(), room / sizeof(band[0]) / 2 + 1));
    EXPECT_FALSE(BakeEngine::BakeRows({MapKind(9), 8, 8}, 0, 1, band.data()));
    EXPECT_TRUE(std::all_of(band.begin(), band.end(), [](std::uint32_t p) { return p == 7u; }));
    // Nothing to bake is no failure.
    EXPECT_TRUE(BakeEngine::BakeRows(map, 8, 0, nullptr));
    EXPECT_TRUE(BakeEngine::BakeRows({MapKind::Normal, 0, 5}, 0, 5, nullptr));
}

}  // namespace
