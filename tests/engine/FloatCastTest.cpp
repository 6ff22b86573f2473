// The engine compiled with every float-to-integer conversion checked, trapping on the first
// NaN or out-of-range value: converting those is undefined behaviour, which on x86-64 happens
// to give 0 and so hides in every pixel test.

#include <gtest/gtest.h>

#include "EveryBake.h"

namespace {

TEST(FloatToInteger, NoBakeConvertsANaNOrAnOutOfRangeValue) {
    for (const float strength : MorvaneTest::kSpecialStrengths) {
        for (const auto& [name, kind] : MorvaneTest::kEveryBake) {
            const auto map = MorvaneTest::BakeWhole({kind, 70, 90, strength});
            EXPECT_EQ(map.pixels.size(), 70u * 90u) << name << ", strength " << strength;
        }
    }
}

}  // namespace
