#pragma once
// The texts the window builds from numbers and values of the view model. Pure functions,
// so every rounding and format rule is tested without drawing.
#include <cstdint>
#include <string>

#include "MarblewickCreatorStudio/VelCinemaLensMMV950.h"
#include "MarblewickLookDevKit/LookDevSceneState.h"
#include "MarblewickLookDevKit/PBRMaterialParameters.h"
#include "MarblewickLookDevKit/StudioAssetItem.h"

namespace kestrelune {

// The frame-rate chip: the rate rounded half away from zero, "60 FPS"; "-- FPS" when the
// rate is not a finite number.
std::string framesPerSecondText(double fps);
// "12,345 tris": digit grouping, as the status banner groups its counts.
std::string triangleCountText(int64_t triangles);
// "1200 meshlets": never grouped.
std::string meshletCountText(int64_t meshlets);
// The lens chip: the focal length as a whole number, "50mm".
std::string lensChipText(creator::VelCinemaLensMMV950 lens);
// The map strip's readout: "1024² · 12.3 ms GPU".
std::string mapReadoutText(int64_t resolution, double synthesisMs);
// The map strip's title: the photo's name for a forged material, else the preset's title.
std::string mapStripTitle(const lookdev::PBRMaterialParameters& params);
// The top bar's label of a shading mode.
std::string shadingModeLabel(lookdev::ViewportShadingMode mode);
// The symbol of an asset row by where its mesh comes from.
std::string assetKindSymbol(const lookdev::StudioAssetItem::SourceKind& kind);

}  // namespace kestrelune
