// Sizes: which ones the engine supports, and those every bake must handle without computing
// anything (zero and unsupported sizes).

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>

#include <morvane/BakeEngine.h>
#include "EveryBake.h"
#include "MapStorage.h"

using Morvane::TextureMap;

namespace {

// Every bake of a width x height map, by name.
std::vector<std::pair<const char*, std::function<TextureMap(std::int32_t, std::int32_t)>>>
AllBakes() {
    std::vector<std::pair<const char*, std::function<TextureMap(std::int32_t, std::int32_t)>>>
        bakes;
    for (const auto& [name, kind] : MorvaneTest::kEveryBake) {
        bakes.emplace_back(name, [kind = kind](std::int32_t w, std::int32_t h) {
            return MorvaneTest::BakeWhole({kind, w, h, 2.5f});
        });
    }
    return bakes;
}

TEST(MapSize, ZeroSizeKeepsItsSizesAndHasNoPixels) {
    for (const auto& [name, bake] : AllBakes()) {
        for (const auto& [w, h] :
             std::vector<std::pair<int, int>>{{0, 0}, {0, 7}, {9, 0}, {0, INT32_MAX}}) {
            const TextureMap map = bake(w, h);
            EXPECT_EQ(map.width, w) << name;
            EXPECT_EQ(map.height, h) << name;
            EXPECT_TRUE(map.pixels.empty()) << name;
        }
    }
}

TEST(MapSize, UnsupportedSizesGiveAnEmptyMap) {
    const std::vector<std::pair<int, int>> sizes = {{-1, 5},
                                                    {5, -1},
                                                    {-3, -3},
                                                    {INT32_MIN, 1},
                                                    {0, -1},
                                                    {65536, 32768},
                                                    {46341, 46341},
                                                    {INT32_MAX, INT32_MAX},
                                                    {INT32_MIN, INT32_MIN}};
    for (const auto& [name, bake] : AllBakes()) {
        for (const auto& [w, h] : sizes) {
            const TextureMap map = bake(w, h);
            EXPECT_EQ(map.width, 0) << name << " " << w << " x " << h;
            EXPECT_EQ(map.height, 0) << name << " " << w << " x " << h;
            EXPECT_TRUE(map.pixels.empty()) << name;
        }
    }
}

TEST(MapSize, EveryBakeFillsOddSizesWithOpaquePixels) {
    for (const auto& [name, bake] : AllBakes()) {
        for (const auto& [w, h] : std::vector<std::pair<int, int>>{
                 {1, 1}, {3, 5}, {20, 7}, {99, 101}, {1, 300}, {300, 1}}) {
            const TextureMap map = bake(w, h);
            ASSERT_EQ(map.pixels.size(), static_cast<std::size_t>(w) * h) << name;
            for (const std::uint32_t pixel : map.pixels) {
                ASSERT_EQ(pixel >> 24, 0xFFu) << name << " " << w << " x " << h;
            }
        }
    }
}

TEST(MapStorage, SupportedSizesAreNonNegativeWithAProductThatFits) {
    EXPECT_TRUE(Morvane::IsSupportedSize(0, 0));
    EXPECT_TRUE(Morvane::IsSupportedSize(0, INT32_MAX));
    EXPECT_TRUE(Morvane::IsSupportedSize(1, INT32_MAX));
    EXPECT_TRUE(Morvane::IsSupportedSize(46340, 46341));   // 2,147,441,940
    EXPECT_FALSE(Morvane::IsSupportedSize(46341, 46341));  // 2,147,488,281
    EXPECT_FALSE(Morvane::IsSupportedSize(2, 1073741824));
    EXPECT_FALSE(Morvane::IsSupportedSize(-1, 5));
    EXPECT_FALSE(Morvane::IsSupportedSize(5, -1));
    EXPECT_FALSE(Morvane::IsSupportedSize(INT32_MIN, INT32_MIN));
}

}  // namespace
