#pragma once
// Finishing steps shared by the model readers, so every format comes out the same way:
// generated normals with creases where a file has none, and vertices that are equal in
// every attribute joined into one.
#include <cstdint>
#include <span>
#include <vector>

#include "PlatformKit/ModelImport/ModelImport.h"

namespace pk::modelimport {

// Distinct positions (bitwise: -0 and 0 stay apart) numbered in order of first
// appearance, one number per vertex. The numbering depends on the positions alone.
struct PositionGroups {
    std::vector<uint32_t> of;
    uint32_t count = 0;
};

// The work a grouping did, for tests that hold it linear on any input.
struct WeldStats {
    uint64_t probes = 0;    // table slots looked at, rebuilds included
    uint32_t rebuilds = 0;  // times a probe ran past its bound and the table was keyed anew
};

// A table keyed per process, so no file can choose positions that share a slot; a probe
// that runs past a small bound rebuilds the table under a new key.
PositionGroups groupByPosition(std::span<const pk::float3> positions, WeldStats* stats = nullptr);

// Merges vertices with bitwise equal positions whose normals and texture coordinates
// differ by at most 1e-5, keeping the first of each in order, and renumbers the indices.
void joinIdenticalVertices(Mesh& mesh);

// As every reader ends. A mesh without normals gets smooth normals with creases: every
// face corner takes the mean of the unit normals of the triangles meeting at its
// position whose normal is within the crease of its own triangle's (cosine at least
// creaseCosine, clamped to -1…1); a position shared by very many triangles is smoothed
// without the crease test to stay linear. The mesh stays indexed: a vertex is split
// only where its corners' normals differ, and vertices equal in every attribute are
// joined as joinIdenticalVertices does. Line and point corners get zero normals; a
// mesh with no triangles keeps no normals. A mesh that has normals is only joined.
void finishMesh(Mesh& mesh, float creaseCosine);

}  // namespace pk::modelimport
