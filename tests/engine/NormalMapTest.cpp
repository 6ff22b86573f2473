#include <gtest/gtest.h>

#include <morvane/BakeEngine.h>
#include <cmath>
#include <limits>
#include "Digest.h"
#include "Files.h"
#include "Pixels.h"

using Morvane::BakeEngine;
using MorvaneTest::At;

namespace {

const Morvane::TextureMap& Map256() {
    static const Morvane::TextureMap map = BakeEngine::BakeNormalMap(256, 256, 2.5f);
    return map;
}

TEST(NormalMap, SinglePixelIsADiscCentreInBothNearBands) {
    EXPECT_EQ(BakeEngine::BakeNormalMap(1, 1, 2.5f).pixels,
              std::vector<std::uint32_t>{0xFFA2D6D6u});
}

TEST(NormalMap, OverlappingRimBandsTakeTheNearTerm) {
    // A 20-column map: columns 0-11 carry the left term, 12-19 the right term. Row 100 of a
    // 200-row map is far from the discs, so each column matches the 256 map's column with the
    // same term.
    const auto narrow = BakeEngine::BakeNormalMap(20, 200, 2.5f);
    for (int x = 0; x < 12; ++x) {
        EXPECT_EQ(At(narrow, x, 100), At(Map256(), x, 100)) << x;
    }
    for (int x = 12; x < 20; ++x) {
        EXPECT_EQ(At(narrow, x, 100), At(Map256(), x + 236, 100)) << x;
    }
}

// Fused multiply-adds leave the 256 x 256 map at strength 2.5 unchanged but move these pixels
// and maps: they catch a build that fuses (GCC does by default on some targets).
TEST(NormalMap, PinsPixelsThatFusedMultiplyAddsWouldChange) {
    const auto steep = BakeEngine::BakeNormalMap(256, 256, 1000000.0f);
    EXPECT_EQ(At(steep, 61, 60), 0xFF7F1933u);
    EXPECT_EQ(At(steep, 67, 60), 0xFF7F19CBu);
    EXPECT_EQ(At(steep, 189, 60), 0xFF7F1933u);
    const auto odd = BakeEngine::BakeNormalMap(99, 101, 10000.0f);
    EXPECT_EQ(At(odd, 16, 19), 0xFF7F3219u);
    EXPECT_EQ(At(odd, 32, 19), 0xFF7F32E5u);
    const std::pair<Morvane::TextureMap, const char*> maps[] = {
        {steep, "e7933bc4e7f28ff82f5e0a157c2203ad1f77f2afa36359eebd9f148d67d568fe"},
        {odd, "0fa71669ab170195c28bded17fd190483c6d18413596600cca29bf84e6e02268"},
        {BakeEngine::BakeNormalMap(64, 64, 300000.0f),
         "129c8f8b447302ea0b23a9d9dc1791f81d21bd60566b3555d7d472e8710e8663"},
    };
    for (const auto& [map, digest] : maps) {
        EXPECT_EQ(MorvaneTest::Sha256Hex(MorvaneTest::PpmBytes(map)), digest)
            << map.width << " x " << map.height;
    }
}

TEST(NormalMap, UnusualStrengthsGiveDefinedPixels) {
    const auto negative = BakeEngine::BakeNormalMap(256, 256, -2.5f);
    EXPECT_EQ(At(negative, 100, 100), 0xFF007F7Fu);
    EXPECT_EQ(At(negative, 0, 0), 0xFF5CD6D6u);

    const auto steep = BakeEngine::BakeNormalMap(256, 256, 1000000.0f);
    EXPECT_EQ(At(steep, 100, 100), 0xFF7F7F7Fu);  // too short to normalise
    EXPECT_EQ(At(steep, 74, 64), 0xFF7F7FFFu);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // Strength 0 or NaN: the height component is not a number and encodes as 0.
    for (const float strength : {0.0f, -0.0f, nan}) {
        const auto map = BakeEngine::BakeNormalMap(64, 64, strength);
        EXPECT_EQ(At(map, 32, 32), 0xFF007F7Fu) << strength;
        for (const std::uint32_t pixel : map.pixels) {
            ASSERT_EQ(pixel & 0xFFFF0000u, 0xFF000000u) << strength;
        }
    }
    // Strength +/-infinity: a zero height component, so flat pixels stay unnormalised.
    for (const float strength : {inf, -inf}) {
        const auto map = BakeEngine::BakeNormalMap(64, 64, strength);
        EXPECT_EQ(At(map, 32, 32), 0xFF7F7F7Fu) << strength;
    }
}

}  // namespace
