// The bakes take shortcuts where a pixel's value is already known; every shortcut must give
// exactly the pixels of evaluating the formula at every pixel.

#include <gtest/gtest.h>

#include <morvane/BakeEngine.h>
#include "EveryBake.h"
#include "ReferenceBakes.h"

namespace Reference = Morvane::Reference;

namespace {

void ExpectSameAsReference(int width, int height) {
    SCOPED_TRACE(testing::Message() << width << " x " << height);
    for (const auto& [name, kind] : MorvaneTest::kEveryBake) {
        const bool hasStrength = kind == Morvane::MapKind::Normal;
        for (const float strength : {2.5f, -2.5f, 0.3f, 1000000.0f}) {
            const Morvane::MapRequest request{kind, width, height, strength};
            ASSERT_EQ(MorvaneTest::BakeWhole(request).pixels, Reference::Bake(request).pixels)
                << name << ", strength " << strength;
            if (!hasStrength) {
                break;
            }
        }
    }
}

TEST(FastFill, SmallMapsWhereBandsAndDiscsOverlap) {
    for (int height = 1; height <= 48; ++height) {
        for (int width = 1; width <= 48; ++width) {
            ExpectSameAsReference(width, height);
        }
    }
}

TEST(FastFill, OddAndLopsidedSizes) {
    const std::pair<int, int> sizes[] = {{69, 70},   {71, 72},   {99, 101},  {255, 257},
                                         {256, 256}, {512, 128}, {128, 512}, {23, 300},
                                         {300, 23},  {1, 1000},  {1000, 1},  {2, 777},
                                         {200, 180}, {301, 300}, {160, 170}, {4096, 64}};
    for (const auto& [width, height] : sizes) {
        ExpectSameAsReference(width, height);
    }
}

TEST(FastFill, LargeMapsWhereTheShortcutsSwitchOn) {
    // Discs far enough apart to be copied, and ramps that reach 1.0 before some discs and not
    // others (at 1000 x 736 the lower discs lie one pixel short of where the upper ones do).
    const std::pair<int, int> sizes[] = {{200, 201},  {201, 200},  {1000, 732}, {1000, 736},
                                         {732, 1000}, {2000, 300}, {300, 2000}, {1200, 1200}};
    for (const auto& [width, height] : sizes) {
        ExpectSameAsReference(width, height);
    }
}

}  // namespace
