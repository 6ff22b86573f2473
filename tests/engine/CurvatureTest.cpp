#include <gtest/gtest.h>

#include <morvane/BakeEngine.h>
#include "Pixels.h"

using Morvane::BakeEngine;
using MorvaneTest::At;
using MorvaneTest::CountOf;

namespace {

constexpr std::uint32_t kLight = 0xFFE5E5E5u;
constexpr std::uint32_t kDark = 0xFF333333u;
constexpr std::uint32_t kMid = 0xFF7F7F7Fu;

TEST(Curvature, BandsAreSixAndTwelvePixelsFromEveryBorder) {
    const auto map = BakeEngine::BakeCurvature(256, 256);
    const std::vector<std::pair<int, std::uint32_t>> fromNear = {
        {5, kLight}, {6, kDark}, {11, kDark}, {12, kMid}};
    for (const auto& [offset, value] : fromNear) {
        EXPECT_EQ(At(map, offset, 128), value) << "left " << offset;
        EXPECT_EQ(At(map, 255 - offset, 128), value) << "right " << offset;
        EXPECT_EQ(At(map, 128, offset), value) << "top " << offset;
        EXPECT_EQ(At(map, 128, 255 - offset), value) << "bottom " << offset;
        EXPECT_EQ(At(map, offset, offset), value) << "diagonal " << offset;
    }
    EXPECT_EQ(At(map, 64, 64), kMid);  // the discs leave no mark
}

TEST(Curvature, SmallMapsAreMostlyBorder) {
    EXPECT_EQ(BakeEngine::BakeCurvature(1, 1).pixels, std::vector<std::uint32_t>{kLight});
    const auto thirteen = BakeEngine::BakeCurvature(13, 13);
    EXPECT_EQ(CountOf(thirteen, kLight), 168);
    EXPECT_EQ(At(thirteen, 6, 6), kDark);
    const auto map = BakeEngine::BakeCurvature(24, 25);
    EXPECT_EQ(CountOf(map, kLight), 444);
    EXPECT_EQ(CountOf(map, kDark), 156);
    EXPECT_EQ(CountOf(map, kMid), 0);
}

}  // namespace
