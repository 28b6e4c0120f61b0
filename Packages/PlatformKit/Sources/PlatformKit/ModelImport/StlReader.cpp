#include "PlatformKit/ModelImport/StlReader.h"

#include <cmath>
#include <cstring>
#include <string_view>

#include "PlatformKit/Foundation/ByteIO.h"
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

std::optional<Mesh> readBinary(std::span<const uint8_t> bytes, uint32_t facets) {
    pk::ByteReader in(bytes);
    in.skip(84);
    Mesh mesh = emptyMesh("");
    mesh.positions.reserve(uint64_t(facets) * 3);
    mesh.normals.reserve(uint64_t(facets) * 3);
    mesh.submeshes.back().indices.reserve(uint64_t(facets) * 3);
    for (uint32_t f = 0; f < facets; ++f) {
        float v[12];
        for (float& x : v) x = *in.f32();  // the caller checked the length
        in.skip(2);                        // attribute bytes
        const pk::float3 normal(v[0], v[1], v[2]);
        const pk::float3 corners[3] = {{v[3], v[4], v[5]}, {v[6], v[7], v[8]}, {v[9], v[10], v[11]}};
        if (!finite(normal) || !finite(corners[0]) || !finite(corners[1]) || !finite(corners[2]))
            return std::nullopt;
        addFacet(mesh, normal, corners);
    }
    return mesh;
}

bool readVector(TextScan& scan, pk::float3& out) {
    for (int k = 0; k < 3; ++k) {
        const auto v = parseNumber<float>(scan.token());
        if (!v || !std::isfinite(*v)) return false;
        out[k] = *v;
    }
    return true;
}

// solid [name] { facet normal x y z  outer loop  vertex x y z (3 times)  endloop  endfacet } endsolid [name]
std::optional<std::vector<Mesh>> readAscii(std::string_view text) {
    std::vector<Mesh> meshes;
    TextScan scan(text);
    while (true) {
        std::string_view word = scan.token();
        if (word.empty()) break;
        if (word != "solid") return std::nullopt;
        std::string_view nameLine;
        scan.line(nameLine);
        std::string_view rest = nameLine;
        meshes.push_back(emptyMesh(std::string(nextWord(rest))));
        Mesh& mesh = meshes.back();
        while (true) {
            word = scan.token();
            if (word == "endsolid") {
                scan.line(nameLine);  // its name, not checked
                break;
            }
            pk::float3 normal, corners[3];
            if (word != "facet" || scan.token() != "normal" || !readVector(scan, normal)) return std::nullopt;
            if (scan.token() != "outer" || scan.token() != "loop") return std::nullopt;
            for (auto& c : corners)
                if (scan.token() != "vertex" || !readVector(scan, c)) return std::nullopt;
            if (scan.token() != "endloop" || scan.token() != "endfacet") return std::nullopt;
            addFacet(mesh, normal, corners);
        }
    }
    if (meshes.empty()) return std::nullopt;
    return meshes;
}

bool startsWithSolid(std::span<const uint8_t> bytes) {
    size_t i = 0;
    while (i < bytes.size() && isSpace(static_cast<char>(bytes[i]))) ++i;
    return bytes.size() - i >= 5 && std::memcmp(bytes.data() + i, "solid", 5) == 0;
}

}  // namespace

std::optional<Model> readStl(std::span<const uint8_t> bytes, const ImportOptions& options) {
    std::vector<Mesh> meshes;
    // Binary files often begin with "solid" too; the facet count matching the length is
    // what tells them apart. A binary file may carry bytes after its facets.
    std::optional<uint32_t> facets;
    if (bytes.size() >= 84) {
        const uint32_t n = pk::ByteReader(bytes.subspan(80, 4)).u32().value();
        const uint64_t needed = 84 + uint64_t(n) * 50;
        if (needed == bytes.size() || (needed < bytes.size() && !startsWithSolid(bytes))) facets = n;
    }
    if (facets) {
        auto mesh = readBinary(bytes, *facets);
        if (!mesh) return std::nullopt;
        meshes.push_back(std::move(*mesh));
    } else if (startsWithSolid(bytes)) {
        auto read = readAscii(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        if (!read) return std::nullopt;
        meshes = std::move(*read);
    } else {
        return std::nullopt;
    }
    Model model;
    for (auto& mesh : meshes) {
        if (mesh.positions.empty()) continue;
        finishMesh(mesh, options.normalCreaseThreshold);
        model.meshes.push_back(std::move(mesh));
    }
    if (model.meshes.empty()) return std::nullopt;
    model.materials.push_back(Material{});
    return model;
}

}  // namespace pk::modelimport
