// Randomized checks of facts every map must satisfy, stated without the bake formulas.
// Seeded and reproducible: the seed is printed, and MORVANE_TEST_SEED replays a run.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <random>

#include <morvane/BakeEngine.h>
#include "EveryBake.h"
#include "Pixels.h"

using Morvane::BakeEngine;
using Morvane::TextureMap;
using MorvaneTest::At;

namespace {

constexpr int kCases = 10000;

std::uint64_t Seed() {
    const char* text = std::getenv("MORVANE_TEST_SEED");
    return text != nullptr ? std::strtoull(text, nullptr, 10) : 20261208;
}

struct Case {
    int width;
    int height;
    float strength;
};

// Sizes from 0 to a few hundred, with degenerate shapes favoured.
int RandomSize(std::mt19937_64& random) {
    switch (random() % 6) {
        case 0:
            return static_cast<int>(random() % 3);  // 0, 1, 2
        case 1:
            return static_cast<int>(random() % 80);  // discs and bands overlap
        default:
            return static_cast<int>(random() % 400);
    }
}

float RandomStrength(std::mt19937_64& random) {
    const auto& special = MorvaneTest::kSpecialStrengths;
    if (random() % 3 == 0) {
        return special[random() % std::size(special)];
    }
    std::uniform_real_distribution<float> exponent(-8.0f, 8.0f);
    const float magnitude = std::pow(10.0f, exponent(random));
    return random() % 4 == 0 ? -magnitude : magnitude;
}

Case RandomCase(std::mt19937_64& random) {
    Case c{RandomSize(random), RandomSize(random), RandomStrength(random)};
    switch (random() % 8) {  // thin shapes: 1 x N, N x 1, 2 x N
        case 0:
            c.width = 1;
            break;
        case 1:
            c.height = 1;
            break;
        case 2:
            c.width = 2;
            break;
        case 3:
            c.height = c.width;  // square, for the transposition check
            break;
        default:
            break;
    }
    return c;
}

bool HasSizeAndOpaquePixels(const TextureMap& map, const Case& c) {
    if (map.width != c.width || map.height != c.height ||
        map.pixels.size() != static_cast<std::size_t>(c.width) * c.height) {
        return false;
    }
    for (const std::uint32_t pixel : map.pixels) {
        if (pixel >> 24 != 0xFF) {
            return false;
        }
    }
    return true;
}

// Pixels with dx * dx + dy * dy <= 323 from some disc centre, counted with integers alone.
long DiscPixelCount(int width, int height) {
    const long xs[] = {width / 4, (3L * width) / 4};
    const long ys[] = {height / 4, (3L * height) / 4};
    long count = 0;
    for (long y = 0; y < height; ++y) {
        for (long x = 0; x < width; ++x) {
            bool inside = false;
            for (const long cx : xs) {
                for (const long cy : ys) {
                    inside = inside || (x - cx) * (x - cx) + (y - cy) * (y - cy) <= 323;
                }
            }
            count += inside ? 1 : 0;
        }
    }
    return count;
}

long Frame(long width, long height, long band) {
    return std::max(0L, width - 2 * band) * std::max(0L, height - 2 * band);
}

void CheckCase(const Case& c) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << ", strength " << c.strength);
    const TextureMap occlusion = BakeEngine::BakeAmbientOcclusion(c.width, c.height, 64);
    ASSERT_TRUE(HasSizeAndOpaquePixels(occlusion, c));
    for (const std::uint32_t pixel : occlusion.pixels) {
        const std::uint32_t level = pixel & 0xFF;
        ASSERT_EQ(pixel, 0xFF000000u | level * 0x010101u) << "not grey";
        ASSERT_GE(level, 51u);
    }

    const TextureMap curvature = BakeEngine::BakeCurvature(c.width, c.height);
    ASSERT_TRUE(HasSizeAndOpaquePixels(curvature, c));
    const long all = static_cast<long>(c.width) * c.height;
    const long light = MorvaneTest::CountOf(curvature, 0xFFE5E5E5u);
    const long dark = MorvaneTest::CountOf(curvature, 0xFF333333u);
    const long mid = MorvaneTest::CountOf(curvature, 0xFF7F7F7Fu);
    ASSERT_EQ(light + dark + mid, all) << "curvature has other values";
    ASSERT_EQ(light, all - Frame(c.width, c.height, 6));
    ASSERT_EQ(mid, Frame(c.width, c.height, 12));

    const TextureMap material = BakeEngine::BakeMaterialID(c.width, c.height);
    ASSERT_TRUE(HasSizeAndOpaquePixels(material, c));
    const long disc = MorvaneTest::CountOf(material, 0xFF20E020u);
    ASSERT_EQ(disc + MorvaneTest::CountOf(material, 0xFF2020E0u), all)
        << "material ID has other values";
    ASSERT_EQ(disc, DiscPixelCount(c.width, c.height));

    const TextureMap normal = BakeEngine::BakeNormalMap(c.width, c.height, c.strength);
    ASSERT_TRUE(HasSizeAndOpaquePixels(normal, c));
    // Transposing a square map swaps red and green, where at most two discs reach a pixel
    // (squares of 70 or more). Where three overlap, a pixel and its mirror add the same slopes
    // in different orders, and the last bit of the sums, and so now and then a channel, differs.
    if (c.width == c.height && c.width >= 70) {
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < y; ++x) {
                const std::uint32_t p = At(normal, x, y);
                const std::uint32_t q = At(normal, y, x);
                ASSERT_EQ(q, (p & 0xFFFF0000u) | ((p & 0xFF) << 8) | ((p >> 8) & 0xFF))
                    << "not symmetric at (" << x << ", " << y << ")";
            }
        }
    }
}

TEST(Properties, RandomMapsKeepTheirInvariants) {
    const std::uint64_t seed = Seed();
    std::cout << "MORVANE_TEST_SEED=" << seed << " (" << kCases << " cases)" << std::endl;
    RecordProperty("seed", std::to_string(seed));
    std::mt19937_64 random(seed);
    for (int i = 0; i < kCases; ++i) {
        CheckCase(RandomCase(random));
        if (HasFatalFailure()) {
            std::cout << "failed at case " << i << " of seed " << seed << std::endl;
            return;
        }
    }
}

}  // namespace
