#pragma once
// Finishing steps shared by the model readers, so every format comes out the same way:
// generated normals with creases where a file has none, and vertices that are equal in
// every attribute joined into one.
#include "PlatformKit/ModelImport/ModelImport.h"

namespace pk::modelimport {

// Gives a mesh without normals smooth normals with creases: every face corner takes the
// mean of the unit normals of the triangles meeting at its position whose normal is
// within the crease of its own triangle's (cosine at least creaseCosine). Corners get
// vertices of their own first, so normals can differ per face at a crease; join the
// vertices afterwards. A position shared by very many triangles is smoothed without the
// crease test to stay linear. Line and point corners get zero normals; a mesh with no
// triangles keeps no normals. A mesh that has normals is left as it is.
void generateMissingNormals(Mesh& mesh, float creaseCosine);

// Merges vertices with bitwise equal positions whose normals and texture coordinates
// differ by at most 1e-5, keeping the first of each in order, and renumbers the indices.
void joinIdenticalVertices(Mesh& mesh);

// Both steps, as every reader ends: normals where missing (crease clamped to -1…1), then joined.
void finishMesh(Mesh& mesh, float creaseCosine);

}  // namespace pk::modelimport
