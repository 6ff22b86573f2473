// Any band of rows of any map, into storage the caller provides.

#include <cstdint>

#include <morvane/BakeEngine.h>
#include "BandBakes.h"
#include "MapStorage.h"

namespace Morvane {

bool BakeEngine::BakeRows(const MapRequest& request, std::int32_t firstRow, std::int32_t rowCount,
                          std::uint32_t* rows) {
    return BakeRows(request, firstRow, rowCount, rows,
                    request.width > 0 ? static_cast<std::size_t>(request.width) : 0);
}

bool BakeEngine::BakeRows(const MapRequest& request, std::int32_t firstRow, std::int32_t rowCount,
                          std::uint32_t* rows, std::size_t rowStride) {
    if (!IsSupportedSize(request.width, request.height) || firstRow < 0 || rowCount < 0 ||
        std::int64_t{firstRow} + rowCount > request.height ||
        rowStride < static_cast<std::size_t>(request.width)) {
        return false;
    }
    if (request.width == 0 || rowCount == 0) {
        return true;
    }
    // The band's last pixel must be addressable: rows + (rowCount - 1) * rowStride + width
    // pixels, counted in bytes from where `rows` lies, must not pass the end of the address space.
    const auto lastRow = static_cast<std::size_t>(rowCount - 1);
    const std::size_t width = static_cast<std::size_t>(request.width);
    const std::size_t addressable =
        (UINTPTR_MAX - reinterpret_cast<std::uintptr_t>(rows)) / sizeof(std::uint32_t);
    if (rows == nullptr || width > addressable ||
        (lastRow != 0 && rowStride > (addressable - width) / lastRow)) {
        return false;
    }
    return BakeBand(request, {request.width, request.height, firstRow, rowCount, rows, rowStride});
}

bool BakeBand(const MapRequest& request, const MapBand& band) {
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
