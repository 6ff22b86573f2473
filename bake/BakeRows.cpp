// Any band of rows of any map, into storage the caller provides.

#include <morvane/BakeEngine.h>
#include "BandBakes.h"
#include "MapStorage.h"

namespace Morvane {

bool BakeEngine::BakeRows(const MapRequest& request, std::int32_t firstRow, std::int32_t rowCount,
                          std::uint32_t* rows) {
    if (!IsSupportedSize(request.width, request.height) || firstRow < 0 || rowCount < 0 ||
        std::int64_t{firstRow} + rowCount > request.height) {
        return false;
    }
    if (request.width == 0 || rowCount == 0) {
        return true;
    }
    if (rows == nullptr) {
        return false;
    }
    const MapBand band{request.width, request.height, firstRow, rowCount, rows};
    switch (request.kind) {
        case MapKind::AmbientOcclusion:
            BakeAmbientOcclusionBand(band);
            return true;
        case MapKind::Normal:
            BakeNormalBand(band, request.strength);
            return true;
        case MapKind::Curvature:
            BakeCurvatureBand(band);
            return true;
        case MapKind::MaterialID:
            BakeMaterialIdBand(band);
            return true;
    }
    return false;  // not one of the four kinds
}

}  // namespace Morvane
