// The 256 x 256 file of every bake, pinned byte for byte by its known digest.

#include <gtest/gtest.h>

#include "Digest.h"
#include "EveryBake.h"
#include "Files.h"
#include "KnownDigests.h"

using Morvane::MapKind;

namespace {

TEST(Digests, EveryBakesFileOf256MatchesItsDigest) {
    const std::pair<MapKind, const char*> digests[] = {
        {MapKind::AmbientOcclusion, MorvaneTest::kAmbientOcclusionDigest},
        {MapKind::Normal, MorvaneTest::kNormalDigest},
        {MapKind::Curvature, MorvaneTest::kCurvatureDigest},
        {MapKind::MaterialID, MorvaneTest::kMaterialIdDigest},
    };
    for (const auto& [kind, digest] : digests) {
        const std::string file = MorvaneTest::PpmBytes(MorvaneTest::BakeWhole({kind, 256, 256}));
        EXPECT_EQ(MorvaneTest::Sha256Hex(file), digest) << static_cast<int>(kind);
        if (kind == MapKind::Normal) {
            EXPECT_EQ(MorvaneTest::Sha256Hex(file.substr(15)), MorvaneTest::kNormalPixelsDigest);
        }
    }
}

}  // namespace
