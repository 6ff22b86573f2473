// The four maps, listed once for every test that goes through all of them.
#pragma once

#include <cfloat>
#include <limits>

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

// Strengths at the edges of what a float holds, and the usual ones: for tests that the normal
// map gives defined pixels whatever its strength.
inline constexpr float kSpecialStrengths[] = {0.0f,
                                              -0.0f,
                                              std::numeric_limits<float>::quiet_NaN(),
                                              std::numeric_limits<float>::infinity(),
                                              -std::numeric_limits<float>::infinity(),
                                              std::numeric_limits<float>::denorm_min(),
                                              FLT_MIN,
                                              1e-30f,
                                              1e30f,
                                              FLT_MAX,
                                              -FLT_MAX,
                                              1000000.0f,
                                              2.5f,
                                              -2.5f};

// The whole-map bake that `request` describes (ambient occlusion with 64 rays).
Morvane::TextureMap BakeWhole(const Morvane::MapRequest& request);

}  // namespace MorvaneTest
