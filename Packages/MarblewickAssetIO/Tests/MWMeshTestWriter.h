#pragma once
// Test-only writer of hero mesh files: nothing in the system writes the format.
#include <array>
#include <cstdint>
#include <vector>

#include "PlatformKit/Foundation/ByteIO.h"

namespace mwmesh_test {

struct Meshlet {
    uint32_t vertexBase = 0;
    uint32_t indexByteOffset = 0;
    uint32_t triangleCount = 0;
};

struct File {
    uint32_t version = 2;
    std::vector<Meshlet> meshlets;
    std::vector<std::array<float, 12>> vertices;
    std::vector<uint8_t> indexBytes;
    // Header overrides for broken files (0 = the real count).
    uint32_t meshletCountOverride = 0;
    uint32_t vertexCountOverride = 0;
    uint32_t indexByteCountOverride = 0;
    bool overrideIndexByteCount = false;

    std::vector<uint8_t> bytes() const {
        pk::ByteWriter w;
        w.append(std::string("MWMS"));
        w.u32(version);
        w.u32(meshletCountOverride ? meshletCountOverride : static_cast<uint32_t>(meshlets.size()));
        w.u32(vertexCountOverride ? vertexCountOverride : static_cast<uint32_t>(vertices.size()));
        w.u32(overrideIndexByteCount ? indexByteCountOverride : static_cast<uint32_t>(indexBytes.size()));
        for (const auto& m : meshlets) {
            w.u32(m.vertexBase);
            w.u32(0xA5A5A5A5u);  // not read
            w.u32(m.indexByteOffset);
            w.u32(m.triangleCount);
            w.zeros(16);
        }
        for (const auto& v : vertices)
            for (float f : v) w.f32(f);
        w.append(indexBytes);
        return w.take();
    }
};

// A vertex at (x, y, z) with normal n, uv (x, z), colour grey, packedMat 3.
inline std::array<float, 12> vertex(float x, float y, float z, float nx = 0, float ny = 0, float nz = 2) {
    return {x, y, z, nx, ny, nz, x, z, 0.5f, 0.5f, 0.5f, 3.0f};
}

// Four vertices of a unit quad on the floor, two triangles in one meshlet.
inline File quad() {
    File f;
    f.vertices = {vertex(0, 0, 0), vertex(1, 0, 0), vertex(1, 1, 0), vertex(0, 1, 0)};
    f.meshlets = {{0, 0, 2}};
    f.indexBytes = {0, 1, 2, 0, 2, 3};
    return f;
}

}  // namespace mwmesh_test
