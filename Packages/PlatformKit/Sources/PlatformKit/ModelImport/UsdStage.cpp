#include "PlatformKit/ModelImport/UsdStage.h"

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <unordered_map>

#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/ModelImport/Malformed.h"
#include "PlatformKit/ModelImport/MeshFinish.h"
#include "PlatformKit/ModelImport/Triangulate.h"
#include "PlatformKit/ModelImport/UsdaReader.h"
#include "PlatformKit/ModelImport/UsdcReader.h"
#include "PlatformKit/ModelImport/UsdzPackage.h"

namespace pk::modelimport {

namespace {

constexpr int kMaxDepth = 256;
constexpr int kMaxConnectionHops = 8;

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
    // Which stored value element e reads.
    uint64_t slot(uint64_t e) const { return indices.empty() ? e : static_cast<uint64_t>(indices[e]); }
    const float* at(uint64_t e) const { return values.data() + slot(e) * components; }
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
        PK_MODEL_REFUSE_IF(rootIt == prims_.end());
        Prim& root = rootIt->second;
        Matrix stage(1.0);
        double metersPerUnit = 0.01;  // USD's unit when a stage states none: centimetres
        if (const UsdValue* v = root.field("metersPerUnit")) {
            const auto m = v->scalar();
            PK_MODEL_REFUSE_IF(!m || !(*m > 0.0) || !std::isfinite(*m));
            metersPerUnit = *m;
        }
        if (const UsdValue* v = root.field("upAxis")) {
            const std::string* axis = v->text();
            PK_MODEL_REFUSE_IF(!axis || (*axis != "Y" && *axis != "Z"));
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
        PK_MODEL_REFUSE_IF(v->kind != UsdValue::Kind::textArray);
        return v->texts;
    }
    // A listed child must exist.
    static Prim& child(const Prim& prim, const std::string& name) {
        Prim* c = prim.child(name);
        PK_MODEL_REFUSE_IF(!c);
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
        PK_MODEL_REFUSE_IF(depth > kMaxDepth || prim.visited || prim.spec->type != UsdSpecType::prim);
        prim.visited = true;
        current_ = prim.path;
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
        PK_MODEL_REFUSE_IF(order->kind != UsdValue::Kind::textArray);
        Matrix local(1.0);
        bool reset = false;
        for (size_t i = 0; i < order->texts.size(); ++i) {
            std::string_view name = order->texts[i];
            if (name == "!resetXformStack!") {
                PK_MODEL_REFUSE_IF(i != 0);
                reset = true;
                continue;
            }
            const bool invert = name.substr(0, 8) == "!invert!";
            if (invert) name.remove_prefix(8);
            Matrix op = xformOp(prim, name);
            if (invert) {
                PK_MODEL_REFUSE_IF(std::fabs(glm::determinant(op)) < 1e-300);
                op = glm::inverse(op);
            }
            local = local * op;
        }
        return reset ? local : parent * local;
    }

    static Matrix xformOp(const Prim& prim, std::string_view name) {
        PK_MODEL_REFUSE_IF(name.substr(0, 8) != "xformOp:");
        std::string_view kind = name.substr(8);
        kind = kind.substr(0, kind.find(':'));
        static const std::string_view known[] = {"translate", "scale",     "rotateX",   "rotateY",   "rotateZ",
                                                 "rotateXYZ", "rotateXZY", "rotateYXZ", "rotateYZX", "rotateZXY",
                                                 "rotateZYX", "orient",    "transform"};
        PK_MODEL_REFUSE_IF(std::find(std::begin(known), std::end(known), kind) == std::end(known));
        const UsdValue* v = attributeValue(prim, name);
        if (!v) return Matrix(1.0);  // no default value (time samples only): not applied
        auto numbers = [&](size_t n) -> const std::vector<double>& {
            const std::vector<double>* t = v->tuple(n);
            PK_MODEL_REFUSE_IF(!t);
            for (double d : *t)
                PK_MODEL_REFUSE_IF(!std::isfinite(d));
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
            PK_MODEL_REFUSE_IF(!(glm::length(rotation) > 0.0));
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
        refuse("unknown interpolation");
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
        PK_MODEL_REFUSE_IF(!v->floatArray(components, p.values) || !finite(p.values));
        if (name.substr(0, 9) == "primvars:")
            if (const UsdValue* indices = attributeValue(prim, name + ":indices"))
                PK_MODEL_REFUSE_IF(!indices->intArray(p.indices));
        const uint64_t needed = p.interpolation == Interpolation::constant  ? 1
                                : p.interpolation == Interpolation::uniform ? faces
                                : p.interpolation == Interpolation::vertex  ? points
                                                                            : corners;
        const uint64_t valueCount = p.values.size() / components;
        if (p.indices.empty()) {
            PK_MODEL_REFUSE_IF(valueCount != needed);
        } else {
            PK_MODEL_REFUSE_IF(p.indices.size() != needed);
            for (int32_t i : p.indices)
                PK_MODEL_REFUSE_IF(i < 0 || static_cast<uint64_t>(i) >= valueCount);
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
    // A mesh's topology, checked whole before anything is built from it.
    struct Topology {
        std::vector<float> points;
        std::vector<int32_t> counts, indices;
        std::vector<uint8_t> hole;
        uint64_t pointCount = 0, corners = 0;
    };

    // Its normals and first texture coordinates, with how normals turn into world space.
    struct MeshPrimvars {
        std::optional<Primvar> normals, uvs;
        glm::dmat3 normalMatrix{1.0};
        bool flip = false;  // the winding turns (a mirroring transform, or left-handed faces)

        static const float* values(const Primvar& p, uint64_t slot) { return p.values.data() + slot * p.components; }
    };

    void readMesh(const Prim& prim, const Matrix& world) {
        const auto topology = validateTopology(prim);
        if (!topology) return;  // nothing to draw
        MeshPrimvars primvars = meshPrimvars(prim, *topology, world);
        emitMesh(prim, *topology, primvars, world);
    }

    static std::optional<Topology> validateTopology(const Prim& prim) {
        const UsdValue* pointsValue = attributeValue(prim, "points");
        const UsdValue* countsValue = attributeValue(prim, "faceVertexCounts");
        const UsdValue* indicesValue = attributeValue(prim, "faceVertexIndices");
        if (!pointsValue || !countsValue || !indicesValue) return std::nullopt;
        Topology t;
        if (!pointsValue->floatArray(3, t.points) || !finite(t.points)) refuse("points are not finite float3 values");
        if (!countsValue->intArray(t.counts) || !indicesValue->intArray(t.indices))
            refuse("faceVertexCounts or faceVertexIndices are not integer arrays");
        t.pointCount = t.points.size() / 3;
        for (int32_t c : t.counts) {
            if (c < 0) refuse("a negative faceVertexCount");
            t.corners += static_cast<uint64_t>(c);
        }
        if (t.corners != t.indices.size() || t.corners > UINT32_MAX)
            refuse("faceVertexCounts add up to " + std::to_string(t.corners) + " corners but " +
                   std::to_string(t.indices.size()) + " faceVertexIndices are given");
        for (int32_t i : t.indices)
            if (i < 0 || static_cast<uint64_t>(i) >= t.pointCount)
                refuse("faceVertexIndex " + std::to_string(i) + " names no point");
        t.hole.assign(t.counts.size(), 0);
        if (const UsdValue* h = attributeValue(prim, "holeIndices")) {
            std::vector<int32_t> holes;
            if (!h->intArray(holes)) refuse("holeIndices is not an integer array");
            for (int32_t f : holes) {
                if (f < 0 || static_cast<uint64_t>(f) >= t.counts.size()) refuse("a hole index names no face");
                t.hole[static_cast<size_t>(f)] = 1;
            }
        }
        return t;
    }

    static MeshPrimvars meshPrimvars(const Prim& prim, const Topology& t, const Matrix& world) {
        MeshPrimvars out;
        const uint64_t faces = t.counts.size();
        out.normals = primvar(prim, "primvars:normals", 3, Interpolation::constant, faces, t.pointCount, t.corners);
        if (!out.normals)
            out.normals = primvar(prim, "normals", 3, Interpolation::vertex, faces, t.pointCount, t.corners);
        if (const std::string uvName = uvPrimvarName(prim); !uvName.empty())
            out.uvs = primvar(prim, uvName, 2, Interpolation::constant, faces, t.pointCount, t.corners);
        const glm::dmat3 linear(world);
        const double det = glm::determinant(linear);
        if (out.normals) {
            if (std::fabs(det) > 1e-300) out.normalMatrix = glm::transpose(glm::inverse(linear));
            else out.normals.reset();  // a flattened mesh: let the finish step make normals
        }
        const std::string* orientation = token(prim, "orientation");
        const bool leftHanded = orientation && *orientation == "leftHanded";
        out.flip = (det < 0) != leftHanded;
        return out;
    }

    // Triangles by the readers' one polygon rule (Triangulate.h), holes and triangles
    // that repeat a point left out; vertices per point, or per corner when a primvar
    // varies per face or corner, joined again by the finish step.
    void emitMesh(const Prim& prim, const Topology& t, const MeshPrimvars& pv, const Matrix& world) {
        Mesh mesh;
        mesh.name = std::string(prim.name());
        Submesh sub;
        sub.geometryType = GeometryType::triangles;
        sub.materialIndex = materialOf(prim);
        auto isPerPoint = [](const std::optional<Primvar>& p) {
            return !p || p->interpolation == Interpolation::vertex;
        };
        const bool perCorner = !isPerPoint(pv.normals) || !isPerPoint(pv.uvs);
        auto place = [&](uint64_t point) {
            const float* p = &t.points[point * 3];
            const glm::dvec4 w = world * glm::dvec4(p[0], p[1], p[2], 1.0);
            const pk::float3 out(static_cast<float>(w.x), static_cast<float>(w.y), static_cast<float>(w.z));
            if (!std::isfinite(out.x) || !std::isfinite(out.y) || !std::isfinite(out.z))
                refuse("a point is not finite in world space");
            return out;
        };
        auto turn = [&](const float* n) {
            const glm::dvec3 w = pv.normalMatrix * glm::dvec3(n[0], n[1], n[2]);
            const double len = glm::length(w);
            return len > 0 ? pk::float3(glm::vec3(w / len)) : pk::float3(0.0f);
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
            mesh.positions.reserve(t.pointCount);
            for (uint64_t v = 0; v < t.pointCount; ++v) {
                mesh.positions.push_back(place(v));
                if (pv.normals) mesh.normals.push_back(turn(pv.normals->at(v)));
                if (pv.uvs) mesh.textureCoordinates.emplace_back(pv.uvs->at(v)[0], pv.uvs->at(v)[1]);
            }
        }
        struct Link {
            uint64_t normal, uv;
            uint32_t out, next;
        };
        std::vector<uint32_t> firstLink(perCorner ? t.pointCount : 0, UINT32_MAX);
        std::vector<Link> links;
        auto corner = [&](uint64_t face, uint64_t c) {
            const auto point = static_cast<uint64_t>(t.indices[c]);
            if (!perCorner) {
                sub.indices.push_back(static_cast<uint32_t>(point));
                return;
            }
            // Corners that read the same point and the same stored values share a vertex
            // (found through a short chain per point; past it a corner gets its own, which
            // the finish step joins), so indexed face-varying values do not multiply vertices.
            const uint64_t nSlot = pv.normals ? pv.normals->slot(element(*pv.normals, face, point, c)) : 0;
            const uint64_t uvSlot = pv.uvs ? pv.uvs->slot(element(*pv.uvs, face, point, c)) : 0;
            constexpr int kChainBound = 16;
            int walked = 0;
            for (uint32_t l = firstLink[point]; l != UINT32_MAX && walked < kChainBound; l = links[l].next, ++walked) {
                if (links[l].normal == nSlot && links[l].uv == uvSlot) {
                    sub.indices.push_back(links[l].out);
                    return;
                }
            }
            const auto out = static_cast<uint32_t>(mesh.positions.size());
            links.push_back(Link{nSlot, uvSlot, out, firstLink[point]});
            firstLink[point] = static_cast<uint32_t>(links.size() - 1);
            sub.indices.push_back(out);
            mesh.positions.push_back(place(point));
            if (pv.normals) mesh.normals.push_back(turn(pv.values(*pv.normals, nSlot)));
            if (pv.uvs) {
                const float* uv = pv.values(*pv.uvs, uvSlot);
                mesh.textureCoordinates.emplace_back(uv[0], uv[1]);
            }
        };
        // Polygons are split in the mesh's own space: an affine map keeps which corners see each other.
        const std::span<const pk::float3> own(reinterpret_cast<const pk::float3*>(t.points.data()), t.pointCount);
        static_assert(sizeof(pk::float3) == 3 * sizeof(float));
        std::vector<uint32_t> polygon, local;
        uint64_t triangleCorners = 0;
        for (const int32_t n : t.counts) triangleCorners += n >= 3 ? (uint64_t(n) - 2) * 3 : 0;
        sub.indices.reserve(triangleCorners);
        uint64_t offset = 0;
        for (uint64_t f = 0; f < t.counts.size(); ++f) {
            const auto n = static_cast<uint64_t>(t.counts[f]);
            if (n >= 3 && !t.hole[f]) {
                polygon.assign(t.indices.begin() + static_cast<ptrdiff_t>(offset),
                               t.indices.begin() + static_cast<ptrdiff_t>(offset + n));
                local.clear();
                triangulateCorners(polygon, own, local);
                for (size_t k = 0; k + 3 <= local.size(); k += 3) {
                    uint64_t a = offset + local[k], b = offset + local[k + 1], c = offset + local[k + 2];
                    if (t.indices[a] == t.indices[b] || t.indices[b] == t.indices[c] || t.indices[a] == t.indices[c])
                        continue;
                    if (pv.flip) std::swap(b, c);
                    corner(f, a);
                    corner(f, b);
                    corner(f, c);
                }
            }
            offset += n;
        }
        if (sub.indices.empty()) return;
        sub.indices.shrink_to_fit();
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
                // Paths written on Windows ("textures\\a.png") name what the OBJ reader's would.
                std::string path = *asset;
                std::replace(path.begin(), path.end(), '\\', '/');
                return texture_(path);
            }
        }
        return std::nullopt;
    }

public:
    // The prim being read when a check failed, for refusals.
    std::string_view currentPrim() const { return current_; }

private:
    const UsdTextureResolver& texture_;
    const ImportOptions& options_;
    std::string_view current_;
    std::unordered_map<std::string_view, Prim> prims_;
    Model model_;
    std::map<std::string, uint32_t> materialSlots_;
};

std::optional<UsdFormat> layerFormat(std::string_view name, std::span<const uint8_t> bytes) {
    const std::string ext = lowerExtension(std::filesystem::path(name));
    if (ext == "usda") return UsdFormat::usda;
    if (ext == "usdc") return UsdFormat::usdc;
    if (ext == "usd") return isUsdc(bytes) ? UsdFormat::usdc : UsdFormat::usda;
    return std::nullopt;
}

UsdLayer parseLayer(std::span<const uint8_t> bytes, UsdFormat format) {
    if (format == UsdFormat::usdc) return parseUsdc(bytes);
    return parseUsda(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
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

Model parseUsdModel(const UsdLayer& layer, const UsdTextureResolver& texture, const ImportOptions& options) {
    StageReader reader(layer, texture, options);
    try {
        return reader.read();
    } catch (Malformed& m) {
        if (!m.located)
            m.description += reader.currentPrim().empty() ? std::string(" in the layer's own metadata")
                                                          : " at prim " + std::string(reader.currentPrim());
        m.located = true;
        throw;
    }
}

std::optional<Model> buildUsdModel(const UsdLayer& layer, const UsdTextureResolver& texture,
                                   const ImportOptions& options) {
    return noneIfRefused("usd", [&] { return parseUsdModel(layer, texture, options); });
}

Model parseUsdBytes(std::span<const uint8_t> bytes, UsdFormat format, const ImportOptions& options,
                    const std::filesystem::path& folder) {
    if (format != UsdFormat::usdz) {
        const UsdLayer layer = parseLayer(bytes, format);
        return parseUsdModel(
            layer,
            [&](const std::string& asset) -> std::optional<TextureReference> {
                TextureReference ref;
                const std::filesystem::path file(asset);
                ref.file = file.is_absolute() ? file : folder / file;
                return ref;
            },
            options);
    }
    const UsdzPackage package = UsdzPackage::read(bytes);
    const UsdzPackage::Entry& rootEntry = package.entries().front();
    const auto rootBytes = package.data(rootEntry);
    const auto rootFormat = layerFormat(rootEntry.name, rootBytes);
    if (!rootFormat) refuse("the package's first entry " + rootEntry.name + " is not a USD layer");
    const UsdLayer layer = parseLayer(rootBytes, *rootFormat);
    // Many materials may name one large image: copies stop once they would outgrow the package.
    uint64_t copied = 0;
    return parseUsdModel(
        layer,
        [&](const std::string& asset) -> std::optional<TextureReference> {
            const auto name = resolvePackagePath(rootEntry.name, asset);
            if (!name) return std::nullopt;
            const auto data = package.find(*name);
            if (!data || data->empty() || data->size() > bytes.size() - copied) return std::nullopt;
            copied += data->size();
            TextureReference ref;
            ref.encoded.assign(data->begin(), data->end());
            ref.formatHint = lowerExtension(std::filesystem::path(*name));
            return ref;
        },
        options);
}

std::optional<Model> importUsdBytes(std::span<const uint8_t> bytes, UsdFormat format, const ImportOptions& options,
                                    const std::filesystem::path& folder) {
    return noneIfRefused("usd", [&] { return parseUsdBytes(bytes, format, options, folder); });
}

}  // namespace pk::modelimport
