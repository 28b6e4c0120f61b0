#include "PlatformKit/ModelImport/Triangulate.h"

#include <cmath>

namespace pk::modelimport {

namespace {

void fan(std::span<const uint32_t> polygon, std::vector<uint32_t>& out) {
    for (size_t i = 1; i + 1 < polygon.size(); ++i) out.insert(out.end(), {polygon[0], polygon[i], polygon[i + 1]});
}

double cross(const glm::dvec2& a, const glm::dvec2& b, const glm::dvec2& c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

bool insideOrOn(const glm::dvec2& p, const glm::dvec2& a, const glm::dvec2& b, const glm::dvec2& c) {
    return cross(a, b, p) >= 0 && cross(b, c, p) >= 0 && cross(c, a, p) >= 0;
}

}  // namespace

void triangulatePolygon(std::span<const uint32_t> polygon, std::span<const pk::float3> positions,
                        std::vector<uint32_t>& out) {
    const size_t n = polygon.size();
    if (n < 3) return;
    if (n == 3 || n > kMaxClippedCorners) return fan(polygon, out);

    // The polygon's plane (Newell's normal) and its outline in that plane, turning
    // counter-clockwise about the normal.
    glm::dvec3 normal(0.0);
    for (size_t i = 0; i < n; ++i) {
        const glm::dvec3 a(positions[polygon[i]]), b(positions[polygon[(i + 1) % n]]);
        normal += glm::dvec3((a.y - b.y) * (a.z + b.z), (a.z - b.z) * (a.x + b.x), (a.x - b.x) * (a.y + b.y));
    }
    const glm::dvec3 mag = glm::abs(normal);
    const int axis = mag.x >= mag.y && mag.x >= mag.z ? 0 : mag.y >= mag.z ? 1 : 2;
    if (!(mag[axis] > 0)) return fan(polygon, out);  // no area: any split will do
    const int u = (axis + 1) % 3, v = (axis + 2) % 3;
    const bool flip = normal[axis] < 0;
    std::vector<glm::dvec2> p(n);
    for (size_t i = 0; i < n; ++i) {
        const pk::float3& q = positions[polygon[i]];
        p[i] = flip ? glm::dvec2(q[v], q[u]) : glm::dvec2(q[u], q[v]);
    }

    bool convex = true;
    for (size_t i = 0; i < n && convex; ++i) convex = cross(p[i], p[(i + 1) % n], p[(i + 2) % n]) >= 0;
    if (convex) return fan(polygon, out);

    // Ear clipping over a ring of the remaining corners.
    std::vector<size_t> next(n), prev(n);
    for (size_t i = 0; i < n; ++i) {
        next[i] = (i + 1) % n;
        prev[i] = (i + n - 1) % n;
    }
    size_t remaining = n, at = 0, sinceLastEar = 0;
    while (remaining > 3) {
        const size_t a = prev[at], b = at, c = next[at];
        bool ear = cross(p[a], p[b], p[c]) > 0;
        for (size_t k = next[c]; ear && k != a; k = next[k]) {
            // Only a corner that is not convex can reach into the ear.
            if (cross(p[prev[k]], p[k], p[next[k]]) > 0) continue;
            if (p[k] == p[a] || p[k] == p[b] || p[k] == p[c]) continue;
            ear = !insideOrOn(p[k], p[a], p[b], p[c]);
        }
        if (ear) {
            out.insert(out.end(), {polygon[a], polygon[b], polygon[c]});
            next[a] = c;
            prev[c] = a;
            --remaining;
            at = c;
            sinceLastEar = 0;
            continue;
        }
        at = c;
        if (++sinceLastEar > remaining) {
            // Crossing edges leave no ear: fan what is left.
            std::vector<uint32_t> rest;
            for (size_t k = 0, i = at; k < remaining; ++k, i = next[i]) rest.push_back(polygon[i]);
            return fan(rest, out);
        }
    }
    out.insert(out.end(), {polygon[prev[at]], polygon[at], polygon[next[at]]});
}

}  // namespace pk::modelimport
