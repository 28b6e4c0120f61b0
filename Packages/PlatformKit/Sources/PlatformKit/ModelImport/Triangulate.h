#pragma once
// Polygons of the model readers into triangles that keep the polygon's winding.
#include <cstdint>
#include <span>
#include <vector>

#include "PlatformKit/Math/Math.h"

namespace pk::modelimport {

// Appends the triangles of one polygon (vertex numbers into `positions`, each checked
// by the caller) to `out`: a fan when the polygon is convex in its own plane, else ear
// clipping, so a concave outline is not covered by triangles outside it. Polygons of
// more than kMaxClippedCorners corners, and outlines no ear can be cut from (crossing
// edges), are fanned: the work stays bounded on any input.
inline constexpr size_t kMaxClippedCorners = 128;
void triangulatePolygon(std::span<const uint32_t> polygon, std::span<const pk::float3> positions,
                        std::vector<uint32_t>& out);

}  // namespace pk::modelimport
