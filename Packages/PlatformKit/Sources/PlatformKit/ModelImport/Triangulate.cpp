#include "PlatformKit/ModelImport/Triangulate.h"

#include <cmath>

namespace pk::modelimport {

namespace {

void fan(size_t n, std::vector<uint32_t>& out) {
    for (uint32_t i = 1; i + 1 < n; ++i) out.insert(out.end(), {0u, i, i + 1});
}

double cross(const glm::dvec2& a, const glm::dvec2& b, const glm::dvec2& c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

bool insideOrOn(const glm::dvec2& p, const glm::dvec2& a, const glm::dvec2& b, const glm::dvec2& c) {
    return cross(a, b, p) >= 0 && cross(b, c, p) >= 0 && cross(c, a, p) >= 0;
}

// The polygon's plane (Newell's normal): the axis to drop and whether to mirror, so the
// outline in the other two turns counter-clockwise. False when it has no area.
struct Plane {
    int u = 0, v = 1;
    bool flip = false;
};

bool planeOf(std::span<const uint32_t> polygon, std::span<const pk::float3> positions, Plane& plane) {
    const size_t n = polygon.size();
    glm::dvec3 normal(0.0);
    for (size_t i = 0; i < n; ++i) {
        const glm::dvec3 a(positions[polygon[i]]), b(positions[polygon[(i + 1) % n]]);
        normal += glm::dvec3((a.y - b.y) * (a.z + b.z), (a.z - b.z) * (a.x + b.x), (a.x - b.x) * (a.y + b.y));
    }
    const glm::dvec3 mag = glm::abs(normal);
    const int axis = mag.x >= mag.y && mag.x >= mag.z ? 0 : mag.y >= mag.z ? 1 : 2;
    if (!(mag[axis] > 0)) return false;
    plane = {(axis + 1) % 3, (axis + 2) % 3, normal[axis] < 0};
    return true;
}

glm::dvec2 project(const pk::float3& q, const Plane& plane) {
    return plane.flip ? glm::dvec2(q[plane.v], q[plane.u]) : glm::dvec2(q[plane.u], q[plane.v]);
}

bool convexOutline(const glm::dvec2* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (cross(p[i], p[(i + 1) % n], p[(i + 2) % n]) < 0) return false;
    return true;
}

void quad(std::span<const uint32_t> polygon, std::span<const pk::float3> positions, std::vector<uint32_t>& out) {
    Plane plane;
    if (!planeOf(polygon, positions, plane)) return fan(4, out);  // no area: any split will do
    glm::dvec2 p[4];
    for (size_t i = 0; i < 4; ++i) p[i] = project(positions[polygon[i]], plane);
    if (convexOutline(p, 4)) return fan(4, out);
    // One reflex corner at most: the diagonal from it lies inside.
    for (uint32_t r = 0; r < 4; ++r) {
        if (cross(p[(r + 3) % 4], p[r], p[(r + 1) % 4]) >= 0) continue;
        const uint32_t a = r, b = (r + 1) % 4, c = (r + 2) % 4, d = (r + 3) % 4;
        out.insert(out.end(), {a, b, c, a, c, d});
        return;
    }
    fan(4, out);
}

void general(std::span<const uint32_t> polygon, std::span<const pk::float3> positions, std::vector<uint32_t>& out) {
    const size_t n = polygon.size();
    Plane plane;
    if (!planeOf(polygon, positions, plane)) return fan(n, out);
    std::vector<glm::dvec2> p(n);
    for (size_t i = 0; i < n; ++i) p[i] = project(positions[polygon[i]], plane);
    if (convexOutline(p.data(), n)) return fan(n, out);

    // Ear clipping over a ring of the remaining corners.
    std::vector<uint32_t> next(n), prev(n);
    for (uint32_t i = 0; i < n; ++i) {
        next[i] = static_cast<uint32_t>((i + 1) % n);
        prev[i] = static_cast<uint32_t>((i + n - 1) % n);
    }
    size_t remaining = n, sinceLastEar = 0;
    uint32_t at = 0;
    while (remaining > 3) {
        const uint32_t a = prev[at], b = at, c = next[at];
        bool ear = cross(p[a], p[b], p[c]) > 0;
        for (uint32_t k = next[c]; ear && k != a; k = next[k]) {
            // Only a corner that is not convex can reach into the ear.
            if (cross(p[prev[k]], p[k], p[next[k]]) > 0) continue;
            if (p[k] == p[a] || p[k] == p[b] || p[k] == p[c]) continue;
            ear = !insideOrOn(p[k], p[a], p[b], p[c]);
        }
        if (ear) {
            out.insert(out.end(), {a, b, c});
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
            const uint32_t first = at;
            for (uint32_t i = next[first]; next[i] != first; i = next[i]) out.insert(out.end(), {first, i, next[i]});
            return;
        }
    }
    out.insert(out.end(), {prev[at], at, next[at]});
}

}  // namespace

void triangulateCorners(std::span<const uint32_t> polygon, std::span<const pk::float3> positions,
                        std::vector<uint32_t>& out) {
    const size_t n = polygon.size();
    if (n < 3) return;
    if (n == 3) return out.insert(out.end(), {0u, 1u, 2u}), void();
    if (n == 4) return quad(polygon, positions, out);
    if (n > kMaxClippedCorners) return fan(n, out);
    general(polygon, positions, out);
}

void triangulatePolygon(std::span<const uint32_t> polygon, std::span<const pk::float3> positions,
                        std::vector<uint32_t>& out) {
    const size_t first = out.size();
    triangulateCorners(polygon, positions, out);
    for (size_t i = first; i < out.size(); ++i) out[i] = polygon[out[i]];
}

}  // namespace pk::modelimport
