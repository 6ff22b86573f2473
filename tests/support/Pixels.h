// Pixel look-ups and counts over a baked map.
#pragma once

#include <cstddef>
#include <cstdint>

#include <morvane/BakeEngine.h>

namespace MorvaneTest {

inline std::uint32_t At(const Morvane::TextureMap& map, int x, int y) {
    return map.pixels.at(static_cast<std::size_t>(y) * static_cast<std::size_t>(map.width) +
                         static_cast<std::size_t>(x));
}

inline int CountOf(const Morvane::TextureMap& map, std::uint32_t value) {
    int count = 0;
    for (const std::uint32_t pixel : map.pixels) {
        count += pixel == value ? 1 : 0;
    }
    return count;
}

}  // namespace MorvaneTest
