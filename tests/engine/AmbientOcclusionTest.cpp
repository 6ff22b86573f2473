#include <gtest/gtest.h>

#include <morvane/BakeEngine.h>
#include "Pixels.h"

using Morvane::BakeEngine;
using MorvaneTest::At;

namespace {

// The 256 x 256 map is pinned by its digest (DigestTest); these are what that size cannot show.
TEST(AmbientOcclusion, RayCountIsIgnored) {
    const auto map = BakeEngine::BakeAmbientOcclusion(256, 256, 64);
    for (const int rays : {0, -5}) {
        EXPECT_EQ(BakeEngine::BakeAmbientOcclusion(256, 256, rays).pixels, map.pixels) << rays;
    }
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
