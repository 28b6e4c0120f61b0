#include "PlatformKit/ModelImport/PlyReader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "PlatformKit/ModelImport/Malformed.h"
#include "PlatformKit/ModelImport/MeshFinish.h"
#include "PlatformKit/ModelImport/TextScan.h"
#include "PlatformKit/ModelImport/Triangulate.h"

namespace pk::modelimport {

namespace {

enum class Encoding { ascii, littleEndian, bigEndian };
enum class Type : uint8_t { i8, u8, i16, u16, i32, u32, f32, f64 };

std::optional<Type> typeNamed(std::string_view s) {
    struct Name {
        std::string_view name;
        Type type;
    };
    static constexpr Name names[] = {
        {"char", Type::i8},    {"int8", Type::i8},      {"uchar", Type::u8},     {"uint8", Type::u8},
        {"short", Type::i16},  {"int16", Type::i16},    {"ushort", Type::u16},   {"uint16", Type::u16},
        {"int", Type::i32},    {"int32", Type::i32},    {"uint", Type::u32},     {"uint32", Type::u32},
        {"float", Type::f32},  {"float32", Type::f32},  {"double", Type::f64},   {"float64", Type::f64},
    };
    for (const auto& n : names)
        if (n.name == s) return n.type;
    return std::nullopt;
}

size_t sizeOf(Type t) {
    switch (t) {
        case Type::i8: case Type::u8: return 1;
        case Type::i16: case Type::u16: return 2;
        case Type::i32: case Type::u32: case Type::f32: return 4;
        case Type::f64: return 8;
    }
    return 0;
}

bool isIntegral(Type t) { return t != Type::f32 && t != Type::f64; }

struct Property {
    std::string name;
    Type type = Type::f32;
    bool isList = false;
    Type countType = Type::u8;
};

struct Element {
    std::string name;
    uint64_t count = 0;
    std::vector<Property> properties;
};

struct Header {
    Encoding encoding = Encoding::ascii;
    std::vector<Element> elements;
    size_t bodyOffset = 0;
};

// Header lines end with "\n" (a "\r" before it is allowed); "end_header" ends it.
Header parseHeader(std::string_view text) {
    TextScan scan(text);
    std::string_view line;
    uint64_t lineNumber = 1;
    if (!scan.line(line) || line != "ply") refuseOnLine("no \"ply\" magic line", 1);
    Header header;
    bool haveFormat = false;
    while (true) {
        ++lineNumber;
        if (!scan.line(line)) refuseOnLine("the header has no end_header", lineNumber);
        std::string_view rest = line;
        const std::string_view keyword = nextWord(rest);
        if (keyword == "end_header") break;
        if (keyword.empty() || keyword == "comment" || keyword == "obj_info") continue;
        if (keyword == "format") {
            const std::string_view kind = nextWord(rest);
            const std::string_view version = nextWord(rest);
            if (version != "1.0" && version != "1") refuseOnLine("format version is not 1.0", lineNumber);
            if (kind == "ascii") header.encoding = Encoding::ascii;
            else if (kind == "binary_little_endian") header.encoding = Encoding::littleEndian;
            else if (kind == "binary_big_endian") header.encoding = Encoding::bigEndian;
            else refuseOnLine("unknown format " + std::string(kind), lineNumber);
            haveFormat = true;
        } else if (keyword == "element") {
            Element e;
            e.name = std::string(nextWord(rest));
            const auto count = parseNumber<uint64_t>(nextWord(rest));
            if (e.name.empty() || !count) refuseOnLine("element without a name and a count", lineNumber);
            e.count = *count;
            header.elements.push_back(std::move(e));
        } else if (keyword == "property") {
            if (header.elements.empty()) refuseOnLine("property before any element", lineNumber);
            Property p;
            std::string_view type = nextWord(rest);
            if (type == "list") {
                p.isList = true;
                const auto countType = typeNamed(nextWord(rest));
                if (!countType || !isIntegral(*countType)) refuseOnLine("list count type is not an integer type", lineNumber);
                p.countType = *countType;
                type = nextWord(rest);
            }
            const auto t = typeNamed(type);
            if (!t) refuseOnLine("unknown property type " + std::string(type), lineNumber);
            p.type = *t;
            p.name = std::string(nextWord(rest));
            if (p.name.empty()) refuseOnLine("property without a name", lineNumber);
            header.elements.back().properties.push_back(std::move(p));
        }
        // Other lines (some writers put free text in the header) describe nothing read.
    }
    if (!haveFormat) refuseOnLine("the header has no format line", lineNumber);
    header.bodyOffset = scan.position();
    return header;
}

// Reads the body's values one by one in the file's encoding. Each read checks the end.
class ValueReader {
public:
    ValueReader(std::span<const uint8_t> body, Encoding encoding, uint64_t bodyOffset)
        : body_(body), encoding_(encoding), bodyOffset_(bodyOffset),
          swap_((encoding == Encoding::bigEndian) != (std::endian::native == std::endian::big)),
          text_(std::string_view(reinterpret_cast<const char*>(body.data()), body.size())) {}

    uint64_t remaining() const { return encoding_ == Encoding::ascii ? text_.remaining() : body_.size() - pos_; }
    // Where the reader stands in the whole file, for refusals.
    uint64_t offset() const { return bodyOffset_ + (encoding_ == Encoding::ascii ? text_.position() : pos_); }

    [[noreturn]] void refuseHere(std::string_view check) const { refuseAt(check, offset()); }

    double value(Type type) {
        if (encoding_ == Encoding::ascii) {
            const size_t at = text_.position();
            const std::string_view token = text_.token();
            const auto v = parseNumber<double>(token);
            if (!v) refuseAt(token.empty() ? "the body ends early" : "not a number", bodyOffset_ + at);
            return *v;
        }
        const size_t n = sizeOf(type);
        if (body_.size() - pos_ < n) refuseHere("the body ends early");
        const uint8_t* raw = body_.data() + pos_;
        pos_ += n;
        switch (type) {
            case Type::i8: return static_cast<int8_t>(raw[0]);
            case Type::u8: return raw[0];
            case Type::i16: return load<int16_t>(raw);
            case Type::u16: return load<uint16_t>(raw);
            case Type::i32: return load<int32_t>(raw);
            case Type::u32: return load<uint32_t>(raw);
            case Type::f32: return load<float>(raw);
            case Type::f64: return load<double>(raw);
        }
        return 0;
    }

    // A list's length: a whole, non-negative number no larger than the values left
    // could hold, so a lying count cannot make anyone allocate past the file.
    uint64_t listCount(const Property& p) {
        const uint64_t at = offset();
        uint64_t n = 0;
        if (encoding_ != Encoding::ascii) {
            const size_t size = sizeOf(p.countType);
            if (body_.size() - pos_ < size) refuseHere("the body ends early");
            const int64_t v = integer(p.countType, body_.data() + pos_);
            pos_ += size;
            if (v < 0) refuseAt("list count is not a whole number", at);
            n = static_cast<uint64_t>(v);
            if (n > remaining() / sizeOf(p.type)) refuseAt("list count runs past the file", at);
            return n;
        }
        const double v = value(p.countType);
        if (!(v >= 0) || v != std::floor(v)) refuseAt("list count is not a whole number", at);
        if (v > static_cast<double>(remaining() / 2 + 1)) refuseAt("list count runs past the file", at);
        return static_cast<uint64_t>(v);
    }

    // A record of plain values in a binary body, straight from precomputed offsets.
    bool fixedRecord(const std::vector<Property>& properties, size_t recordBytes, double* out) {
        if (encoding_ == Encoding::ascii || body_.size() - pos_ < recordBytes) return false;
        const uint8_t* raw = body_.data() + pos_;
        for (size_t k = 0; k < properties.size(); ++k) {
            const Type t = properties[k].type;
            out[k] = t == Type::f32 ? double(loadAs<float>(raw)) : t == Type::f64 ? loadAs<double>(raw) : double(integer(t, raw));
            raw += sizeOf(t);
        }
        pos_ += recordBytes;
        return true;
    }

    // A list of vertex numbers straight into `out`: each must name one of `vertexCount`
    // vertices, or be -1 (a restart) where `restarts` allows it (kept as UINT32_MAX).
    void indexList(const Property& p, uint64_t vertexCount, bool restarts, std::vector<uint32_t>& out) {
        const uint64_t n = listCount(p);
        out.resize(n);
        if (encoding_ == Encoding::ascii || !isIntegral(p.type)) {
            for (uint64_t i = 0; i < n; ++i) {
                const uint64_t at = offset();
                const double v = value(p.type);
                if (restarts && v == -1) out[i] = UINT32_MAX;
                else if (v >= 0 && v == std::floor(v) && v < static_cast<double>(vertexCount)) out[i] = static_cast<uint32_t>(v);
                else refuseAt("index names no vertex", at);
            }
            return;
        }
        // listCount checked that the items fit the body.
        const size_t size = sizeOf(p.type);
        const uint8_t* raw = body_.data() + pos_;
        for (uint64_t i = 0; i < n; ++i, raw += size) {
            const int64_t v = integer(p.type, raw);
            if (restarts && v == -1) out[i] = UINT32_MAX;
            else if (v >= 0 && static_cast<uint64_t>(v) < vertexCount) out[i] = static_cast<uint32_t>(v);
            else refuseAt("index names no vertex", bodyOffset_ + pos_ + i * size);
        }
        pos_ += n * size;
    }

private:
    int64_t integer(Type type, const uint8_t* raw) const {
        switch (type) {
            case Type::i8: return static_cast<int8_t>(raw[0]);
            case Type::u8: return raw[0];
            case Type::i16: return loadAs<int16_t>(raw);
            case Type::u16: return loadAs<uint16_t>(raw);
            case Type::i32: return loadAs<int32_t>(raw);
            case Type::u32: return loadAs<uint32_t>(raw);
            default: return -2;  // not an integer type: never a vertex number
        }
    }

    template <class T>
    T loadAs(const uint8_t* raw) const {
        T v;
        std::memcpy(&v, raw, sizeof v);
        if (swap_) {
            uint8_t* b = reinterpret_cast<uint8_t*>(&v);
            for (size_t i = 0; i < sizeof v / 2; ++i) std::swap(b[i], b[sizeof v - 1 - i]);
        }
        return v;
    }

    template <class T>
    double load(const uint8_t* raw) const {
        uint8_t bytes[sizeof(T)];
        std::memcpy(bytes, raw, sizeof bytes);
        if (swap_)
            for (size_t i = 0; i < sizeof bytes / 2; ++i) std::swap(bytes[i], bytes[sizeof bytes - 1 - i]);
        T v;
        std::memcpy(&v, bytes, sizeof v);
        return static_cast<double>(v);
    }

    std::span<const uint8_t> body_;
    Encoding encoding_;
    uint64_t bodyOffset_;
    bool swap_;
    size_t pos_ = 0;
    TextScan text_;
};

// Where each vertex attribute sits among the vertex element's properties (-1: absent).
struct VertexLayout {
    int position[3] = {-1, -1, -1};
    int normal[3] = {-1, -1, -1};
    int color[4] = {-1, -1, -1, -1};
    int uv[2] = {-1, -1};

    explicit VertexLayout(const Element& e) {
        for (int i = 0; i < static_cast<int>(e.properties.size()); ++i) {
            const Property& p = e.properties[i];
            if (p.isList) continue;
            const std::string& n = p.name;
            auto set = [&](int* slot, std::initializer_list<std::string_view> names) {
                int k = 0;
                for (std::string_view name : names) {
                    if (n == name && slot[k] < 0) slot[k] = i;
                    ++k;
                }
            };
            set(position, {"x", "y", "z"});
            set(normal, {"nx", "ny", "nz"});
            set(color, {"red", "green", "blue", "alpha"});
            set(color, {"r", "g", "b", "a"});
            set(color, {"diffuse_red", "diffuse_green", "diffuse_blue", "diffuse_alpha"});
            set(uv, {"u", "v"});
            set(uv, {"s", "t"});
            set(uv, {"texture_u", "texture_v"});
            set(uv, {"texture_s", "texture_t"});
        }
    }
    bool complete(const int* slot, int n) const {
        for (int k = 0; k < n; ++k)
            if (slot[k] < 0) return false;
        return true;
    }
};

int listNamed(const Element& e, std::initializer_list<std::string_view> names) {
    for (std::string_view name : names)
        for (int i = 0; i < static_cast<int>(e.properties.size()); ++i)
            if (e.properties[i].isList && e.properties[i].name == name) return i;
    return -1;
}

// The smallest number of body bytes one record can take, to bound declared counts.
uint64_t minRecordBytes(const Element& e, Encoding encoding) {
    uint64_t n = 0;
    for (const auto& p : e.properties)
        n += encoding == Encoding::ascii ? 1 : sizeOf(p.isList ? p.countType : p.type);
    return n;
}

bool validIndex(double v, uint64_t vertexCount) {
    return v >= 0 && v == std::floor(v) && v < static_cast<double>(vertexCount);
}

Model parse(std::span<const uint8_t> bytes, const ImportOptions& options) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const Header header = parseHeader(text);
    const auto body = bytes.subspan(header.bodyOffset);

    // Declared counts must fit the bytes that follow before anything is reserved.
    uint64_t needed = 0;
    for (const auto& e : header.elements) {
        const uint64_t per = minRecordBytes(e, header.encoding);
        if (per == 0) {
            // Records of nothing: a count with no bytes behind it.
            if (e.count != 0) refuse("element " + e.name + " has a count but no properties");
            continue;
        }
        if (e.count > body.size() / per || (needed += e.count * per) > body.size())
            refuse("element " + e.name + " declares more records than the body holds");
    }

    const Element* vertexElement = nullptr;
    for (const auto& e : header.elements)
        if (e.name == "vertex") {
            if (vertexElement) refuse("two vertex elements");  // which one do faces name?
            vertexElement = &e;
        }
    if (!vertexElement || vertexElement->count == 0) refuse("no vertex element, or no vertices");
    if (vertexElement->count >= UINT32_MAX) refuse("more vertices than 32-bit indices reach");
    const VertexLayout layout(*vertexElement);
    if (!layout.complete(layout.position, 3)) refuse("the vertex element has no x, y and z");
    const bool hasNormals = layout.complete(layout.normal, 3);
    const bool hasUVs = layout.complete(layout.uv, 2);
    const uint64_t vertexCount = vertexElement->count;

    Mesh mesh;
    // One submesh per geometry type, in the order the types first appear.
    auto indicesOf = [&mesh](GeometryType type) -> std::vector<uint32_t>& {
        for (auto& sub : mesh.submeshes)
            if (sub.geometryType == type) return sub.indices;
        mesh.submeshes.push_back(Submesh{type, 0, {}});
        return mesh.submeshes.back().indices;
    };
    ValueReader reader(body, header.encoding, header.bodyOffset);
    std::vector<double> values;
    std::vector<uint32_t> list;
    list.reserve(16);
    bool anyFaces = false;
    // Polygons are split once every position is known (the vertex list may come later);
    // triangles need no splitting and go straight to the output.
    std::vector<uint32_t> faceTriangles, polygonCorners, polygonSizes;
    std::vector<uint32_t> polygonAt;  // where in faceTriangles each polygon's triangles go

    for (const auto& e : header.elements) {
        const bool isVertex = &e == vertexElement;
        const int faceList = e.name == "face" ? listNamed(e, {"vertex_indices", "vertex_index"}) : -1;
        const int stripList = e.name == "tristrips" ? listNamed(e, {"vertex_indices", "vertex_index"}) : -1;
        if (isVertex) {
            mesh.positions.reserve(e.count);
            if (hasNormals) mesh.normals.reserve(e.count);
            if (hasUVs) mesh.textureCoordinates.reserve(e.count);
        }
        if (faceList >= 0) faceTriangles.reserve(faceTriangles.size() + e.count * 3);
        values.resize(e.properties.size());
        const bool plainRecord = std::none_of(e.properties.begin(), e.properties.end(),
                                              [](const Property& p) { return p.isList; });
        size_t recordBytes = 0;
        for (const auto& p : e.properties) recordBytes += sizeOf(p.type);
        for (uint64_t r = 0; r < e.count; ++r) {
            const uint64_t recordAt = reader.offset();
            const bool read = plainRecord && reader.fixedRecord(e.properties, recordBytes, values.data());
            for (size_t k = 0; !read && k < e.properties.size(); ++k) {
                const Property& p = e.properties[k];
                if (!p.isList) {
                    values[k] = reader.value(p.type);
                    continue;
                }
                const bool keep = static_cast<int>(k) == faceList || static_cast<int>(k) == stripList;
                if (keep) {
                    reader.indexList(p, vertexCount, static_cast<int>(k) == stripList, list);
                    continue;
                }
                const uint64_t n = reader.listCount(p);
                for (uint64_t i = 0; i < n; ++i) (void)reader.value(p.type);
            }
            if (isVertex) {
                auto at = [&](int slot) { return static_cast<float>(values[slot]); };
                const pk::float3 pos(at(layout.position[0]), at(layout.position[1]), at(layout.position[2]));
                if (!std::isfinite(pos.x) || !std::isfinite(pos.y) || !std::isfinite(pos.z))
                    refuseAt("vertex position is not finite", recordAt);
                mesh.positions.push_back(pos);
                if (hasNormals) {
                    const pk::float3 n(at(layout.normal[0]), at(layout.normal[1]), at(layout.normal[2]));
                    if (!std::isfinite(n.x) || !std::isfinite(n.y) || !std::isfinite(n.z))
                        refuseAt("vertex normal is not finite", recordAt);
                    mesh.normals.push_back(n);
                }
                if (hasUVs) {
                    const pk::float2 uv(at(layout.uv[0]), at(layout.uv[1]));
                    if (!std::isfinite(uv.x) || !std::isfinite(uv.y))
                        refuseAt("vertex texture coordinate is not finite", recordAt);
                    mesh.textureCoordinates.push_back(uv);
                }
            } else if (faceList >= 0) {
                anyFaces = true;
                const size_t n = list.size();
                if (n == 0) continue;
                if (n < 3) {
                    auto& out = indicesOf(n == 1 ? GeometryType::points : GeometryType::lines);
                    out.insert(out.end(), list.begin(), list.end());
                    continue;
                }
                indicesOf(GeometryType::triangles);
                if (n == 3) {
                    faceTriangles.insert(faceTriangles.end(), list.begin(), list.end());
                    continue;
                }
                polygonAt.push_back(static_cast<uint32_t>(faceTriangles.size()));
                polygonCorners.insert(polygonCorners.end(), list.begin(), list.end());
                polygonSizes.push_back(static_cast<uint32_t>(n));
            } else if (stripList >= 0) {
                anyFaces = true;
                auto& out = indicesOf(GeometryType::triangles);
                // Within a strip every other triangle is flipped so all keep one winding;
                // triangles that repeat a vertex only stitch strips together and are left out.
                uint32_t a = 0, b = 0;
                size_t run = 0;
                for (const uint32_t c : list) {
                    if (c == UINT32_MAX) {
                        run = 0;
                        continue;
                    }
                    if (run >= 2 && a != b && b != c && a != c) {
                        const bool odd = (run - 2) % 2 == 1;
                        out.push_back(odd ? b : a);
                        out.push_back(odd ? a : b);
                        out.push_back(c);
                    }
                    a = b;
                    b = c;
                    ++run;
                }
            }
        }
    }
    // Bytes past the last element are allowed, as they are for the other formats.
    if (!faceTriangles.empty() || !polygonSizes.empty()) {
        std::vector<uint32_t> triangles;
        if (polygonSizes.empty()) {
            triangles = std::move(faceTriangles);
        } else {
            // Polygons keep their place among the face list's triangles.
            triangles.reserve(faceTriangles.size() + polygonCorners.size() * 3);
            size_t at = 0, copied = 0;
            for (size_t f = 0; f < polygonSizes.size(); ++f) {
                triangles.insert(triangles.end(), faceTriangles.begin() + copied, faceTriangles.begin() + polygonAt[f]);
                copied = polygonAt[f];
                triangulatePolygon(std::span(polygonCorners).subspan(at, polygonSizes[f]), mesh.positions, triangles);
                at += polygonSizes[f];
            }
            triangles.insert(triangles.end(), faceTriangles.begin() + copied, faceTriangles.end());
        }
        // Face triangles go ahead of any strip's.
        auto& out = indicesOf(GeometryType::triangles);
        if (out.empty()) out = std::move(triangles);
        else out.insert(out.begin(), triangles.begin(), triangles.end());
    }
    if (!anyFaces) {
        auto& points = indicesOf(GeometryType::points);
        points.resize(mesh.positions.size());
        for (uint32_t v = 0; v < points.size(); ++v) points[v] = v;
    }
    // Point clouds keep their points; submeshes whose faces were all empty say nothing.
    std::erase_if(mesh.submeshes, [](const Submesh& s) { return s.indices.empty(); });
    if (mesh.submeshes.empty()) refuse("faces are given but every one is empty");
    finishMesh(mesh, options.normalCreaseThreshold);
    Model model;
    model.meshes.push_back(std::move(mesh));
    model.materials.push_back(Material{});
    return model;
}

}  // namespace

Model parsePly(std::span<const uint8_t> bytes, const ImportOptions& options) { return parse(bytes, options); }

std::optional<Model> readPly(std::span<const uint8_t> bytes, const ImportOptions& options) {
    return noneIfRefused("ply", [&] { return parse(bytes, options); });
}

}  // namespace pk::modelimport
