// libFuzzer target over the bakes and the PPM writer. The input picks an operation, a size and
// a strength; every result must keep the map invariants, and the writer must either refuse a
// map with errno EINVAL or write exactly its header and pixels.
//
// Input layout: [operation:1] [width:2] [height:2] [strength:4] [pixel bytes...], little endian.

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include <morvane/BakeEngine.h>

using Morvane::BakeEngine;
using Morvane::TextureMap;

namespace {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint32_t Take(int bytes) {
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            value |= static_cast<std::uint32_t>(used_ < size_ ? data_[used_++] : 0) << (8 * i);
        }
        return value;
    }
    std::size_t Left() const { return size_ - used_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t used_ = 0;
};

// Mostly sizes up to a few hundred; values with the top bit set pick an extreme size.
std::int32_t DecodeSize(std::uint32_t raw) {
    const std::int32_t extremes[] = {-1,        -2,    INT32_MIN, INT32_MAX, 46341,
                                     715827883, 65536, 1 << 20,   1 << 30,   0};
    if (raw & 0x8000) {
        return extremes[(raw & 0x7FFF) % (sizeof extremes / sizeof extremes[0])];
    }
    return static_cast<std::int32_t>(raw % 700);
}

void Require(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

bool Supported(std::int32_t width, std::int32_t height) {
    return width >= 0 && height >= 0 && std::int64_t{width} * height <= INT32_MAX;
}

void CheckMap(const TextureMap& map, std::int32_t width, std::int32_t height) {
    if (!Supported(width, height)) {
        Require(map.width == 0 && map.height == 0 && map.pixels.empty());
        return;
    }
    Require(map.width == width && map.height == height);
    Require(map.pixels.size() ==
            static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (const std::uint32_t pixel : map.pixels) {
        Require(pixel >> 24 == 0xFF);
    }
}

const std::string& ScratchFile() {
    static const std::string path = [] {
        char pattern[] = "/tmp/morvane-fuzz-XXXXXX";
        const char* directory = mkdtemp(pattern);
        return std::string(directory != nullptr ? directory : "/tmp") + "/map.ppm";
    }();
    return path;
}

void CheckWriter(std::int32_t width, std::int32_t height, Input& input) {
    TextureMap map{width, height, {}};
    map.pixels.resize(input.Left() / 3);
    for (std::uint32_t& pixel : map.pixels) {
        pixel = input.Take(3) | 0xFF000000u;
    }
    const bool consistent =
        Supported(width, height) && map.pixels.size() == static_cast<std::size_t>(width) * height;
    errno = 0;
    const bool saved = BakeEngine::SavePpm(ScratchFile(), map);
    Require(saved == consistent);
    if (!saved) {
        Require(errno == EINVAL);
        return;
    }
    // The file, byte for byte, against an encoding of its own.
    std::string expected =
        "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    for (const std::uint32_t pixel : map.pixels) {
        expected += {char(pixel), char(pixel >> 8), char(pixel >> 16)};
    }
    std::ifstream file(ScratchFile(), std::ios::binary);
    const std::string written{std::istreambuf_iterator<char>(file), {}};
    Require(written == expected);
    unlink(ScratchFile().c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    const std::uint32_t operation = input.Take(1) % 5;
    const std::int32_t width = DecodeSize(input.Take(2));
    const std::int32_t height = DecodeSize(input.Take(2));
    const std::uint32_t strengthBits = input.Take(4);
    float strength;
    std::memcpy(&strength, &strengthBits, sizeof strength);

    // Huge supported maps are valid but would only measure memory; keep each run small.
    if (Supported(width, height) && std::int64_t{width} * height > (1 << 22)) {
        return 0;
    }
    switch (operation) {
        case 0:
            CheckMap(BakeEngine::BakeAmbientOcclusion(width, height, 64), width, height);
            break;
        case 1:
            CheckMap(BakeEngine::BakeNormalMap(width, height, strength), width, height);
            break;
        case 2:
            CheckMap(BakeEngine::BakeCurvature(width, height), width, height);
            break;
        case 3:
            CheckMap(BakeEngine::BakeMaterialID(width, height), width, height);
            break;
        default:
            CheckWriter(width, height, input);
            break;
    }
    return 0;
}
