#include "MapCommands.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <string>

#include <morvane/BakeEngine.h>
#include "Diagnostics.h"
#include "ExitStatus.h"

using Morvane::BakeEngine;
using Morvane::TextureMap;

struct SingleMapCommand {
    const char* name;
    const char* resultLine;
    TextureMap (*bake)();
};

namespace {

// The command line always bakes at this size, with these parameters.
constexpr std::int32_t kMapSize = 256;
constexpr std::int32_t kAmbientOcclusionRays = 64;
constexpr float kNormalStrength = 2.5f;

TextureMap BakeAmbientOcclusion() {
    return BakeEngine::BakeAmbientOcclusion(kMapSize, kMapSize, kAmbientOcclusionRays);
}
TextureMap BakeNormal() {
    return BakeEngine::BakeNormalMap(kMapSize, kMapSize, kNormalStrength);
}
TextureMap BakeCurvature() {
    return BakeEngine::BakeCurvature(kMapSize, kMapSize);
}
TextureMap BakeMaterialId() {
    return BakeEngine::BakeMaterialID(kMapSize, kMapSize);
}

// Writes one map and reports a failure on standard error.
bool WriteMap(const std::string& path, const TextureMap& map) {
    if (BakeEngine::SavePpm(path, map)) {
        return true;
    }
    ReportWriteFailure(path, errno);
    return false;
}

void PrintResult(const char* resultLine, const char* subject, const char* ending,
                 std::FILE* stream = stdout) {
    std::fputs(resultLine, stream);
    std::fputs(subject, stream);
    std::fputs(ending, stream);
}

constexpr std::array<SingleMapCommand, 3> kSingleMapCommands{{
    {"--bake-ao", "SUCCESS: Baked AO map to ", BakeAmbientOcclusion},
    {"--bake-normal", "SUCCESS: Baked normal map to ", BakeNormal},
    {"--bake-curv", "SUCCESS: Baked curvature map to ", BakeCurvature},
}};

struct SetMember {
    const char* suffix;
    TextureMap (*bake)();
};

constexpr std::array<SetMember, 4> kFullSet{{
    {"_ao.ppm", BakeAmbientOcclusion},
    {"_normal.ppm", BakeNormal},
    {"_curvature.ppm", BakeCurvature},
    {"_id.ppm", BakeMaterialId},
}};

}  // namespace

const SingleMapCommand* FindSingleMapCommand(std::string_view name) {
    for (const SingleMapCommand& command : kSingleMapCommands) {
        if (name == command.name) {
            return &command;
        }
    }
    return nullptr;
}

int RunSingleMapCommand(const SingleMapCommand& command, const char* path) {
    const TextureMap map = command.bake();
    if (!WriteMap(path, map)) {
        return kExitFailure;
    }
    // A map written to standard output keeps that stream for the image alone.
    const bool mapOnStandardOutput = BakeEngine::OutputDescriptor(path) == 1;
    PrintResult(command.resultLine, path, "\n", mapOnStandardOutput ? stderr : stdout);
    return kExitSuccess;
}

int RunFullSetCommand(const char* prefix) {
    // Every map is baked before any file is written, so running out of memory writes nothing.
    std::array<TextureMap, kFullSet.size()> maps;
    for (std::size_t i = 0; i < kFullSet.size(); ++i) {
        maps[i] = kFullSet[i].bake();
    }
    bool allWritten = true;
    for (std::size_t i = 0; i < kFullSet.size(); ++i) {
        allWritten = WriteMap(std::string(prefix) + kFullSet[i].suffix, maps[i]) && allWritten;
    }
    if (!allWritten) {
        return kExitFailure;
    }
    PrintResult("SUCCESS: Baked complete 4-channel PBR texture set to ", prefix, "_*.ppm\n");
    return kExitSuccess;
}
