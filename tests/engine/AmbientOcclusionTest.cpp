#include <gtest/gtest.h>

#include <morvane/BakeEngine.h>
#include "Pixels.h"

using Morvane::BakeEngine;
using MorvaneTest::At;

namespace {

const Morvane::TextureMap& Map256() {
    static const Morvane::TextureMap map = BakeEngine::BakeAmbientOcclusion(256, 256, 64);
    return map;
}

TEST(AmbientOcclusion, BorderRampRisesSixLevelsAPixel) {
    const auto& map = Map256();
    EXPECT_EQ(At(map, 0, 0), 0xFF333333u);
    EXPECT_EQ(At(map, 8, 128), 0xFF333333u);
    EXPECT_EQ(At(map, 9, 100), 0xFF353535u);
    EXPECT_EQ(At(map, 10, 128), 0xFF3B3B3Bu);
    EXPECT_EQ(At(map, 42, 128), 0xFFFBFBFBu);
    EXPECT_EQ(At(map, 43, 128), 0xFFFFFFFFu);
    EXPECT_EQ(At(map, 213, 128), 0xFFFBFBFBu);
    EXPECT_EQ(At(map, 212, 128), 0xFFFFFFFFu);
    EXPECT_EQ(At(map, 128, 128), 0xFFFFFFFFu);
}

TEST(AmbientOcclusion, DiscsDarkenTowardsTheirCentresWithAStrictRadius) {
    const auto& map = Map256();
    for (const auto& [x, y] : {std::pair{64, 64}, {64, 192}, {192, 64}, {192, 192}}) {
        EXPECT_EQ(At(map, x, y), 0xFF4C4C4Cu) << x << ", " << y;
    }
    EXPECT_EQ(At(map, 69, 64), 0xFF4C4C4Cu);
    EXPECT_EQ(At(map, 70, 64), 0xFF555555u);
    EXPECT_EQ(At(map, 73, 64), 0xFF7F7F7Fu);
    EXPECT_EQ(At(map, 64, 73), 0xFF7F7F7Fu);
    EXPECT_EQ(At(map, 81, 64), 0xFFF0F0F0u);
    EXPECT_EQ(At(map, 82, 64), 0xFFFFFFFFu);
    EXPECT_EQ(At(map, 46, 64), 0xFFFFFFFFu);
}

TEST(AmbientOcclusion, RayCountIsIgnored) {
    EXPECT_EQ(BakeEngine::BakeAmbientOcclusion(256, 256, 0).pixels, Map256().pixels);
    EXPECT_EQ(BakeEngine::BakeAmbientOcclusion(256, 256, -5).pixels, Map256().pixels);
}

TEST(AmbientOcclusion, SmallMapsMeetTheDiscsAndTheRamp) {
    EXPECT_EQ(BakeEngine::BakeAmbientOcclusion(1, 1, 64).pixels,
              std::vector<std::uint32_t>{0xFF333333u});
    const auto small = BakeEngine::BakeAmbientOcclusion(3, 5, 64);
    EXPECT_EQ(At(small, 1, 1), 0xFF4C4C4Cu);  // the ramp gives 1.0, a disc lowers it to 0.3
    EXPECT_EQ(At(small, 0, 1), 0xFF333333u);  // the ramp's 0.2 is darker than the disc
}

TEST(AmbientOcclusion, RampFollowsTheWidthOnly) {
    EXPECT_EQ(At(BakeEngine::BakeAmbientOcclusion(512, 128, 64), 256, 20), 0xFF3B3B3Bu);
    const auto tall = BakeEngine::BakeAmbientOcclusion(128, 512, 64);
    EXPECT_EQ(At(tall, 64, 20), 0xFFEFEFEFu);
    EXPECT_EQ(At(tall, 20, 256), 0xFFEFEFEFu);
}

}  // namespace
