#include <gtest/gtest.h>

#include <climits>

#include "BakeLayout.h"

namespace Layout = Morvane::Layout;

namespace {

void ExpectCentres(int width, int height, Layout::DiscCentres expected) {
    const Layout::DiscCentres centres = Layout::FeatureDiscCentres(width, height);
    for (std::size_t i = 0; i < centres.size(); ++i) {
        EXPECT_EQ(centres[i].x, expected[i].x) << width << " x " << height << " disc " << i;
        EXPECT_EQ(centres[i].y, expected[i].y) << width << " x " << height << " disc " << i;
    }
}

TEST(BakeLayout, DiscCentresSitAtTheQuarterPointsInVisitingOrder) {
    ExpectCentres(256, 256, {{{64, 64}, {64, 192}, {192, 64}, {192, 192}}});
    ExpectCentres(100, 50, {{{25, 12}, {25, 37}, {75, 12}, {75, 37}}});
    ExpectCentres(3, 5, {{{0, 1}, {0, 3}, {2, 1}, {2, 3}}});
    ExpectCentres(1, 1, {{{0, 0}, {0, 0}, {0, 0}, {0, 0}}});
}

TEST(BakeLayout, ThreeQuarterPointDoesNotOverflowForHugeSizes) {
    // Up to 715,827,882 the 32-bit product 3 * size fits and must give the same centre.
    for (const std::int32_t size : {1, 2, 3, 4, 7, 255, 256, 715827881, 715827882}) {
        EXPECT_EQ(Layout::ThreeQuarterPoint(size), (3 * size) >> 2) << size;
    }
    EXPECT_EQ(Layout::ThreeQuarterPoint(715827883), 536870912);
    EXPECT_EQ(Layout::ThreeQuarterPoint(INT32_MAX), 1610612735);
    EXPECT_EQ(Layout::QuarterPoint(INT32_MAX), 536870911);
}

}  // namespace
