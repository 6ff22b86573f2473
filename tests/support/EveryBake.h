// The four maps, listed once for every test that goes through all of them.
#pragma once

#include <morvane/BakeEngine.h>

namespace MorvaneTest {

struct BakeKind {
    const char* name;
    Morvane::MapKind kind;
};

inline constexpr BakeKind kEveryBake[] = {
    {"ambient occlusion", Morvane::MapKind::AmbientOcclusion},
    {"normal", Morvane::MapKind::Normal},
    {"curvature", Morvane::MapKind::Curvature},
    {"material ID", Morvane::MapKind::MaterialID},
};

// The whole-map bake that `request` describes (ambient occlusion with 64 rays).
Morvane::TextureMap BakeWhole(const Morvane::MapRequest& request);

}  // namespace MorvaneTest
