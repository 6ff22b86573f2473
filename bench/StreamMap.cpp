// Streams one map of any size to a PPM file through the engine, band by band, as a library user
// would: for measuring the speed and memory of streaming against morvane_write_floor.
// Usage: morvane_stream_map SIZE PATH   (a SIZE x SIZE normal map, strength 2.5)
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <morvane/BakeEngine.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: morvane_stream_map SIZE PATH\n", stderr);
        return 1;
    }
    const auto size = static_cast<std::int32_t>(std::atoi(argv[1]));
    std::vector<std::uint32_t> buffer;
    const Morvane::MapRequest normal{Morvane::MapKind::Normal, size, size, 2.5f};
    if (!Morvane::BakeEngine::SavePpm(argv[2], normal, buffer)) {
        std::perror(argv[2]);
        return 2;
    }
    return 0;
}
