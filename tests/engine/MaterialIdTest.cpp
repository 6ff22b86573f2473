#include <gtest/gtest.h>

#include <morvane/BakeEngine.h>
#include "Pixels.h"

using Morvane::BakeEngine;
using MorvaneTest::At;
using MorvaneTest::CountOf;

namespace {

constexpr std::uint32_t kSurface = 0xFF2020E0u;
constexpr std::uint32_t kDisc = 0xFF20E020u;

TEST(MaterialId, OverlappingAndClippedDiscs) {
    EXPECT_EQ(BakeEngine::BakeMaterialID(1, 1).pixels, std::vector<std::uint32_t>{kDisc});
    for (int size = 1; size <= 50; ++size) {
        EXPECT_EQ(CountOf(BakeEngine::BakeMaterialID(size, size), kDisc), size * size) << size;
    }
    const auto fiftyOne = BakeEngine::BakeMaterialID(51, 51);
    EXPECT_EQ(CountOf(fiftyOne, kSurface), 1);
    EXPECT_EQ(At(fiftyOne, 25, 25), kSurface);

    const auto sixtyFour = BakeEngine::BakeMaterialID(64, 64);
    EXPECT_EQ(CountOf(sixtyFour, kDisc), 3708);
    EXPECT_EQ(CountOf(sixtyFour, kSurface), 388);
    EXPECT_EQ(CountOf(BakeEngine::BakeMaterialID(72, 72), kDisc), 4020);
}

TEST(MaterialId, CentresFollowEachAxis) {
    const auto odd = BakeEngine::BakeMaterialID(255, 255);
    EXPECT_EQ(At(odd, 63, 63), kDisc);
    EXPECT_EQ(At(odd, 63 + 17, 63), kDisc);
    EXPECT_EQ(At(odd, 63 + 18, 63), kSurface);
    EXPECT_EQ(At(odd, 191, 191 - 17), kDisc);
    const auto wide = BakeEngine::BakeMaterialID(256, 128);
    EXPECT_EQ(CountOf(wide, kDisc), 4020);
    EXPECT_EQ(At(wide, 192, 96), kDisc);
    EXPECT_EQ(At(wide, 192, 96 + 18), kSurface);
}

}  // namespace
