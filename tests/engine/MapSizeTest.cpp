// Sizes every bake must handle without computing anything: zero and unsupported sizes.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>

#include <morvane/BakeEngine.h>

using Morvane::BakeEngine;
using Morvane::TextureMap;

namespace {

using Bake = std::function<TextureMap(std::int32_t, std::int32_t)>;

std::vector<std::pair<const char*, Bake>> AllBakes() {
    return {
        {"ambient occlusion",
         [](auto w, auto h) { return BakeEngine::BakeAmbientOcclusion(w, h, 64); }},
        {"normal", [](auto w, auto h) { return BakeEngine::BakeNormalMap(w, h, 2.5f); }},
        {"curvature", [](auto w, auto h) { return BakeEngine::BakeCurvature(w, h); }},
        {"material ID", [](auto w, auto h) { return BakeEngine::BakeMaterialID(w, h); }},
    };
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

}  // namespace
