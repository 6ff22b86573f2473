// The four bakes, one band at a time. The whole-map bakes and BakeEngine::BakeRows both call
// these, so each formula has one definition. A band's pixels equal the same rows of the whole
// map, bit for bit: nothing in a band depends on which other rows are baked with it.
#pragma once

#include "MapBand.h"

namespace Morvane {

void BakeAmbientOcclusionBand(const MapBand& band);
void BakeNormalBand(const MapBand& band, float strength);
void BakeCurvatureBand(const MapBand& band);
void BakeMaterialIdBand(const MapBand& band);

// Bakes `band` of the map that `request` describes, which must be a supported size with the
// band inside it. False, writing nothing, when `request.kind` is not one of the four kinds.
bool BakeBand(const MapRequest& request, const MapBand& band);

}  // namespace Morvane
