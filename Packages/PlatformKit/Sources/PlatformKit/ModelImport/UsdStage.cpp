#include "PlatformKit/ModelImport/UsdStage.h"

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <unordered_map>

#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/ModelImport/MeshFinish.h"
#include "PlatformKit/ModelImport/UsdaReader.h"
#include "PlatformKit/ModelImport/UsdcReader.h"
#include "PlatformKit/ModelImport/UsdzPackage.h"

namespace pk::modelimport {

namespace {

struct Malformed {};
[[noreturn]] void fail() { throw Malformed{}; }

constexpr int kMaxDepth = 256;
constexpr int kMaxConnectionHops = 8;
constexpr uint64_t kMaxFileBytes = uint64_t(1) << 31;

using Matrix = glm::dmat4;

bool finite(const std::vector<float>& values) {
    return std::all_of(values.begin(), values.end(), [](float v) { return std::isfinite(v); });
}

// How a primvar's values map onto a mesh.
enum class Interpolation { constant, uniform, vertex, faceVarying };

struct Primvar {
    Interpolation interpolation = Interpolation::vertex;
    uint8_t components = 3;
    std::vector<float> values;
    std::vector<int32_t> indices;  // empty when not indexed

    // The value slot of element e (a face, point or corner by interpolation).
    const float* at(uint64_t e) const {
        const uint64_t slot = indices.empty() ? e : static_cast<uint64_t>(indices[e]);
        return values.data() + slot * components;
    }
};

// A prim with its properties and children found by name, so no lookup rebuilds or
// hashes a whole path (a long path listed many times would make that quadratic).
struct Prim {
    std::string_view path;
    const UsdSpec* spec = nullptr;
    Prim* parent = nullptr;
    std::unordered_map<std::string_view, const UsdSpec*> properties;
    std::unordered_map<std::string_view, Prim*> children;
    bool visited = false;

    const UsdValue* field(std::string_view name) const { return spec->field(name); }
    const UsdSpec* property(std::string_view name) const {
        const auto it = properties.find(name);
        return it == properties.end() ? nullptr : it->second;
    }
    Prim* child(std::string_view name) const {
        const auto it = children.find(name);
        return it == children.end() ? nullptr : it->second;
    }
    std::string_view name() const { return path.substr(path.rfind('/') + 1); }
};

class StageReader {
public:
    StageReader(const UsdLayer& layer, const UsdTextureResolver& texture, const ImportOptions& options)
        : texture_(texture), options_(options) {
        prims_.reserve(layer.specs.size());
        for (const auto& [path, spec] : layer.specs) {
            if (spec.type == UsdSpecType::prim || spec.type == UsdSpecType::pseudoRoot) {
                Prim& p = prims_[path];
                p.path = path;
                p.spec = &spec;
            }
        }
        for (const auto& [path, spec] : layer.specs) {
            const size_t slash = path.rfind('/');
            const size_t dot = path.rfind('.');
            if (slash == std::string::npos || path == "/") continue;
            const bool isProperty = dot != std::string::npos && dot > slash;
            const std::string_view whole(path);
            const std::string_view parent = isProperty ? whole.substr(0, dot) : slash == 0 ? "/" : whole.substr(0, slash);
            const auto owner = prims_.find(parent);
            if (owner == prims_.end()) continue;  // under a variant or a property: not read
            if (isProperty) {
                owner->second.properties.emplace(whole.substr(dot + 1), &spec);
            } else if (const auto self = prims_.find(whole); self != prims_.end()) {
                self->second.parent = &owner->second;
                owner->second.children.emplace(whole.substr(slash + 1), &self->second);
            }
        }
    }

    Model read() {
        const auto rootIt = prims_.find("/");
        if (rootIt == prims_.end()) fail();
        Prim& root = rootIt->second;
        Matrix stage(1.0);
        double metersPerUnit = 0.01;  // USD's unit when a stage states none: centimetres
        if (const UsdValue* v = root.field("metersPerUnit")) {
            const auto m = v->scalar();
            if (!m || !(*m > 0.0) || !std::isfinite(*m)) fail();
            metersPerUnit = *m;
        }
        if (const UsdValue* v = root.field("upAxis")) {
            const std::string* axis = v->text();
            if (!axis || (*axis != "Y" && *axis != "Z")) fail();
            // Z up becomes Y up: a quarter turn about X takes +Z to +Y.
            if (*axis == "Z") stage = glm::rotate(Matrix(1.0), -glm::half_pi<double>(), glm::dvec3(1, 0, 0));
        }
        stage = glm::scale(stage, glm::dvec3(metersPerUnit));

        Prim* start = nullptr;
        if (const UsdValue* v = root.field("defaultPrim"); v && v->text()) start = root.child(*v->text());
        if (start) {
            visit(*start, stage, 1);
        } else {
            for (const auto& name : children(root)) visit(child(root, name), stage, 1);
        }
        return std::move(model_);
    }

private:
    static const std::vector<std::string>& children(const Prim& prim) {
        static const std::vector<std::string> none;
        const UsdValue* v = prim.field("primChildren");
        if (!v) return none;
        if (v->kind != UsdValue::Kind::textArray) fail();
        return v->texts;
    }
    // A listed child must exist.
    static Prim& child(const Prim& prim, const std::string& name) {
        Prim* c = prim.child(name);
        if (!c) fail();
        return *c;
    }

    static const UsdValue* attributeValue(const Prim& prim, std::string_view name) {
        const UsdSpec* s = prim.property(name);
        if (!s || s->type != UsdSpecType::attribute) return nullptr;
        const UsdValue* v = s->field("default");
        return v && v->kind != UsdValue::Kind::blocked ? v : nullptr;
    }
    static const std::string* token(const Prim& prim, std::string_view name) {
        const UsdValue* v = attributeValue(prim, name);
        return v ? v->text() : nullptr;
    }
    static const std::string* textField(const UsdSpec& spec, std::string_view name) {
        const UsdValue* v = spec.field(name);
        return v ? v->text() : nullptr;
    }
    static bool isType(const Prim& prim, std::string_view type) {
        const std::string* t = textField(*prim.spec, "typeName");
        return t && *t == type;
    }

    void visit(Prim& prim, const Matrix& parent, int depth) {
        // A prim listed twice would be read again and again.
        if (depth > kMaxDepth || prim.visited || prim.spec->type != UsdSpecType::prim) fail();
        prim.visited = true;
        // Only defined prims are drawn; an "over" or "class" alone defines nothing.
        const std::string* specifier = textField(*prim.spec, "specifier");
        if (!specifier || *specifier != "def") return;
        if (const UsdValue* active = prim.field("active"); active && active->scalar() == 0.0) return;
        if (const std::string* visibility = token(prim, "visibility"); visibility && *visibility == "invisible") return;
        const Matrix world = composeTransform(prim, parent);
        if (isType(prim, "Mesh")) readMesh(prim, world);
        for (const auto& name : children(prim)) visit(child(prim, name), world, depth + 1);
    }

    // The prim's own xformOps in their authored order, the first applied outermost.
    static Matrix composeTransform(const Prim& prim, const Matrix& parent) {
        const UsdValue* order = attributeValue(prim, "xformOpOrder");
        if (!order) return parent;
        if (order->kind != UsdValue::Kind::textArray) fail();
        Matrix local(1.0);
        bool reset = false;
        for (size_t i = 0; i < order->texts.size(); ++i) {
            std::string_view name = order->texts[i];
            if (name == "!resetXformStack!") {
                if (i != 0) fail();
                reset = true;
                continue;
            }
            const bool invert = name.substr(0, 8) == "!invert!";
            if (invert) name.remove_prefix(8);
            Matrix op = xformOp(prim, name);
            if (invert) {
                if (std::fabs(glm::determinant(op)) < 1e-300) fail();
                op = glm::inverse(op);
            }
            local = local * op;
        }
        return reset ? local : parent * local;
    }

    static Matrix xformOp(const Prim& prim, std::string_view name) {
        if (name.substr(0, 8) != "xformOp:") fail();
        std::string_view kind = name.substr(8);
        kind = kind.substr(0, kind.find(':'));
        static const std::string_view known[] = {"translate", "scale",     "rotateX",   "rotateY",   "rotateZ",
                                                 "rotateXYZ", "rotateXZY", "rotateYXZ", "rotateYZX", "rotateZXY",
                                                 "rotateZYX", "orient",    "transform"};
        if (std::find(std::begin(known), std::end(known), kind) == std::end(known)) fail();
        const UsdValue* v = attributeValue(prim, name);
        if (!v) return Matrix(1.0);  // no default value (time samples only): not applied
        auto numbers = [&](size_t n) -> const std::vector<double>& {
            const std::vector<double>* t = v->tuple(n);
            if (!t) fail();
            for (double d : *t)
                if (!std::isfinite(d)) fail();
            return *t;
        };
        const Matrix identity(1.0);
        auto axisRotation = [&](char axis, double degrees) {
            const glm::dvec3 a(axis == 'X', axis == 'Y', axis == 'Z');
            return glm::rotate(identity, glm::radians(degrees), a);
        };
        if (kind == "translate") {
            const auto& t = numbers(3);
            return glm::translate(identity, glm::dvec3(t[0], t[1], t[2]));
        }
        if (kind == "scale") {
            const auto& s = numbers(3);
            return glm::scale(identity, glm::dvec3(s[0], s[1], s[2]));
        }
        if (kind == "rotateX" || kind == "rotateY" || kind == "rotateZ") return axisRotation(kind[6], numbers(1)[0]);
        if (kind.size() == 9 && kind.substr(0, 6) == "rotate") {
            // rotateXYZ turns about X first, then Y, then Z.
            const auto& r = numbers(3);
            Matrix m(1.0);
            for (const char axis : kind.substr(6)) m = axisRotation(axis, r[static_cast<size_t>(axis - 'X')]) * m;
            return m;
        }
        if (kind == "orient") {
            const auto& q = numbers(4);  // real part first
            const glm::dquat rotation(q[0], q[1], q[2], q[3]);
            if (!(glm::length(rotation) > 0.0)) fail();
            return glm::mat4_cast(glm::normalize(rotation));
        }
        // transform: the rows of a row-vector matrix are the columns of ours.
        const auto& m = numbers(16);
        Matrix out;
        std::memcpy(&out[0][0], m.data(), sizeof(double) * 16);
        return out;
    }

    static Interpolation interpolationOf(const UsdSpec& spec, Interpolation fallback) {
        const std::string* t = textField(spec, "interpolation");
        if (!t) return fallback;
        if (*t == "constant") return Interpolation::constant;
        if (*t == "uniform") return Interpolation::uniform;
        if (*t == "vertex" || *t == "varying") return Interpolation::vertex;
        if (*t == "faceVarying") return Interpolation::faceVarying;
        fail();
    }

    // A primvar or the plain normals attribute; none when it has no usable value.
    static std::optional<Primvar> primvar(const Prim& prim, const std::string& name, uint8_t components,
                                          Interpolation fallback, uint64_t faces, uint64_t points, uint64_t corners) {
        const UsdSpec* spec = prim.property(name);
        const UsdValue* v = attributeValue(prim, name);
        if (!spec || !v) return std::nullopt;
        if (const UsdValue* size = spec->field("elementSize"); size && size->scalar() != 1.0) return std::nullopt;
        Primvar p;
        p.components = components;
        p.interpolation = interpolationOf(*spec, fallback);
        if (!v->floatArray(components, p.values) || !finite(p.values)) fail();
        if (name.substr(0, 9) == "primvars:")
            if (const UsdValue* indices = attributeValue(prim, name + ":indices"))
                if (!indices->intArray(p.indices)) fail();
        const uint64_t needed = p.interpolation == Interpolation::constant  ? 1
                                : p.interpolation == Interpolation::uniform ? faces
                                : p.interpolation == Interpolation::vertex  ? points
                                                                            : corners;
        const uint64_t valueCount = p.values.size() / components;
        if (p.indices.empty()) {
            if (valueCount != needed) fail();
        } else {
            if (p.indices.size() != needed) fail();
            for (int32_t i : p.indices)
                if (i < 0 || static_cast<uint64_t>(i) >= valueCount) fail();
        }
        if (needed == 0) return std::nullopt;
        return p;
    }

    // The first texture-coordinate primvar in authored order; float2 ones only when no
    // primvar is typed as texture coordinates.
    static std::string uvPrimvarName(const Prim& prim) {
        const UsdValue* props = prim.field("properties");
        if (!props || props->kind != UsdValue::Kind::textArray) return {};
        std::string fallback;
        for (const auto& name : props->texts) {
            if (name.substr(0, 9) != "primvars:" || name.size() <= 9) continue;
            if (name.size() > 8 && name.substr(name.size() - 8) == ":indices") continue;
            const UsdSpec* s = prim.property(name);
            const std::string* type = s ? textField(*s, "typeName") : nullptr;
            if (!type) continue;
            if (*type == "texCoord2f[]" || *type == "texCoord2d[]" || *type == "texCoord2h[]") return name;
            if (fallback.empty() && (*type == "float2[]" || *type == "double2[]" || *type == "half2[]")) fallback = name;
        }
        return fallback;
    }
    void readMesh(const Prim& prim, const Matrix& world) {
        const UsdValue* pointsValue = attributeValue(prim, "points");
        const UsdValue* countsValue = attributeValue(prim, "faceVertexCounts");
        const UsdValue* indicesValue = attributeValue(prim, "faceVertexIndices");
        if (!pointsValue || !countsValue || !indicesValue) return;  // nothing to draw
        std::vector<float> points;
        std::vector<int32_t> counts, indices, holes;
        if (!pointsValue->floatArray(3, points) || !finite(points)) fail();
        if (!countsValue->intArray(counts) || !indicesValue->intArray(indices)) fail();
        const uint64_t pointCount = points.size() / 3;
        uint64_t corners = 0;
        for (int32_t c : counts) {
            if (c < 0) fail();
            corners += static_cast<uint64_t>(c);
        }
        if (corners != indices.size() || corners > UINT32_MAX) fail();
        for (int32_t i : indices)
            if (i < 0 || static_cast<uint64_t>(i) >= pointCount) fail();
        std::vector<uint8_t> hole(counts.size(), 0);
        if (const UsdValue* h = attributeValue(prim, "holeIndices")) {
            if (!h->intArray(holes)) fail();
            for (int32_t f : holes) {
                if (f < 0 || static_cast<uint64_t>(f) >= counts.size()) fail();
                hole[static_cast<size_t>(f)] = 1;
            }
        }
        const uint64_t faces = counts.size();
        std::optional<Primvar> normals =
            primvar(prim, "primvars:normals", 3, Interpolation::constant, faces, pointCount, corners);
        if (!normals) normals = primvar(prim, "normals", 3, Interpolation::vertex, faces, pointCount, corners);
        std::optional<Primvar> uvs;
        if (const std::string uvName = uvPrimvarName(prim); !uvName.empty())
            uvs = primvar(prim, uvName, 2, Interpolation::constant, faces, pointCount, corners);

        const glm::dmat3 linear(world);
        const double det = glm::determinant(linear);
        glm::dmat3 normalMatrix(1.0);
        if (normals) {
            if (std::fabs(det) > 1e-300) normalMatrix = glm::transpose(glm::inverse(linear));
            else normals.reset();  // a flattened mesh: let the finish step make normals
        }
        const std::string* orientation = token(prim, "orientation");
        const bool leftHanded = orientation && *orientation == "leftHanded";
        // A mirroring transform turns the winding too.
        const bool flip = (det < 0) != leftHanded;

        Mesh mesh;
        mesh.name = std::string(prim.name());
        Submesh sub;
        sub.geometryType = GeometryType::triangles;
        sub.materialIndex = materialOf(prim);
        auto isPerPoint = [](const std::optional<Primvar>& p) {
            return !p || p->interpolation == Interpolation::vertex;
        };
        const bool perCorner = !isPerPoint(normals) || !isPerPoint(uvs);
        auto place = [&](uint64_t point) {
            const float* p = &points[point * 3];
            const glm::dvec4 w = world * glm::dvec4(p[0], p[1], p[2], 1.0);
            const pk::float3 out(static_cast<float>(w.x), static_cast<float>(w.y), static_cast<float>(w.z));
            if (!std::isfinite(out.x) || !std::isfinite(out.y) || !std::isfinite(out.z)) fail();
            return out;
        };
        auto turn = [&](const float* n) {
            const glm::dvec3 t = normalMatrix * glm::dvec3(n[0], n[1], n[2]);
            const double len = glm::length(t);
            return len > 0 ? pk::float3(glm::vec3(t / len)) : pk::float3(0.0f);
        };
        // The element a primvar of this interpolation reads at a corner.
        auto element = [](const Primvar& p, uint64_t face, uint64_t point, uint64_t corner) -> uint64_t {
            switch (p.interpolation) {
                case Interpolation::constant: return 0;
                case Interpolation::uniform: return face;
                case Interpolation::vertex: return point;
                case Interpolation::faceVarying: return corner;
            }
            return 0;
        };
        if (!perCorner) {
            mesh.positions.reserve(pointCount);
            for (uint64_t v = 0; v < pointCount; ++v) {
                mesh.positions.push_back(place(v));
                if (normals) mesh.normals.push_back(turn(normals->at(v)));
                if (uvs) mesh.textureCoordinates.emplace_back(uvs->at(v)[0], uvs->at(v)[1]);
            }
        }
        auto corner = [&](uint64_t face, uint64_t c) {
            const auto point = static_cast<uint64_t>(indices[c]);
            if (!perCorner) {
                sub.indices.push_back(static_cast<uint32_t>(point));
                return;
            }
            sub.indices.push_back(static_cast<uint32_t>(mesh.positions.size()));
            mesh.positions.push_back(place(point));
            if (normals) mesh.normals.push_back(turn(normals->at(element(*normals, face, point, c))));
            if (uvs) {
                const float* t = uvs->at(element(*uvs, face, point, c));
                mesh.textureCoordinates.emplace_back(t[0], t[1]);
            }
        };
        uint64_t offset = 0;
        for (uint64_t f = 0; f < faces; ++f) {
            const auto n = static_cast<uint64_t>(counts[f]);
            if (n >= 3 && !hole[f]) {
                for (uint64_t k = 1; k + 1 < n; ++k) {
                    uint64_t a = offset, b = offset + k, c = offset + k + 1;
                    if (indices[a] == indices[b] || indices[b] == indices[c] || indices[a] == indices[c]) continue;
                    if (flip) std::swap(b, c);
                    corner(f, a);
                    corner(f, b);
                    corner(f, c);
                }
            }
            offset += n;
        }
        if (sub.indices.empty()) return;
        mesh.submeshes.push_back(std::move(sub));
        finishMesh(mesh, options_.normalCreaseThreshold);
        model_.meshes.push_back(std::move(mesh));
    }

    static const std::string* bindingTarget(const Prim& prim) {
        const UsdSpec* rel = prim.property("material:binding");
        if (!rel || rel->type != UsdSpecType::relationship) return nullptr;
        const UsdValue* targets = rel->field("targetPaths");
        if (!targets || targets->kind != UsdValue::Kind::paths || targets->texts.empty()) return nullptr;
        return &targets->texts.front();
    }

    Prim* find(std::string_view path) {
        const auto it = prims_.find(path);
        return it == prims_.end() ? nullptr : &it->second;
    }

    // The material bound to the mesh, an ancestor, or failing both its first bound subset.
    uint32_t materialOf(const Prim& prim) {
        const std::string* target = nullptr;
        for (const Prim* at = &prim; !target && at; at = at->parent) target = bindingTarget(*at);
        for (const auto& name : children(prim)) {
            if (target) break;
            const Prim& subset = child(prim, name);
            if (isType(subset, "GeomSubset")) target = bindingTarget(subset);
        }
        const std::string key = target ? *target : std::string();
        if (const auto it = materialSlots_.find(key); it != materialSlots_.end()) return it->second;
        Material material;
        if (target) {
            material.name = target->substr(target->rfind('/') + 1);
            if (const Prim* look = find(*target)) material.baseColorTexture = diffuseTexture(*look);
        }
        const auto slot = static_cast<uint32_t>(model_.materials.size());
        model_.materials.push_back(std::move(material));
        materialSlots_.emplace(key, slot);
        return slot;
    }

    // The prim and property a connection names ("/Mat/Tex.outputs:rgb").
    static std::pair<std::string_view, std::string_view> split(std::string_view path) {
        const size_t dot = path.rfind('.');
        const size_t slash = path.rfind('/');
        if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {path, {}};
        return {path.substr(0, dot), path.substr(dot + 1)};
    }

    static const std::string* firstConnection(const Prim& prim, std::string_view attribute) {
        const UsdSpec* s = prim.property(attribute);
        const UsdValue* c = s ? s->field("connectionPaths") : nullptr;
        if (!c || c->kind != UsdValue::Kind::paths || c->texts.empty()) return nullptr;
        return &c->texts.front();
    }

    static bool isShader(const Prim& prim, std::string_view id) {
        const std::string* infoId = token(prim, "info:id");
        return infoId && *infoId == id;
    }

    std::optional<TextureReference> diffuseTexture(const Prim& material) {
        const Prim* surface = nullptr;
        if (const std::string* c = firstConnection(material, "outputs:surface")) surface = find(split(*c).first);
        if (!surface || !isShader(*surface, "UsdPreviewSurface")) {
            surface = nullptr;
            for (const auto& name : children(material)) {
                const Prim& shader = child(material, name);
                if (isShader(shader, "UsdPreviewSurface")) {
                    surface = &shader;
                    break;
                }
            }
        }
        if (!surface) return std::nullopt;
        // Follow diffuseColor through interface inputs and node graphs to a texture.
        const Prim* at = surface;
        std::string_view input = "inputs:diffuseColor";
        for (int hop = 0; hop < kMaxConnectionHops; ++hop) {
            const std::string* c = firstConnection(*at, input);
            if (!c) return std::nullopt;
            const auto [primPath, property] = split(*c);
            at = find(primPath);
            if (!at || property.empty()) return std::nullopt;
            input = property;
            if (isShader(*at, "UsdUVTexture")) {
                const UsdValue* file = attributeValue(*at, "inputs:file");
                const std::string* asset = file ? file->text() : nullptr;
                if (!asset || asset->empty()) return std::nullopt;
                return texture_(*asset);
            }
        }
        return std::nullopt;
    }

    const UsdTextureResolver& texture_;
    const ImportOptions& options_;
    std::unordered_map<std::string_view, Prim> prims_;
    Model model_;
    std::map<std::string, uint32_t> materialSlots_;
};

std::string lowerExtensionOf(std::string_view name) {
    const size_t dot = name.rfind('.');
    const size_t slash = name.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    std::string ext(name.substr(dot + 1));
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

std::optional<UsdFormat> layerFormat(std::string_view name, std::span<const uint8_t> bytes) {
    const std::string ext = lowerExtensionOf(name);
    if (ext == "usda") return UsdFormat::usda;
    if (ext == "usdc") return UsdFormat::usdc;
    if (ext == "usd") return isUsdc(bytes) ? UsdFormat::usdc : UsdFormat::usda;
    return std::nullopt;
}

std::optional<UsdLayer> readLayer(std::span<const uint8_t> bytes, UsdFormat format) {
    if (format == UsdFormat::usdc) return readUsdc(bytes);
    return readUsda(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace

std::optional<UsdFormat> usdFormatOf(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
    if (lowerExtension(path) == "usdz") return UsdFormat::usdz;
    return layerFormat(path.filename().string(), bytes);
}

bool isUsdFile(const std::filesystem::path& path) {
    const std::string ext = lowerExtension(path);
    return ext == "usdz" || ext == "usda" || ext == "usdc" || ext == "usd";
}

std::optional<Model> buildUsdModel(const UsdLayer& layer, const UsdTextureResolver& texture,
                                   const ImportOptions& options) {
    try {
        return StageReader(layer, texture, options).read();
    } catch (const Malformed&) {
        return std::nullopt;
    }
}

std::optional<Model> importUsdBytes(std::span<const uint8_t> bytes, UsdFormat format, const ImportOptions& options,
                                    const std::filesystem::path& folder) {
    if (format != UsdFormat::usdz) {
        const auto layer = readLayer(bytes, format);
        if (!layer) return std::nullopt;
        return buildUsdModel(
            *layer,
            [&](const std::string& asset) -> std::optional<TextureReference> {
                TextureReference ref;
                const std::filesystem::path file(asset);
                ref.file = file.is_absolute() ? file : folder / file;
                return ref;
            },
            options);
    }
    const auto package = UsdzPackage::open(bytes);
    if (!package) return std::nullopt;
    const UsdzPackage::Entry& rootEntry = package->entries().front();
    const auto rootBytes = package->data(rootEntry);
    const auto rootFormat = layerFormat(rootEntry.name, rootBytes);
    if (!rootFormat) return std::nullopt;
    const auto layer = readLayer(rootBytes, *rootFormat);
    if (!layer) return std::nullopt;
    // Many materials may name one large image: copies stop once they would outgrow the package.
    uint64_t copied = 0;
    return buildUsdModel(
        *layer,
        [&](const std::string& asset) -> std::optional<TextureReference> {
            const auto name = resolvePackagePath(rootEntry.name, asset);
            if (!name) return std::nullopt;
            const auto data = package->find(*name);
            if (!data || data->empty() || data->size() > bytes.size() - copied) return std::nullopt;
            copied += data->size();
            TextureReference ref;
            ref.encoded.assign(data->begin(), data->end());
            ref.formatHint = lowerExtensionOf(*name);
            return ref;
        },
        options);
}

std::optional<Model> importUsd(const std::filesystem::path& path, const ImportOptions& options) {
    const auto bytes = readFile(path, kMaxFileBytes);
    if (!bytes) return std::nullopt;
    const auto format = usdFormatOf(path, *bytes);
    if (!format) return std::nullopt;
    return importUsdBytes(*bytes, *format, options, path.parent_path());
}

}  // namespace pk::modelimport
