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

BENCHMARK(Floor)->Arg(256)->Arg(4096);
BENCHMARK(AmbientOcclusion)->Arg(256)->Arg(4096);
BENCHMARK(Normal)->Arg(256)->Arg(4096);
BENCHMARK(Curvature)->Arg(256)->Arg(4096);
BENCHMARK(MaterialId)->Arg(256)->Arg(4096);

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
