#pragma once
// Polygons of the model readers into triangles that keep the polygon's winding; one
// routine for every format, so a face gives the same triangles whatever file holds it.
#include <cstdint>
#include <span>
#include <vector>

#include "PlatformKit/Math/Math.h"

namespace pk::modelimport {

// Appends the triangles of one polygon (vertex numbers into `positions`, each checked
// by the caller) to `out` as corner numbers 0…n-1 of the polygon: triangles and convex
// quads as a fan without allocating, a concave quad split along its other diagonal, and
// larger polygons a fan when convex in their own plane, else ear clipping, so a concave
// outline is not covered by triangles outside it. Polygons of more than
// kMaxClippedCorners corners, and outlines no ear can be cut from (crossing edges), are
// fanned: the work stays bounded on any input.
inline constexpr size_t kMaxClippedCorners = 128;
void triangulateCorners(std::span<const uint32_t> polygon, std::span<const pk::float3> positions,
                        std::vector<uint32_t>& out);

// The same, appending the polygon's vertex numbers rather than its corner numbers.
void triangulatePolygon(std::span<const uint32_t> polygon, std::span<const pk::float3> positions,
                        std::vector<uint32_t>& out);

}  // namespace pk::modelimport
