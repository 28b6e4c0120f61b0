#pragma once
// The number texts of the inspector: the export progress line, the mesh audit rows and the
// archive receipt rows. C-locale formatting; counts use English digit grouping.
#include <string>
#include <utility>
#include <vector>

#include "MarblewickAssetIO/VelMWPakManifestV1085.h"
#include "MarblewickLookDevKit/StudioAssetItem.h"

namespace kestrelune::inspector {

using ValueRows = std::vector<std::pair<std::string, std::string>>;

// The whole percentage of a progress fraction, truncated toward zero ("99" for 0.999).
// The fraction is clamped to 0...1 first; a non-finite one gives "--".
std::string progressPercent(double fraction);
// `label`, a space, the percentage and "%" ("Encoding Hardware MP4… 2%").
std::string exportProgressText(const std::string& label, double fraction);

// Format, vertices, triangles, meshlets, floor grounding, embedded map, dimensions.
ValueRows auditRows(const lookdev::AssetAuditSummary& audit);

// Packed assets, reduction (compressionReductionText), hash check, streaming rate.
ValueRows archiveReceiptRows(const assetio::VelMWPakStreamReceiptV1085& receipt);

}  // namespace kestrelune::inspector
