#include "PlatformKit/ModelImport/StlReader.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <string_view>

#include "PlatformKit/Foundation/ByteIO.h"
#include "PlatformKit/ModelImport/Malformed.h"
#include "PlatformKit/ModelImport/MeshFinish.h"
#include "PlatformKit/ModelImport/TextScan.h"

namespace pk::modelimport {

namespace {

bool finite(const pk::float3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

void addFacet(Mesh& mesh, const pk::float3& normal, const pk::float3 (&corners)[3]) {
    auto& indices = mesh.submeshes.back().indices;
    for (const auto& c : corners) {
        indices.push_back(static_cast<uint32_t>(mesh.positions.size()));
        mesh.positions.push_back(c);
        mesh.normals.push_back(normal);
    }
}

Mesh emptyMesh(std::string name) {
    Mesh mesh;
    mesh.name = std::move(name);
    mesh.submeshes.push_back(Submesh{GeometryType::triangles, 0, {}});
    return mesh;
}

Mesh readBinary(std::span<const uint8_t> bytes, uint32_t facets) {
    Mesh mesh = emptyMesh("");
    mesh.positions.reserve(uint64_t(facets) * 3);
    mesh.normals.reserve(uint64_t(facets) * 3);
    mesh.submeshes.back().indices.reserve(uint64_t(facets) * 3);
    const bool swap = std::endian::native == std::endian::big;
    for (uint32_t f = 0; f < facets; ++f) {
        const uint8_t* record = bytes.data() + 84 + size_t(f) * 50;  // the caller checked the length
        float v[12];
        std::memcpy(v, record, sizeof v);
        if (swap)
            for (float& x : v) x = std::bit_cast<float>(__builtin_bswap32(std::bit_cast<uint32_t>(x)));
        const pk::float3 normal(v[0], v[1], v[2]);
        const pk::float3 corners[3] = {{v[3], v[4], v[5]}, {v[6], v[7], v[8]}, {v[9], v[10], v[11]}};
        if (!finite(normal) || !finite(corners[0]) || !finite(corners[1]) || !finite(corners[2]))
            refuseAt("facet value is not finite", 84 + uint64_t(f) * 50);
        addFacet(mesh, normal, corners);
    }
    return mesh;
}

void readVector(TextScan& scan, pk::float3& out) {
    for (int k = 0; k < 3; ++k) {
        const std::string_view token = scan.token();
        const auto v = parseNumber<float>(token);
        if (!v || !std::isfinite(*v)) refuseAt("expected a finite number", scan.position() - token.size());
        out[k] = *v;
    }
}

void expect(TextScan& scan, std::string_view word) {
    const std::string_view token = scan.token();
    if (token != word) refuseAt("expected \"" + std::string(word) + "\"", scan.position() - token.size());
}

// solid [name] { facet normal x y z  outer loop  vertex x y z (3 times)  endloop  endfacet } endsolid [name]
// A file that ends after a whole facet without its endsolid line is read as ended there.
std::vector<Mesh> readAscii(std::string_view text) {
    std::vector<Mesh> meshes;
    TextScan scan(text);
    while (true) {
        std::string_view word = scan.token();
        if (word.empty()) break;
        if (word != "solid") refuseAt("expected \"solid\"", scan.position() - word.size());
        std::string_view nameLine;
        scan.line(nameLine);
        std::string_view rest = nameLine;
        meshes.push_back(emptyMesh(std::string(nextWord(rest))));
        Mesh& mesh = meshes.back();
        while (true) {
            word = scan.token();
            if (word.empty()) break;
            if (word == "endsolid") {
                scan.line(nameLine);  // its name, not checked
                break;
            }
            if (word != "facet") refuseAt("expected \"facet\" or \"endsolid\"", scan.position() - word.size());
            pk::float3 normal, corners[3];
            expect(scan, "normal");
            readVector(scan, normal);
            expect(scan, "outer");
            expect(scan, "loop");
            for (auto& c : corners) {
                expect(scan, "vertex");
                readVector(scan, c);
            }
            expect(scan, "endloop");
            expect(scan, "endfacet");
            addFacet(mesh, normal, corners);
        }
    }
    if (meshes.empty()) refuse("no solid");
    return meshes;
}

bool startsWithSolid(std::span<const uint8_t> bytes) {
    size_t i = 0;
    while (i < bytes.size() && isSpace(static_cast<char>(bytes[i]))) ++i;
    return bytes.size() - i >= 5 && std::memcmp(bytes.data() + i, "solid", 5) == 0;
}

// Facet normals that writers left zero. When every one is, the mesh takes smooth normals
// with creases like any file without normals; a few zero ones take their facet's own.
void mendZeroNormals(Mesh& mesh) {
    const pk::float3 zero(0.0f);
    bool any = false, all = true;
    for (const auto& n : mesh.normals) {
        const bool isZero = n == zero;
        any |= isZero;
        all &= isZero;
    }
    if (!any) return;
    if (all) {
        mesh.normals.clear();
        return;
    }
    for (size_t c = 0; c + 3 <= mesh.positions.size(); c += 3) {
        if (mesh.normals[c] != zero) continue;
        const pk::float3 a = mesh.positions[c];
        const pk::float3 n = glm::cross(mesh.positions[c + 1] - a, mesh.positions[c + 2] - a);
        const float len = glm::length(n);
        const pk::float3 facet = len > 0.0f ? n / len : zero;
        mesh.normals[c] = mesh.normals[c + 1] = mesh.normals[c + 2] = facet;
    }
}

Model parse(std::span<const uint8_t> bytes, const ImportOptions& options) {
    std::vector<Mesh> meshes;
    // Binary files often begin with "solid" too; the facet count matching the length is
    // what tells them apart. A binary file may carry bytes after its facets.
    std::optional<uint32_t> facets;
    if (bytes.size() >= 84) {
        const uint32_t n = pk::ByteReader(bytes.subspan(80, 4)).u32().value();
        const uint64_t needed = 84 + uint64_t(n) * 50;
        if (needed == bytes.size() || (needed < bytes.size() && !startsWithSolid(bytes))) facets = n;
    }
    if (facets) meshes.push_back(readBinary(bytes, *facets));
    else if (startsWithSolid(bytes))
        meshes = readAscii(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    else if (bytes.size() >= 84)
        refuseAt("binary facet count runs past the file", 80);
    else
        refuse("neither \"solid\" text nor an 84-byte binary header");
    Model model;
    for (auto& mesh : meshes) {
        if (mesh.positions.empty()) continue;
        mendZeroNormals(mesh);
        finishMesh(mesh, options.normalCreaseThreshold);
        model.meshes.push_back(std::move(mesh));
    }
    if (model.meshes.empty()) refuse("no facets");
    model.materials.push_back(Material{});
    return model;
}

}  // namespace

Model parseStl(std::span<const uint8_t> bytes, const ImportOptions& options) { return parse(bytes, options); }

std::optional<Model> readStl(std::span<const uint8_t> bytes, const ImportOptions& options) {
    return noneIfRefused("stl", [&] { return parse(bytes, options); });
}

}  // namespace pk::modelimport
