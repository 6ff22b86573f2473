#include "EveryBake.h"

namespace MorvaneTest {

Morvane::TextureMap BakeWhole(const Morvane::MapRequest& request) {
    using Morvane::BakeEngine;
    switch (request.kind) {
        case Morvane::MapKind::AmbientOcclusion:
            return BakeEngine::BakeAmbientOcclusion(request.width, request.height, 64);
        case Morvane::MapKind::Normal:
            return BakeEngine::BakeNormalMap(request.width, request.height, request.strength);
        case Morvane::MapKind::Curvature:
            return BakeEngine::BakeCurvature(request.width, request.height);
        case Morvane::MapKind::MaterialID:
            return BakeEngine::BakeMaterialID(request.width, request.height);
    }
    return {};
}

}  // namespace MorvaneTest
