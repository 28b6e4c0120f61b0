#include "PlatformKit/ModelImport/ObjReader.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string_view>
#include <vector>

#include "PlatformKit/ModelImport/Malformed.h"
#include "PlatformKit/ModelImport/MeshFinish.h"
#include "PlatformKit/ModelImport/TextScan.h"
#include "PlatformKit/ModelImport/Triangulate.h"

namespace pk::modelimport {

namespace {

constexpr uint32_t kAbsent = UINT32_MAX;

// 0-based once resolved; a positive index may still name an element defined later.
struct Corner {
    uint32_t v = kAbsent, vt = kAbsent, vn = kAbsent;
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

// What the text says, before anything is checked against the whole file.
struct ParsedObj {
    std::vector<pk::float3> positions, normals;
    std::vector<pk::float2> uvs;
    std::vector<Object> objects;
    std::vector<Material> materials;
};

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Reads up to `wanted` numbers; refuses when fewer than `required` parse or one is not finite.
void readFloats(std::string_view rest, float* out, int required, int wanted, uint64_t line) {
    for (int k = 0; k < wanted; ++k) {
        const std::string_view word = nextWord(rest);
        if (word.empty()) {
            if (k < required) refuseOnLine("too few numbers", line);
            return;
        }
        const auto v = parseNumber<float>(word);
        if (!v || !std::isfinite(*v)) refuseOnLine("not a finite number: " + std::string(word), line);
        out[k] = *v;
    }
}

// An OBJ index: 1-based, or negative counting back from the elements read so far.
uint32_t resolveIndex(std::string_view s, size_t countSoFar, uint64_t line) {
    const auto v = parseNumber<int64_t>(s);
    if (!v || *v == 0) refuseOnLine("not an index: " + std::string(s), line);
    if (*v > 0) {
        if (*v > int64_t(UINT32_MAX - 1)) refuseOnLine("index past 32 bits", line);
        return static_cast<uint32_t>(*v - 1);  // checked once every element is read
    }
    if (static_cast<uint64_t>(-(*v + 1)) >= countSoFar) refuseOnLine("negative index before the first element", line);
    return static_cast<uint32_t>(static_cast<int64_t>(countSoFar) + *v);
}

Corner parseCorner(std::string_view word, const ParsedObj& obj, uint64_t line) {
    Corner c;
    const size_t s1 = word.find('/');
    c.v = resolveIndex(word.substr(0, s1), obj.positions.size(), line);
    if (s1 == std::string_view::npos) return c;
    const std::string_view rest = word.substr(s1 + 1);
    const size_t s2 = rest.find('/');
    const std::string_view t = rest.substr(0, s2);
    if (!t.empty()) c.vt = resolveIndex(t, obj.uvs.size(), line);
    if (s2 == std::string_view::npos) return c;
    const std::string_view n = rest.substr(s2 + 1);
    if (!n.empty()) c.vn = resolveIndex(n, obj.normals.size(), line);
    return c;
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


// Lines with a "\" continuation joined into one, whose number is that of its first line.
class LogicalLines {
public:
    explicit LogicalLines(std::string_view text) : scan_(text) {}

    bool next(std::string_view& out, uint64_t& number) {
        if (!scan_.line(out)) return false;
        number = ++line_;
        if (out.empty() || out.back() != '\\') return true;
        joined_.clear();
        std::string_view part = out;
        while (true) {
            if (part.empty() || part.back() != '\\') {
                joined_.append(part);
                break;
            }
            part.remove_suffix(1);
            joined_.append(part);
            joined_.push_back(' ');
            if (!scan_.line(part)) break;
            ++line_;
        }
        out = joined_;
        return true;
    }

private:
    TextScan scan_;
    uint64_t line_ = 0;
    std::string joined_;
};

ParsedObj parse(std::string_view text, const std::filesystem::path& modelFolder,
                const MaterialLibraryReader& readLibrary) {
    ParsedObj obj;
    obj.materials.push_back(Material{"DefaultMaterial", std::nullopt});
    std::map<std::string, uint32_t, std::less<>> materialByName;
    uint32_t currentMaterial = 0;
    std::set<std::string, std::less<>> librariesRead;
    auto readNamed = [&](std::string_view name) {
        // Each library is read once, however often it is named.
        if (name.empty() || !librariesRead.emplace(name).second) return false;
        // A missing library leaves its materials plain, as other readers do.
        const auto library = readLibrary(std::string(name));
        if (library) readMaterialLibrary(*library, modelFolder, obj.materials, materialByName);
        return library.has_value();
    };

    auto currentPart = [&]() -> Part& {
        if (obj.objects.empty()) obj.objects.push_back(Object{"defaultobject", {}});
        auto& parts = obj.objects.back().parts;
        if (parts.empty() || (parts.back().material != currentMaterial && !parts.back().empty()))
            parts.push_back(Part{currentMaterial, {}});
        parts.back().material = currentMaterial;
        return parts.back();
    };

    LogicalLines lines(text);
    std::string_view line;
    uint64_t number = 0;
    std::vector<Corner> face;
    while (lines.next(line, number)) {
        std::string_view rest = line;
        const std::string_view keyword = nextWord(rest);
        if (keyword == "v") {
            float p[3];
            readFloats(rest, p, 3, 3, number);
            obj.positions.emplace_back(p[0], p[1], p[2]);
        } else if (keyword == "vt") {
            float t[2] = {0, 0};
            readFloats(rest, t, 1, 2, number);
            obj.uvs.emplace_back(t[0], t[1]);
        } else if (keyword == "vn") {
            float n[3];
            readFloats(rest, n, 3, 3, number);
            obj.normals.emplace_back(n[0], n[1], n[2]);
        } else if (keyword == "f" || keyword == "l" || keyword == "p") {
            face.clear();
            for (std::string_view word = nextWord(rest); !word.empty(); word = nextWord(rest))
                face.push_back(parseCorner(word, obj, number));
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
            obj.objects.push_back(Object{std::string(trimmed(rest)), {}});
        } else if (keyword == "usemtl") {
            const auto it = materialByName.find(trimmed(rest));
            currentMaterial = it == materialByName.end() ? 0 : it->second;
        } else if (keyword == "mtllib" && readLibrary) {
            // Several libraries may be named on one line; a single name with blanks in
            // it is tried whole when none of its words names one.
            const std::string_view all = trimmed(rest);
            bool anyRead = false;
            for (std::string_view words = all, name = nextWord(words); !name.empty(); name = nextWord(words))
                anyRead |= readNamed(name);
            if (!anyRead && all.find_first_of(" \t") != std::string_view::npos) readNamed(all);
        }
        // Anything else (smoothing groups, free-form geometry, comments) is not drawn.
    }
    return obj;
}

// Output vertices of one part: a (v, vt, vn) triple becomes one vertex, found through a
// slot per position and a short chain of its other pairs. Past the chain's bound a triple
// gets a vertex of its own (the join merges it), so no file makes the lookup quadratic.
class CornerRemap {
public:
    explicit CornerRemap(size_t positions) : first_(positions, kAbsent), stamp_(positions, kAbsent) {}

    void startPart(uint32_t part) {
        part_ = part;
        links_.clear();
    }

    // The output vertex of `c`, or kAbsent when it needs a new one numbered `fresh`.
    uint32_t find(const Corner& c, uint32_t fresh) {
        constexpr int kChainBound = 16;
        if (stamp_[c.v] != part_) {
            stamp_[c.v] = part_;
            first_[c.v] = kAbsent;
        }
        int walked = 0;
        for (uint32_t l = first_[c.v]; l != kAbsent && walked < kChainBound; l = links_[l].next, ++walked)
            if (links_[l].vt == c.vt && links_[l].vn == c.vn) return links_[l].out;
        links_.push_back(Link{c.vt, c.vn, fresh, first_[c.v]});
        first_[c.v] = static_cast<uint32_t>(links_.size() - 1);
        return kAbsent;
    }

private:
    struct Link {
        uint32_t vt, vn, out, next;
    };
    std::vector<uint32_t> first_, stamp_;
    std::vector<Link> links_;
    uint32_t part_ = kAbsent;
};

// The part's corners are released once its vertices are made, before the finish step
// (whose peak they would otherwise add to).
Mesh assemblePart(Part& part, const ParsedObj& obj, CornerRemap& remap, const ImportOptions& options) {
    Mesh piece;
    size_t partCorners = 0;
    for (const Run& run : part.runs) partCorners += run.corners.size();
    piece.positions.reserve(std::min(partCorners, obj.positions.size()));
    bool partNormals = false, partUVs = false;
    std::vector<uint32_t> polygon, local;
    for (Run& run : part.runs) {
        Submesh sub{run.type, part.material, {}};
        for (const Corner& c : run.corners) {
            if (c.v >= obj.positions.size()) refuse("a face names vertex " + std::to_string(uint64_t(c.v) + 1) + " the file does not have");
            if (c.vt != kAbsent && c.vt >= obj.uvs.size())
                refuse("a face names texture coordinate " + std::to_string(uint64_t(c.vt) + 1) + " the file does not have");
            if (c.vn != kAbsent && c.vn >= obj.normals.size())
                refuse("a face names normal " + std::to_string(uint64_t(c.vn) + 1) + " the file does not have");
        }
        sub.indices.reserve(run.type == GeometryType::triangles ? (run.corners.size() - 2 * run.polygonSizes.size()) * 3
                                                                 : run.corners.size());
        auto emit = [&](const Corner& c) {
            const auto fresh = static_cast<uint32_t>(piece.positions.size());
            const uint32_t found = remap.find(c, fresh);
            if (found != kAbsent) {
                sub.indices.push_back(found);
                return;
            }
            if (fresh == UINT32_MAX) refuse("more vertices than 32-bit indices reach");
            sub.indices.push_back(fresh);
            piece.positions.push_back(obj.positions[c.v]);
            // Normals and texture coordinates only once some corner has them; the
            // vertices before get zeros.
            if (c.vn != kAbsent && !partNormals) {
                partNormals = true;
                piece.normals.resize(fresh, pk::float3(0.0f));
            }
            if (partNormals) piece.normals.push_back(c.vn != kAbsent ? obj.normals[c.vn] : pk::float3(0.0f));
            if (c.vt != kAbsent && !partUVs) {
                partUVs = true;
                piece.textureCoordinates.resize(fresh, pk::float2(0.0f));
            }
            if (partUVs) piece.textureCoordinates.push_back(c.vt != kAbsent ? obj.uvs[c.vt] : pk::float2(0.0f));
        };
        if (run.type != GeometryType::triangles) {
            for (const Corner& c : run.corners) emit(c);
        } else {
            size_t at = 0;
            for (const uint32_t n : run.polygonSizes) {
                const Corner* corners = run.corners.data() + at;
                at += n;
                if (n == 3) {
                    emit(corners[0]), emit(corners[1]), emit(corners[2]);
                    continue;
                }
                polygon.clear();
                local.clear();
                for (uint32_t i = 0; i < n; ++i) polygon.push_back(corners[i].v);
                triangulateCorners(polygon, obj.positions, local);
                for (const uint32_t i : local) emit(corners[i]);
            }
        }
        piece.submeshes.push_back(std::move(sub));
        std::vector<Corner>().swap(run.corners);
        std::vector<uint32_t>().swap(run.polygonSizes);
    }
    finishMesh(piece, options.normalCreaseThreshold);
    return piece;
}

// Each part gets its own vertices, normals and joining, then joins its object's mesh.
Model assemble(ParsedObj& obj, const ImportOptions& options) {
    Model model;
    model.materials = std::move(obj.materials);
    CornerRemap remap(obj.positions.size());
    uint32_t partNumber = 0;
    for (auto& object : obj.objects) {
        Mesh mesh;
        mesh.name = object.name;
        std::vector<Mesh> finished;
        bool anyNormals = false, anyUVs = false;
        for (auto& part : object.parts) {
            if (part.empty()) continue;
            remap.startPart(partNumber++);
            Mesh piece = assemblePart(part, obj, remap, options);
            anyNormals |= !piece.normals.empty();
            anyUVs |= !piece.textureCoordinates.empty();
            finished.push_back(std::move(piece));
        }
        if (finished.size() == 1) {
            // One part: its mesh is the object's as it is.
            std::string name = std::move(mesh.name);
            mesh = std::move(finished.front());
            mesh.name = std::move(name);
            finished.clear();
        }
        for (auto& piece : finished) {
            const uint64_t base = mesh.positions.size();
            if (base + piece.positions.size() > UINT32_MAX) refuse("more vertices than 32-bit indices reach");
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
    if (model.meshes.empty()) refuse("no faces, lines or points");
    return model;
}

}  // namespace

Model parseObj(std::span<const uint8_t> bytes, const std::filesystem::path& modelFolder,
               const MaterialLibraryReader& readLibrary, const ImportOptions& options) {
    ParsedObj obj = parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), modelFolder,
                          readLibrary);
    return assemble(obj, options);
}

std::optional<Model> readObj(std::span<const uint8_t> bytes, const std::filesystem::path& modelFolder,
                             const MaterialLibraryReader& readLibrary, const ImportOptions& options) {
    return noneIfRefused("obj", [&] { return parseObj(bytes, modelFolder, readLibrary, options); });
}

}  // namespace pk::modelimport
