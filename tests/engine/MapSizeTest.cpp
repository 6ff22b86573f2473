// Sizes: which ones the engine supports, and those every bake must handle without computing
// anything (zero and unsupported sizes).

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include <morvane/BakeEngine.h>
#include "EveryBake.h"
#include "MapStorage.h"

using Morvane::TextureMap;

namespace {

TEST(MapSize, ZeroSizeKeepsItsSizesAndHasNoPixels) {
    for (const auto& [name, kind] : MorvaneTest::kEveryBake) {
        for (const auto& [w, h] :
             std::vector<std::pair<int, int>>{{0, 0}, {0, 7}, {9, 0}, {0, INT32_MAX}}) {
            const TextureMap map = MorvaneTest::BakeWhole({kind, w, h, 2.5f});
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
    for (const auto& [name, kind] : MorvaneTest::kEveryBake) {
        for (const auto& [w, h] : sizes) {
            const TextureMap map = MorvaneTest::BakeWhole({kind, w, h, 2.5f});
            EXPECT_EQ(map.width, 0) << name << " " << w << " x " << h;
            EXPECT_EQ(map.height, 0) << name << " " << w << " x " << h;
            EXPECT_TRUE(map.pixels.empty()) << name;
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
