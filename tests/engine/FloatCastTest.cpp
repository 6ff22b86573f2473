// The engine compiled with every float-to-integer conversion checked, trapping on the first
// NaN or out-of-range value: converting those is undefined behaviour, which on x86-64 happens
// to give 0 and so hides in every pixel test.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "EveryBake.h"

namespace {

TEST(FloatToInteger, NoBakeConvertsANaNOrAnOutOfRangeValue) {
    const float strengths[] = {0.0f,
                               -0.0f,
                               std::numeric_limits<float>::quiet_NaN(),
                               std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::infinity(),
                               std::numeric_limits<float>::denorm_min(),
                               std::numeric_limits<float>::max(),
                               1e-30f,
                               -2.5f};
    for (const float strength : strengths) {
        for (const auto& [name, kind] : MorvaneTest::kEveryBake) {
            const auto map = MorvaneTest::BakeWhole({kind, 70, 90, strength});
            EXPECT_EQ(map.pixels.size(), 70u * 90u) << name << ", strength " << strength;
        }
    }
}

}  // namespace
