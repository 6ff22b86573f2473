#include "MapCommands.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include <morvane/BakeEngine.h>
#include "Diagnostics.h"
#include "ExitStatus.h"
#include "QuotePath.h"
#include "SystemText.h"

using Morvane::BakeEngine;
using Morvane::MapKind;
using Morvane::MapRequest;

struct SingleMapCommand {
    const char* name;
    const char* resultLine;
    MapRequest map;
};

namespace {

// The command line always bakes at this size, with this strength; the ray count of the
// ambient occlusion map (64) does not change its pixels.
constexpr std::int32_t kMapSize = 256;
constexpr float kNormalStrength = 2.5f;

constexpr MapRequest kAmbientOcclusion{MapKind::AmbientOcclusion, kMapSize, kMapSize};
constexpr MapRequest kNormal{MapKind::Normal, kMapSize, kMapSize, kNormalStrength};
constexpr MapRequest kCurvature{MapKind::Curvature, kMapSize, kMapSize};
constexpr MapRequest kMaterialId{MapKind::MaterialID, kMapSize, kMapSize};

enum class Written { Yes, No, OutOfMemory };

// Bakes one map band by band into the file through `buffer`, and reports a failure on
// standard error.
Written WriteMap(const std::string& path, const MapRequest& map,
                 std::vector<std::uint32_t>& buffer) {
    if (BakeEngine::SavePpm(path, map, buffer)) {
        return Written::Yes;
    }
    if (errno == ENOMEM) {
        ReportOutOfMemory();
        return Written::OutOfMemory;
    }
    ReportWriteFailure(path, errno);
    return Written::No;
}

void PrintResult(const char* resultLine, const std::string& subject, const char* ending,
                 std::FILE* stream) {
    WriteText(stream, std::string(resultLine) + subject + ending);
}

constexpr std::array<SingleMapCommand, 3> kSingleMapCommands{{
    {"--bake-ao", "SUCCESS: Baked AO map to ", kAmbientOcclusion},
    {"--bake-normal", "SUCCESS: Baked normal map to ", kNormal},
    {"--bake-curv", "SUCCESS: Baked curvature map to ", kCurvature},
}};

// One map of the full set: the suffix of its file's name, and the map to bake.
struct FullSetMap {
    const char* suffix;
    MapRequest map;
};

constexpr std::array<FullSetMap, 4> kFullSet{{
    {"_ao.ppm", kAmbientOcclusion},
    {"_normal.ppm", kNormal},
    {"_curvature.ppm", kCurvature},
    {"_id.ppm", kMaterialId},
}};

// A map written to standard output, however the path names it, keeps that stream for the
// image alone: the result line then goes to standard error.
std::FILE* ResultStream(const std::string& path, std::FILE* stream) {
    return BakeEngine::OutputDescriptor(path) == 1 ? stderr : stream;
}

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
    std::vector<std::uint32_t> buffer;
    if (WriteMap(path, command.map, buffer) != Written::Yes) {
        return kExitFailure;
    }
    PrintResult(command.resultLine, PrintablePath(path), "\n", ResultStream(path, stdout));
    return kExitSuccess;
}

int RunFullSetCommand(const char* prefix) {
    // One buffer for all four maps: the first map allocates it before any file is opened, so
    // running out of memory writes nothing.
    std::vector<std::uint32_t> buffer;
    bool allWritten = true;
    std::FILE* stream = stdout;
    for (const FullSetMap& member : kFullSet) {
        const std::string path = std::string(prefix) + member.suffix;
        const Written written = WriteMap(path, member.map, buffer);
        if (written == Written::OutOfMemory) {
            return kExitFailure;  // the later maps would need the same memory
        }
        allWritten = written == Written::Yes && allWritten;
        stream = ResultStream(path, stream);
    }
    if (!allWritten) {
        return kExitFailure;
    }
    PrintResult("SUCCESS: Baked complete 4-channel PBR texture set to ", PrintablePath(prefix),
                "_*.ppm\n", stream);
    return kExitSuccess;
}
