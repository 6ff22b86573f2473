// The bake layout: the synthetic surface that every bake samples.
//
// A flat panel the size of the map, measured from its border by the edge distance, with four
// feature discs of radius 18 pixels. Every bake takes these terms from here, so that all maps
// line up pixel for pixel.
#pragma once

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>

// The maps are bit-exact only when every float operation rounds to single precision by itself.
static_assert(FLT_EVAL_METHOD == 0, "float arithmetic must not use wider intermediates");

namespace Morvane::Layout {

inline constexpr float kDiscRadius = 18.0f;

// Distance in whole pixels from (x, y) to the nearest border: 0 on the outermost ring.
constexpr std::int32_t EdgeDistance(std::int32_t x, std::int32_t y, std::int32_t width,
                                    std::int32_t height) {
    return std::min({x, y, width - 1 - x, height - 1 - y});
}

// The quarter and three-quarter points of a size, rounded down. The product 3 * size is formed
// in 64 bits so that sizes above 715,827,882 cannot overflow; below that it equals the 32-bit
// product shifted arithmetically.
constexpr std::int32_t QuarterPoint(std::int32_t size) {
    return size >> 2;
}
constexpr std::int32_t ThreeQuarterPoint(std::int32_t size) {
    return static_cast<std::int32_t>((std::int64_t{3} * size) >> 2);
}

struct DiscCentre {
    std::int32_t x;
    std::int32_t y;
};

// The four disc centres in visiting order: x centre outer, y centre inner. Bakes that
// accumulate over the discs accumulate in this order.
using DiscCentres = std::array<DiscCentre, 4>;

constexpr DiscCentres FeatureDiscCentres(std::int32_t width, std::int32_t height) {
    const std::int32_t x0 = QuarterPoint(width);
    const std::int32_t x1 = ThreeQuarterPoint(width);
    const std::int32_t y0 = QuarterPoint(height);
    const std::int32_t y1 = ThreeQuarterPoint(height);
    return {{{x0, y0}, {x0, y1}, {x1, y0}, {x1, y1}}};
}

// Single-precision distance for the integer offset (dx, dy) from a disc centre: each square and
// the sum rounded by itself, then the correctly rounded square root.
inline float DiscDistance(std::int32_t dx, std::int32_t dy) {
    const float fx = static_cast<float>(dx);
    const float fy = static_cast<float>(dy);
    return std::sqrt((fy * fy) + (fx * fx));
}

// Strict: a pixel exactly 18 pixels from a centre is outside.
inline bool IsInsideDisc(float discDistance) {
    return discDistance < kDiscRadius;
}

// A disc can hold a pixel only if the pixel is at most 17 pixels from its centre along each
// axis: an offset of 18 or more gives a disc distance of at least 18 however the squares round.
inline constexpr std::int32_t kDiscReach = 17;

constexpr bool IsWithinReach(std::int32_t dx, std::int32_t dy) {
    return dx >= -kDiscReach && dx <= kDiscReach && dy >= -kDiscReach && dy <= kDiscReach;
}

// A run of positions [begin, end) along one axis.
struct Span {
    std::int32_t begin;
    std::int32_t end;
};

// The positions along an axis of `size` within reach of its quarter or three-quarter point,
// clipped to the map; overlapping runs are merged, leaving the second one empty.
using DiscSpans = std::array<Span, 2>;

constexpr DiscSpans DiscReachSpans(std::int32_t size) {
    const std::int32_t near = QuarterPoint(size);
    const std::int32_t far = ThreeQuarterPoint(size);
    Span first{std::max(0, near - kDiscReach), std::min(size, near + kDiscReach + 1)};
    Span second{std::max(0, far - kDiscReach), std::min(size, far + kDiscReach + 1)};
    if (second.begin <= first.end) {
        first.end = std::max(first.end, second.end);
        second = {0, 0};
    }
    return {first, second};
}

}  // namespace Morvane::Layout
