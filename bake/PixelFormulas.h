// Each bake's value at one pixel, from the bake layout alone. Each is defined once, in its
// bake's source file: the fast fills evaluate it only where a pixel is not already known, and
// the tests' reference bakes evaluate it at every pixel.
#pragma once

#include <cstdint>

#include "BakeLayout.h"

namespace Morvane {

std::uint32_t OcclusionPixel(std::int32_t x, std::int32_t y, std::int32_t width,
                             std::int32_t height, const Layout::DiscCentres& centres);

// What every pixel of one normal map shares.
struct NormalSettings {
    std::int32_t width;
    std::int32_t height;
    Layout::DiscCentres centres;
    float z;   // height component before normalisation
    float z2;  // z * z
};
NormalSettings MakeNormalSettings(std::int32_t width, std::int32_t height, float strength);
std::uint32_t NormalPixel(std::int32_t x, std::int32_t y, const NormalSettings& settings);

std::uint32_t CurvaturePixel(std::int32_t edgeDistance);

std::uint32_t MaterialPixel(std::int32_t x, std::int32_t y, const Layout::DiscCentres& centres);

}  // namespace Morvane
