#pragma once
// Test-only writers for the files the USD reader takes: a crate (usdc) writer fed with a
// layer as the text reader leaves it, and a zip writer for usdz packages. They write
// each encoding the reader must take (inlined and out-of-line values, plain and
// compressed arrays, LZ4-framed sections) so a layer can be checked in both forms.
#include <lz4.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "PlatformKit/ModelImport/UsdLayer.h"

namespace usdtest {

using pk::modelimport::UsdLayer;
using pk::modelimport::UsdSpec;
using pk::modelimport::UsdSpecType;
using pk::modelimport::UsdValue;
using Bytes = std::vector<uint8_t>;

template <class T>
void put(Bytes& out, T v) {
    const size_t at = out.size();
    out.resize(at + sizeof v);
    std::memcpy(out.data() + at, &v, sizeof v);
}

// The compressor's framing around one LZ4 block: a zero chunk count, then the block.
inline Bytes lz4Frame(const Bytes& raw) {
    Bytes out(1 + static_cast<size_t>(LZ4_compressBound(static_cast<int>(raw.size()))), 0);
    const int n = LZ4_compress_default(reinterpret_cast<const char*>(raw.data()), reinterpret_cast<char*>(out.data() + 1),
                                       static_cast<int>(raw.size()), static_cast<int>(out.size() - 1));
    if (n <= 0 && !raw.empty()) throw std::runtime_error("lz4");
    out.resize(1 + static_cast<size_t>(n));
    return out;
}

// Deltas from the previous value, the most common one coded in two bits, the others as
// 8-, 16- or 32-bit numbers after the codes.
inline Bytes codeInts(const std::vector<int32_t>& values) {
    std::vector<int32_t> deltas(values.size());
    int32_t previous = 0;
    for (size_t i = 0; i < values.size(); ++i) {
        deltas[i] = static_cast<int32_t>(uint32_t(values[i]) - uint32_t(previous));
        previous = values[i];
    }
    std::map<int32_t, size_t> tally;
    for (int32_t d : deltas) ++tally[d];
    int32_t common = 0;
    size_t best = 0;
    for (const auto& [d, n] : tally)
        if (n > best) best = n, common = d;
    Bytes out;
    put(out, common);
    const size_t codesAt = out.size();
    out.resize(out.size() + (values.size() * 2 + 7) / 8, 0);
    for (size_t i = 0; i < deltas.size(); ++i) {
        const int32_t d = deltas[i];
        unsigned code = 3;
        if (d == common) code = 0;
        else if (d >= INT8_MIN && d <= INT8_MAX) code = 1;
        else if (d >= INT16_MIN && d <= INT16_MAX) code = 2;
        out[codesAt + i / 4] |= static_cast<uint8_t>(code << (2 * (i % 4)));
        if (code == 1) put(out, static_cast<int8_t>(d));
        if (code == 2) put(out, static_cast<int16_t>(d));
        if (code == 3) put(out, d);
    }
    return out;
}

// A 64-bit compressed size, then the framed coding.
inline void putCompressedInts(Bytes& out, const std::vector<int32_t>& values) {
    const Bytes framed = lz4Frame(codeInts(values));
    put(out, uint64_t(framed.size()));
    out.insert(out.end(), framed.begin(), framed.end());
}

struct CrateOptions {
    uint8_t minor = 8;
    bool compressArrays = true;   // integer arrays of 16 or more coded and framed
    char floatCoding = 0;         // 'i' or 't': float arrays of 16 or more compressed that way
    bool inlineSmall = true;      // small vectors, diagonal matrices, float-sized doubles in the rep
    bool prependConnections = false;  // connections and targets as prepended items, not explicit
};

class CrateWriter {
public:
    explicit CrateWriter(CrateOptions options = {}) : o_(options) {}

    Bytes write(const UsdLayer& layer) {
        file_.assign(88, 0);
        std::memcpy(file_.data(), "PXR-USDC", 8);
        file_[9] = o_.minor;
        // Paths in an order where each prim comes before what is under it.
        std::vector<std::string> paths;
        for (const auto& [path, spec] : layer.specs) paths.push_back(path);
        std::sort(paths.begin(), paths.end());
        for (const auto& p : paths) pathIndex(p);

        std::vector<int32_t> specPaths, specSets, specTypes;
        for (const auto& path : paths) {
            const UsdSpec& spec = layer.specs.at(path);
            specPaths.push_back(static_cast<int32_t>(pathIndex(path)));
            specSets.push_back(static_cast<int32_t>(fieldSets_.size()));
            specTypes.push_back(spec.type == UsdSpecType::attribute      ? 1
                                : spec.type == UsdSpecType::prim         ? 6
                                : spec.type == UsdSpecType::pseudoRoot   ? 7
                                : spec.type == UsdSpecType::relationship ? 8
                                                                         : 0);
            const UsdValue* typeName = spec.field("typeName");
            const std::string attrType = spec.type == UsdSpecType::attribute && typeName ? typeName->texts[0] : "";
            for (const auto& [name, value] : spec.fields) {
                fieldNames_.push_back(static_cast<int32_t>(token(name)));
                fieldReps_.push_back(rep(name, value, attrType));
                fieldSets_.push_back(static_cast<int32_t>(fieldReps_.size() - 1));
            }
            fieldSets_.push_back(-1);
        }

        struct Section {
            std::string name;
            uint64_t start, size;
        };
        std::vector<Section> sections;
        auto section = [&](const char* name, const Bytes& body) {
            sections.push_back({name, file_.size(), body.size()});
            file_.insert(file_.end(), body.begin(), body.end());
        };
        Bytes tokens;
        {
            Bytes text;
            for (const auto& t : tokenList_) text.insert(text.end(), t.begin(), t.end()), text.push_back(0);
            const Bytes framed = lz4Frame(text);
            put(tokens, uint64_t(tokenList_.size()));
            put(tokens, uint64_t(text.size()));
            put(tokens, uint64_t(framed.size()));
            tokens.insert(tokens.end(), framed.begin(), framed.end());
        }
        Bytes strings;
        put(strings, uint64_t(stringList_.size()));
        for (uint32_t s : stringList_) put(strings, s);
        Bytes fields;
        put(fields, uint64_t(fieldNames_.size()));
        putCompressedInts(fields, fieldNames_);
        {
            Bytes raw;
            for (uint64_t r : fieldReps_) put(raw, r);
            const Bytes framed = lz4Frame(raw);
            put(fields, uint64_t(framed.size()));
            fields.insert(fields.end(), framed.begin(), framed.end());
        }
        Bytes sets;
        put(sets, uint64_t(fieldSets_.size()));
        putCompressedInts(sets, fieldSets_);
        Bytes pathSection = encodePaths();
        Bytes specs;
        put(specs, uint64_t(specPaths.size()));
        putCompressedInts(specs, specPaths);
        putCompressedInts(specs, specSets);
        putCompressedInts(specs, specTypes);
        section("TOKENS", tokens);
        section("STRINGS", strings);
        section("FIELDS", fields);
        section("FIELDSETS", sets);
        section("PATHS", pathSection);
        section("SPECS", specs);
        const uint64_t toc = file_.size();
        put(file_, uint64_t(sections.size()));
        for (const auto& s : sections) {
            char name[16] = {};
            std::memcpy(name, s.name.data(), s.name.size());
            file_.insert(file_.end(), name, name + 16);
            put(file_, s.start);
            put(file_, s.size);
        }
        std::memcpy(file_.data() + 16, &toc, 8);
        return file_;
    }

private:
    enum : uint8_t {
        tBool = 1, tInt = 3, tFloat = 8, tDouble = 9, tString = 10, tToken = 11, tAsset = 12, tMatrix4d = 15,
        tQuatf = 17, tVec2f = 20, tVec3d = 23, tVec3f = 24, tPathListOp = 34, tTokenVector = 41, tSpecifier = 42,
        tVariability = 44, tBlock = 51,
    };

    static uint64_t makeRep(uint8_t type, bool inlined, bool array, uint64_t payload, bool compressed = false) {
        return (uint64_t(array) << 63) | (uint64_t(inlined) << 62) | (uint64_t(compressed) << 61) |
               (uint64_t(type) << 48) | payload;
    }

    uint32_t token(const std::string& t) {
        const auto [it, added] = tokens_.try_emplace(t, static_cast<uint32_t>(tokenList_.size()));
        if (added) tokenList_.push_back(t);
        return it->second;
    }
    uint32_t pathIndex(const std::string& p) {
        const auto [it, added] = paths_.try_emplace(p, static_cast<uint32_t>(pathList_.size()));
        if (added) pathList_.push_back(p);
        return it->second;
    }

    // Element type of an attribute's declared type name.
    static uint8_t elementType(std::string type) {
        if (type.size() > 2 && type.substr(type.size() - 2) == "[]") type.resize(type.size() - 2);
        if (type == "int") return tInt;
        if (type == "bool") return tBool;
        if (type == "float") return tFloat;
        if (type == "double") return tDouble;
        if (type == "matrix4d") return tMatrix4d;
        if (type == "quatf") return tQuatf;
        if (type == "double3") return tVec3d;
        if (type == "float2" || type == "texCoord2f") return tVec2f;
        if (type == "float3" || type == "point3f" || type == "normal3f" || type == "color3f" || type == "vector3f")
            return tVec3f;
        if (type == "token") return tToken;
        if (type == "string") return tString;
        if (type == "asset") return tAsset;
        throw std::runtime_error("crate writer: no type for " + type);
    }

    uint64_t rep(const std::string& name, const UsdValue& v, const std::string& attrType) {
        using K = UsdValue::Kind;
        if (v.kind == K::blocked) return makeRep(tBlock, true, false, 0);
        if (name == "specifier") {
            const std::string& s = v.texts[0];
            return makeRep(tSpecifier, true, false, s == "def" ? 0 : s == "over" ? 1 : 2);
        }
        if (name == "variability") return makeRep(tVariability, true, false, v.texts[0] == "uniform");
        if (name == "primChildren" || name == "properties") {
            const uint64_t at = file_.size();
            put(file_, uint64_t(v.texts.size()));
            for (const auto& t : v.texts) put(file_, token(t));
            return makeRep(tTokenVector, false, false, at);
        }
        if (v.kind == K::paths) {
            const uint64_t at = file_.size();
            file_.push_back(o_.prependConnections ? uint8_t(1 << 5) : uint8_t(1 | 1 << 1));
            put(file_, uint64_t(v.texts.size()));
            for (const auto& t : v.texts) put(file_, pathIndex(t));
            return makeRep(tPathListOp, false, false, at);
        }
        if (name == "default") return valueRep(v, elementType(attrType));
        if (v.kind == K::text) return makeRep(tToken, true, false, token(v.texts[0]));
        if (name == "metersPerUnit") return valueRep(v, tDouble);
        if (name == "active") return valueRep(v, tBool);
        if (name == "elementSize") return valueRep(v, tInt);
        throw std::runtime_error("crate writer: no encoding for field " + name);
    }

    uint64_t valueRep(const UsdValue& v, uint8_t type) {
        using K = UsdValue::Kind;
        if (type == tToken || type == tAsset || type == tString) {
            auto index = [&](const std::string& s) -> uint32_t {
                if (type != tString) return token(s);
                stringList_.push_back(token(s));
                return static_cast<uint32_t>(stringList_.size() - 1);
            };
            if (v.kind == K::text) return makeRep(type, true, false, index(v.texts[0]));
            const uint64_t at = file_.size();
            put(file_, uint64_t(v.texts.size()));
            for (const auto& t : v.texts) put(file_, index(t));
            return makeRep(type, false, true, at);
        }
        if (v.kind == K::number) return scalarRep(v.doubles, type);
        // Arrays: the numbers in the file's element layout.
        std::vector<double> numbers;
        if (!v.floats.empty()) numbers.assign(v.floats.begin(), v.floats.end());
        else if (!v.doubles.empty()) numbers = v.doubles;
        else numbers.assign(v.ints.begin(), v.ints.end());
        if (numbers.empty()) return makeRep(type, false, true, 0);
        if (type == tQuatf) reorderQuats(numbers);
        const uint64_t count = numbers.size() / v.components;
        const uint64_t at = file_.size();
        put(file_, count);
        if (type == tInt && o_.compressArrays && count >= 16) {
            putCompressedInts(file_, std::vector<int32_t>(numbers.begin(), numbers.end()));
            return makeRep(type, false, true, at, true);
        }
        const bool integral =
            std::all_of(numbers.begin(), numbers.end(), [](double d) { return d == double(int32_t(d)); });
        // Int coding is for floats that are all whole numbers, as a writer would choose it.
        if (type == tFloat && count >= 16 && (o_.floatCoding == 't' || (o_.floatCoding == 'i' && integral))) {
            file_.push_back(static_cast<uint8_t>(o_.floatCoding));
            if (o_.floatCoding == 'i') {
                putCompressedInts(file_, std::vector<int32_t>(numbers.begin(), numbers.end()));
            } else {
                std::vector<float> table;
                std::vector<int32_t> indexes;
                for (double d : numbers) {
                    auto it = std::find(table.begin(), table.end(), float(d));
                    if (it == table.end()) it = table.insert(table.end(), float(d));
                    indexes.push_back(static_cast<int32_t>(it - table.begin()));
                }
                put(file_, uint32_t(table.size()));
                for (float f : table) put(file_, f);
                putCompressedInts(file_, indexes);
            }
            return makeRep(type, false, true, at, true);
        }
        for (double d : numbers) putNumber(d, type);
        return makeRep(type, false, true, at);
    }

    static void reorderQuats(std::vector<double>& q) {
        for (size_t e = 0; e + 4 <= q.size(); e += 4) std::rotate(q.begin() + e, q.begin() + e + 1, q.begin() + e + 4);
    }

    void putNumber(double d, uint8_t type) {
        switch (type) {
            case tBool: file_.push_back(d != 0); break;
            case tInt: put(file_, static_cast<int32_t>(d)); break;
            case tDouble: case tMatrix4d: case tVec3d: put(file_, d); break;
            default: put(file_, static_cast<float>(d)); break;
        }
    }

    uint64_t scalarRep(std::vector<double> n, uint8_t type) {
        if (type == tQuatf) reorderQuats(n);
        if (type == tBool || type == tInt || type == tFloat) {
            uint64_t payload = 0;
            if (type == tBool) payload = n[0] != 0;
            if (type == tInt) payload = static_cast<uint32_t>(static_cast<int32_t>(n[0]));
            if (type == tFloat) {
                const float f = static_cast<float>(n[0]);
                uint32_t bits;
                std::memcpy(&bits, &f, 4);
                payload = bits;
            }
            return makeRep(type, true, false, payload);
        }
        if (o_.inlineSmall && type == tDouble && double(float(n[0])) == n[0]) {
            const float f = static_cast<float>(n[0]);
            uint32_t bits;
            std::memcpy(&bits, &f, 4);
            return makeRep(type, true, false, bits);
        }
        const bool small = std::all_of(n.begin(), n.end(), [](double d) { return d == double(int8_t(d)); });
        if (o_.inlineSmall && small && (type == tVec3f || type == tVec3d || type == tVec2f)) {
            uint64_t payload = 0;
            for (size_t i = 0; i < n.size(); ++i) payload |= uint64_t(uint8_t(int8_t(n[i]))) << (8 * i);
            return makeRep(type, true, false, payload);
        }
        if (o_.inlineSmall && small && type == tMatrix4d) {
            bool diagonal = true;
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c) diagonal &= r == c || n[size_t(r) * 4 + c] == 0;
            if (diagonal) {
                uint64_t payload = 0;
                for (int i = 0; i < 4; ++i) payload |= uint64_t(uint8_t(int8_t(n[size_t(i) * 5]))) << (8 * i);
                return makeRep(type, true, false, payload);
            }
        }
        const uint64_t at = file_.size();
        for (double d : n) putNumber(d, type);
        return makeRep(type, false, false, at);
    }

    // Depth-first: each entry says whether a child follows and how far on its sibling is.
    Bytes encodePaths() {
        std::map<std::string, std::vector<std::string>> kids;
        for (const auto& p : pathList_) {
            if (p == "/") continue;
            const size_t dot = p.rfind('.');
            const size_t slash = p.rfind('/');
            const std::string parent = dot != std::string::npos && dot > slash ? p.substr(0, dot)
                                       : slash == 0                           ? "/"
                                                                              : p.substr(0, slash);
            kids[parent].push_back(p);
        }
        std::vector<int32_t> indexes, elements, jumps;
        std::map<std::string, size_t> subtree;
        std::function<size_t(const std::string&)> size = [&](const std::string& p) {
            size_t n = 1;
            for (const auto& k : kids[p]) n += size(k);
            return subtree[p] = n;
        };
        size("/");
        std::function<void(const std::string&, bool)> emit = [&](const std::string& p, bool hasSibling) {
            const auto& children = kids[p];
            indexes.push_back(static_cast<int32_t>(pathIndex(p)));
            if (p == "/") {
                elements.push_back(0);
            } else {
                const size_t dot = p.rfind('.');
                const bool property = dot != std::string::npos && dot > p.rfind('/');
                const std::string name = p.substr((property ? dot : p.rfind('/')) + 1);
                const auto t = static_cast<int32_t>(token(name));
                elements.push_back(property ? -t : t);
            }
            const bool hasChild = !children.empty();
            jumps.push_back(hasChild && hasSibling ? static_cast<int32_t>(subtree[p]) : hasChild ? -1 : hasSibling ? 0 : -2);
            for (size_t i = 0; i < children.size(); ++i) emit(children[i], i + 1 < children.size());
        };
        emit("/", false);
        Bytes out;
        put(out, uint64_t(pathList_.size()));
        put(out, uint64_t(indexes.size()));
        putCompressedInts(out, indexes);
        putCompressedInts(out, elements);
        putCompressedInts(out, jumps);
        return out;
    }

    CrateOptions o_;
    Bytes file_;
    std::map<std::string, uint32_t> tokens_, paths_;
    std::vector<std::string> tokenList_, pathList_;
    std::vector<uint32_t> stringList_;
    std::vector<int32_t> fieldNames_, fieldSets_;
    std::vector<uint64_t> fieldReps_;
};

struct ZipEntry {
    std::string name;
    Bytes data;
};

// A stored zip whose entry data start on 64-byte boundaries, as usdz asks.
inline Bytes writeZip(const std::vector<ZipEntry>& entries) {
    Bytes out, directory;
    for (const auto& e : entries) {
        const uint32_t offset = static_cast<uint32_t>(out.size());
        const uint32_t crc = static_cast<uint32_t>(crc32(0, e.data.data(), static_cast<uInt>(e.data.size())));
        const size_t unpadded = out.size() + 30 + e.name.size();
        size_t pad = (64 - unpadded % 64) % 64;
        if (pad > 0 && pad < 4) pad += 64;  // an extra field needs room for its own header
        const auto extra = static_cast<uint16_t>(pad);
        auto header = [&](Bytes& b, bool central) {
            put(b, central ? uint32_t(0x02014b50) : uint32_t(0x04034b50));
            if (central) put(b, uint16_t(20));
            put(b, uint16_t(20));
            put(b, uint16_t(0));  // flags
            put(b, uint16_t(0));  // stored
            put(b, uint32_t(0));  // time, date
            put(b, crc);
            put(b, uint32_t(e.data.size()));
            put(b, uint32_t(e.data.size()));
            put(b, uint16_t(e.name.size()));
            put(b, uint16_t(central ? 0 : extra));
            if (central) {
                put(b, uint16_t(0));  // comment
                put(b, uint16_t(0));  // disk
                put(b, uint16_t(0));
                put(b, uint32_t(0));
                put(b, offset);
            }
            b.insert(b.end(), e.name.begin(), e.name.end());
        };
        header(out, false);
        if (extra > 0) {  // one padding extra field (id 0x1986)
            put(out, uint16_t(0x1986));
            put(out, uint16_t(extra - 4));
            out.resize(out.size() + extra - 4, 0);
        }
        out.insert(out.end(), e.data.begin(), e.data.end());
        header(directory, true);
    }
    const uint32_t directoryOffset = static_cast<uint32_t>(out.size());
    out.insert(out.end(), directory.begin(), directory.end());
    put(out, uint32_t(0x06054b50));
    put(out, uint16_t(0));
    put(out, uint16_t(0));
    put(out, uint16_t(entries.size()));
    put(out, uint16_t(entries.size()));
    put(out, uint32_t(directory.size()));
    put(out, directoryOffset);
    put(out, uint16_t(0));
    return out;
}

inline Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A copy with `value` written over the bytes at `at` (little-endian, as the formats are).
template <class T>
Bytes patched(Bytes bytes, size_t at, T value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
    return bytes;
}

template <class T>
T readAt(const Bytes& bytes, size_t at) {
    T v;
    std::memcpy(&v, bytes.data() + at, sizeof v);
    return v;
}

}  // namespace usdtest
