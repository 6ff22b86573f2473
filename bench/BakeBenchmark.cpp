// Each bake against the floor: creating a map the way a bake does (width x height zero pixels)
// and storing one constant in every pixel. Nothing that writes every pixel can beat the floor,
// so each bake is reported as a ratio to the floor of its size, measured in the same run.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

#include <morvane/BakeEngine.h>

using Morvane::BakeEngine;
using Morvane::TextureMap;

namespace {

template <typename Bake>
void Run(benchmark::State& state, Bake bake) {
    const auto size = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state) {
        TextureMap map = bake(size);
        benchmark::DoNotOptimize(map.pixels.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * size * size * 4);
}

void Floor(benchmark::State& state) {
    Run(state, [](std::int32_t size) {
        TextureMap map{size, size,
                       std::vector<std::uint32_t>(static_cast<std::size_t>(size) * size)};
        benchmark::DoNotOptimize(map.pixels.data());
        std::fill(map.pixels.begin(), map.pixels.end(), 0xFF7F7F7Fu);
        return map;
    });
}
void AmbientOcclusion(benchmark::State& state) {
    Run(state, [](std::int32_t size) { return BakeEngine::BakeAmbientOcclusion(size, size, 64); });
}
void Normal(benchmark::State& state) {
    Run(state, [](std::int32_t size) { return BakeEngine::BakeNormalMap(size, size, 2.5f); });
}
void Curvature(benchmark::State& state) {
    Run(state, [](std::int32_t size) { return BakeEngine::BakeCurvature(size, size); });
}
void MaterialId(benchmark::State& state) {
    Run(state, [](std::int32_t size) { return BakeEngine::BakeMaterialID(size, size); });
}

// A whole normal map (width x height from the arguments) into the caller's storage with one
// call: rows packed, or pitched as a GPU staging buffer lays them out (each row rounded up to
// 64 pixels, 256 bytes, plus 64 more).
template <bool pitched>
void Rows(benchmark::State& state) {
    const auto width = static_cast<std::int32_t>(state.range(0));
    const auto height = static_cast<std::int32_t>(state.range(1));
    const std::size_t stride = pitched ? (static_cast<std::size_t>(width) + 63) / 64 * 64 + 64
                                       : static_cast<std::size_t>(width);
    std::vector<std::uint32_t> storage(stride * static_cast<std::size_t>(height));
    const Morvane::MapRequest normal{Morvane::MapKind::Normal, width, height, 2.5f};
    for (auto _ : state) {
        BakeEngine::BakeRows(normal, 0, height, storage.data(), stride);
        benchmark::DoNotOptimize(storage.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * width * height * 4);
}
void PackedRows(benchmark::State& state) {
    Rows<false>(state);
}
void PitchedRows(benchmark::State& state) {
    Rows<true>(state);
}

BENCHMARK(Floor)->Arg(256)->Arg(4096);
BENCHMARK(AmbientOcclusion)->Arg(256)->Arg(4096);
BENCHMARK(Normal)->Arg(256)->Arg(4096);
BENCHMARK(Curvature)->Arg(256)->Arg(4096);
BENCHMARK(MaterialId)->Arg(256)->Arg(4096);
BENCHMARK(PackedRows)->Args({4096, 4096})->Args({1000, 4096});
BENCHMARK(PitchedRows)->Args({4096, 4096})->Args({1000, 4096});

// Prints the usual table, then each bake's time as a ratio to the floor of its size.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                times_[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-28s %10s\n", "bake", "x floor");
        for (const auto& [name, time] : times_) {
            const std::string size = name.substr(name.find('/'));
            const auto floor = times_.find("Floor" + size);
            if (floor != times_.end() && name.rfind("Floor", 0) != 0) {
                std::printf("%-28s %10.2f\n", name.c_str(), time / floor->second);
            }
        }
        std::printf("\n%-28s %10s\n", "pitched rows", "x packed");
        for (const auto& [name, time] : times_) {
            const auto packed = times_.find("PackedRows" + name.substr(name.find('/')));
            if (name.rfind("PitchedRows", 0) == 0 && packed != times_.end()) {
                std::printf("%-28s %10.2f\n", name.c_str(), time / packed->second);
            }
        }
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
