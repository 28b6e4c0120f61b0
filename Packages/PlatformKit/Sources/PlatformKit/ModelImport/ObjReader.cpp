#include "PlatformKit/ModelImport/ObjReader.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string_view>
#include <vector>

#include "PlatformKit/ModelImport/MeshFinish.h"
#include "PlatformKit/ModelImport/TextScan.h"
#include "PlatformKit/ModelImport/Triangulate.h"

namespace pk::modelimport {

namespace {

constexpr int64_t kAbsent = -1;

struct Corner {
    int64_t v = kAbsent, vt = kAbsent, vn = kAbsent;  // 0-based once resolved
};

// Primitives of one type: their corners, and for polygons each one's corner count.
struct Run {
    GeometryType type;
    std::vector<Corner> corners;
    std::vector<uint32_t> polygonSizes;
};

// Faces of one object drawn with one material, in the order they come.
struct Part {
    uint32_t material = 0;
    std::vector<Run> runs;  // grouped by type, in the order the types first appear
    bool empty() const { return runs.empty(); }
    Run& runOf(GeometryType type) {
        for (auto& run : runs)
            if (run.type == type) return run;
        runs.push_back(Run{type, {}, {}});
        return runs.back();
    }
};

struct Object {
    std::string name;
    std::vector<Part> parts;
};

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Reads up to `wanted` numbers; false when fewer than `required` parse or one is not finite.
bool readFloats(std::string_view rest, float* out, int required, int wanted) {
    for (int k = 0; k < wanted; ++k) {
        const std::string_view word = nextWord(rest);
        if (word.empty()) return k >= required;
        const auto v = parseNumber<float>(word);
        if (!v || !std::isfinite(*v)) return false;
        out[k] = *v;
    }
    return true;
}

// An OBJ index: 1-based, or negative counting back from the elements read so far.
bool resolveIndex(std::string_view s, size_t countSoFar, int64_t& out) {
    const auto v = parseNumber<int64_t>(s);
    if (!v || *v == 0) return false;
    if (*v > 0) {
        out = *v - 1;  // may name an element defined later; checked once all are read
        return true;
    }
    if (static_cast<uint64_t>(-(*v + 1)) >= countSoFar) return false;
    out = static_cast<int64_t>(countSoFar) + *v;
    return true;
}

bool parseCorner(std::string_view word, size_t positions, size_t uvs, size_t normals, Corner& c) {
    const size_t s1 = word.find('/');
    if (!resolveIndex(word.substr(0, s1), positions, c.v)) return false;
    if (s1 == std::string_view::npos) return true;
    const std::string_view rest = word.substr(s1 + 1);
    const size_t s2 = rest.find('/');
    const std::string_view t = rest.substr(0, s2);
    if (!t.empty() && !resolveIndex(t, uvs, c.vt)) return false;
    if (s2 == std::string_view::npos) return true;
    const std::string_view n = rest.substr(s2 + 1);
    return n.empty() || resolveIndex(n, normals, c.vn);
}

// "map_Kd [-option values...] file name": options are skipped with their arguments.
std::string textureFileOf(std::string_view rest) {
    static const std::map<std::string_view, int> kOptionArgs = {
        {"-blendu", 1}, {"-blendv", 1}, {"-bm", 1},     {"-boost", 1}, {"-cc", 1},   {"-clamp", 1},
        {"-imfchan", 1}, {"-mm", 2},    {"-texres", 1}, {"-type", 1},  {"-o", 3},    {"-s", 3},
        {"-t", 3},
    };
    rest = trimmed(rest);
    while (!rest.empty() && rest.front() == '-') {
        std::string_view probe = rest;
        const auto option = kOptionArgs.find(nextWord(probe));
        if (option == kOptionArgs.end()) break;
        for (int k = 0; k < option->second; ++k) {
            std::string_view next = probe;
            const std::string_view arg = nextWord(next);
            // -o/-s/-t take one to three numbers.
            if (k > 0 && option->second == 3 && !parseNumber<float>(arg)) break;
            probe = next;
        }
        rest = trimmed(probe);
    }
    std::string file(rest);
    std::replace(file.begin(), file.end(), '\\', '/');
    return file;
}

void readMaterialLibrary(std::string_view text, const std::filesystem::path& modelFolder,
                         std::vector<Material>& materials, std::map<std::string, uint32_t, std::less<>>& byName) {
    TextScan scan(text);
    std::string_view line;
    Material* current = nullptr;
    while (scan.line(line)) {
        std::string_view rest = line;
        const std::string_view keyword = nextWord(rest);
        if (keyword == "newmtl") {
            const std::string name(trimmed(rest));
            const auto [it, added] = byName.try_emplace(name, static_cast<uint32_t>(materials.size()));
            if (added) materials.push_back(Material{name, std::nullopt});
            current = &materials[it->second];
        } else if (keyword == "map_Kd" && current) {
            const std::string file = textureFileOf(rest);
            if (file.empty()) continue;
            const std::filesystem::path path(file);
            current->baseColorTexture = TextureReference{};
            current->baseColorTexture->file = path.is_absolute() ? path : modelFolder / path;
        }
    }
}

// The corners of a run's polygons as triangles; every position index was checked.
std::vector<Corner> trianglesOf(const Run& run, const std::vector<pk::float3>& positions) {
    std::vector<Corner> out;
    std::vector<pk::float3> outline;
    std::vector<uint32_t> local, triangles;
    size_t at = 0;
    for (uint32_t n : run.polygonSizes) {
        outline.clear();
        local.clear();
        triangles.clear();
        for (uint32_t i = 0; i < n; ++i) {
            outline.push_back(positions[run.corners[at + i].v]);
            local.push_back(i);
        }
        triangulatePolygon(local, outline, triangles);
        for (uint32_t i : triangles) out.push_back(run.corners[at + i]);
        at += n;
    }
    return out;
}

}  // namespace

std::optional<Model> readObj(std::span<const uint8_t> bytes, const std::filesystem::path& modelFolder,
                             const MaterialLibraryReader& readLibrary, const ImportOptions& options) {
    std::vector<pk::float3> positions, normals;
    std::vector<pk::float2> uvs;
    std::vector<Object> objects;
    Model model;
    model.materials.push_back(Material{"DefaultMaterial", std::nullopt});
    std::map<std::string, uint32_t, std::less<>> materialByName;
    uint32_t currentMaterial = 0;
    std::set<std::string> librariesRead;

    auto currentPart = [&]() -> Part& {
        if (objects.empty()) objects.push_back(Object{"defaultobject", {}});
        auto& parts = objects.back().parts;
        if (parts.empty() || (parts.back().material != currentMaterial && !parts.back().empty()))
            parts.push_back(Part{currentMaterial, {}});
        parts.back().material = currentMaterial;
        return parts.back();
    };

    TextScan scan(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    std::string_view line;
    std::vector<Corner> face;
    while (scan.line(line)) {
        std::string_view rest = line;
        const std::string_view keyword = nextWord(rest);
        if (keyword == "v") {
            float p[3];
            if (!readFloats(rest, p, 3, 3)) return std::nullopt;
            positions.emplace_back(p[0], p[1], p[2]);
        } else if (keyword == "vt") {
            float t[2] = {0, 0};
            if (!readFloats(rest, t, 1, 2)) return std::nullopt;
            uvs.emplace_back(t[0], t[1]);
        } else if (keyword == "vn") {
            float n[3];
            if (!readFloats(rest, n, 3, 3)) return std::nullopt;
            normals.emplace_back(n[0], n[1], n[2]);
        } else if (keyword == "f" || keyword == "l" || keyword == "p") {
            face.clear();
            for (std::string_view word = nextWord(rest); !word.empty(); word = nextWord(rest)) {
                Corner c;
                if (!parseCorner(word, positions.size(), uvs.size(), normals.size(), c)) return std::nullopt;
                face.push_back(c);
            }
            if (face.empty()) continue;  // an empty statement draws nothing
            Part& part = currentPart();
            if (keyword == "p" || face.size() == 1) {
                auto& out = part.runOf(GeometryType::points).corners;
                out.insert(out.end(), face.begin(), face.end());
            } else if (keyword == "l" || face.size() == 2) {
                // A polyline becomes its segments.
                auto& out = part.runOf(GeometryType::lines).corners;
                for (size_t i = 0; i + 1 < face.size(); ++i) {
                    out.push_back(face[i]);
                    out.push_back(face[i + 1]);
                }
            } else {
                // Split into triangles once every position is known (faces may name
                // vertices that come later).
                Run& run = part.runOf(GeometryType::triangles);
                run.corners.insert(run.corners.end(), face.begin(), face.end());
                run.polygonSizes.push_back(static_cast<uint32_t>(face.size()));
            }
        } else if (keyword == "o" || keyword == "g") {
            objects.push_back(Object{std::string(trimmed(rest)), {}});
        } else if (keyword == "usemtl") {
            const auto it = materialByName.find(trimmed(rest));
            currentMaterial = it == materialByName.end() ? 0 : it->second;
        } else if (keyword == "mtllib") {
            const std::string name(trimmed(rest));
            // Each library is read once, however often it is named.
            if (name.empty() || !readLibrary || !librariesRead.insert(name).second) continue;
            // A missing library leaves its materials plain, as other readers do.
            if (const auto text = readLibrary(name))
                readMaterialLibrary(*text, modelFolder, model.materials, materialByName);
        }
        // Anything else (smoothing groups, free-form geometry, comments) is not drawn.
    }

    for (const auto& object : objects) {
        Mesh mesh;
        mesh.name = object.name;
        std::vector<Mesh> finished;
        bool anyNormals = false, anyUVs = false;
        for (const auto& part : object.parts) {
            if (part.empty()) continue;
            // Each part gets its own corners, normals and joining, then joins the object.
            Mesh piece;
            bool partNormals = false, partUVs = false;
            for (const Run& run : part.runs) {
                Submesh sub{run.type, part.material, {}};
                for (const Corner& c : run.corners) {
                    if (c.v < 0 || static_cast<uint64_t>(c.v) >= positions.size()) return std::nullopt;
                }
                const std::vector<Corner> corners = run.type == GeometryType::triangles
                                                        ? trianglesOf(run, positions)
                                                        : run.corners;
                sub.indices.reserve(corners.size());
                for (const Corner& c : corners) {
                    if (c.v < 0 || static_cast<uint64_t>(c.v) >= positions.size()) return std::nullopt;
                    if (c.vt != kAbsent && static_cast<uint64_t>(c.vt) >= uvs.size()) return std::nullopt;
                    if (c.vn != kAbsent && static_cast<uint64_t>(c.vn) >= normals.size()) return std::nullopt;
                    if (piece.positions.size() >= UINT32_MAX) return std::nullopt;
                    sub.indices.push_back(static_cast<uint32_t>(piece.positions.size()));
                    piece.positions.push_back(positions[c.v]);
                    piece.normals.push_back(c.vn != kAbsent ? normals[c.vn] : pk::float3(0.0f));
                    piece.textureCoordinates.push_back(c.vt != kAbsent ? uvs[c.vt] : pk::float2(0.0f));
                    partNormals |= c.vn != kAbsent;
                    partUVs |= c.vt != kAbsent;
                }
                piece.submeshes.push_back(std::move(sub));
            }
            if (!partNormals) piece.normals.clear();
            if (!partUVs) piece.textureCoordinates.clear();
            finishMesh(piece, options.normalCreaseThreshold);
            anyNormals |= !piece.normals.empty();
            anyUVs |= !piece.textureCoordinates.empty();
            finished.push_back(std::move(piece));
        }
        for (auto& piece : finished) {
            const uint64_t base = mesh.positions.size();
            if (base + piece.positions.size() > UINT32_MAX) return std::nullopt;
            const size_t n = piece.positions.size();
            mesh.positions.insert(mesh.positions.end(), piece.positions.begin(), piece.positions.end());
            // A piece without an attribute another piece has gets zeros for it.
            auto append = [n](auto& to, const auto& from) {
                using Value = typename std::decay_t<decltype(to)>::value_type;
                if (from.size() == n) to.insert(to.end(), from.begin(), from.end());
                else to.resize(to.size() + n, Value(0.0f));
            };
            if (anyNormals) append(mesh.normals, piece.normals);
            if (anyUVs) append(mesh.textureCoordinates, piece.textureCoordinates);
            for (auto& sub : piece.submeshes) {
                for (auto& i : sub.indices) i += static_cast<uint32_t>(base);
                mesh.submeshes.push_back(std::move(sub));
            }
        }
        if (!mesh.submeshes.empty()) model.meshes.push_back(std::move(mesh));
    }
    if (model.meshes.empty()) return std::nullopt;
    return model;
}

}  // namespace pk::modelimport
