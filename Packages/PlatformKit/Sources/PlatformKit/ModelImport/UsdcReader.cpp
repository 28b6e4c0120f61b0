#include "PlatformKit/ModelImport/UsdcReader.h"

#include <lz4.h>

#include <cmath>
#include <cstring>
#include <string_view>

#include "PlatformKit/ModelImport/Malformed.h"

namespace pk::modelimport {

namespace {

constexpr uint64_t kBootstrapBytes = 88;
constexpr uint64_t kMaxSections = 64;
// Arrays shorter than this are stored plainly even when marked compressed.
constexpr uint64_t kMinCompressedArray = 16;
// LZ4 cannot expand one input byte to more than 255 output bytes; a little slack on top.
constexpr uint64_t kMaxExpansion = 256;
// One LZ4 call handles at most this much output (the compressor's own chunk limit).
constexpr uint64_t kMaxChunkOutput = 0x7E000000;
constexpr uint64_t kPayloadMask = (uint64_t(1) << 48) - 1;

enum Type : uint8_t {
    tBool = 1, tUChar, tInt, tUInt, tInt64, tUInt64, tHalf, tFloat, tDouble, tString, tToken, tAssetPath,
    tMatrix2d, tMatrix3d, tMatrix4d, tQuatd, tQuatf, tQuath, tVec2d, tVec2f, tVec2h, tVec2i, tVec3d, tVec3f,
    tVec3h, tVec3i, tVec4d, tVec4f, tVec4h, tVec4i,
    tPathListOp = 34, tPathVector = 40, tTokenVector = 41, tSpecifier = 42, tVariability = 44,
    tDoubleVector = 48, tStringVector = 50, tValueBlock = 51, tTimeCode = 56,
};

float halfToFloat(uint16_t h) {
    const uint32_t sign = uint32_t(h & 0x8000) << 16;
    uint32_t exponent = (h >> 10) & 0x1F, mantissa = h & 0x3FF, bits;
    if (exponent == 0x1F) {
        bits = sign | 0x7F800000 | (mantissa << 13);
    } else if (exponent != 0) {
        bits = sign | ((exponent + 112) << 23) | (mantissa << 13);
    } else if (mantissa == 0) {
        bits = sign;
    } else {  // subnormal: normalise
        exponent = 113;
        while ((mantissa & 0x400) == 0) {
            mantissa <<= 1;
            --exponent;
        }
        bits = sign | (exponent << 23) | ((mantissa & 0x3FF) << 13);
    }
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

template <class T>
T load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// A bounded read position in the file.
struct Cursor {
    std::span<const uint8_t> file;
    uint64_t pos = 0;
    uint64_t end = 0;

    void need(uint64_t n) const {
        if (pos > end || n > end - pos) refuseAt("a read runs past the end of its section", pos);
    }
    const uint8_t* take(uint64_t n) {
        need(n);
        const uint8_t* p = file.data() + pos;
        pos += n;
        return p;
    }
    template <class T>
    T read() {
        return load<T>(take(sizeof(T)));
    }
    uint64_t remaining() const { return pos <= end ? end - pos : 0; }
};

struct TypeShape {
    uint8_t components;  // numbers per element
    uint8_t bytes;       // bytes per component
    enum Kind : uint8_t { integer, unsignedInteger, real, half } kind;
};

// The numeric types: how many numbers each element has and how each is stored.
std::optional<TypeShape> numericShape(uint8_t type) {
    using K = TypeShape::Kind;
    switch (type) {
        case tBool: case tUChar: return TypeShape{1, 1, K::unsignedInteger};
        case tInt: return TypeShape{1, 4, K::integer};
        case tUInt: return TypeShape{1, 4, K::unsignedInteger};
        case tInt64: return TypeShape{1, 8, K::integer};
        case tUInt64: return TypeShape{1, 8, K::unsignedInteger};
        case tHalf: return TypeShape{1, 2, K::half};
        case tFloat: return TypeShape{1, 4, K::real};
        case tDouble: case tTimeCode: return TypeShape{1, 8, K::real};
        case tMatrix2d: return TypeShape{4, 8, K::real};
        case tMatrix3d: return TypeShape{9, 8, K::real};
        case tMatrix4d: return TypeShape{16, 8, K::real};
        case tQuatd: return TypeShape{4, 8, K::real};
        case tQuatf: return TypeShape{4, 4, K::real};
        case tQuath: return TypeShape{4, 2, K::half};
        case tVec2d: return TypeShape{2, 8, K::real};
        case tVec2f: return TypeShape{2, 4, K::real};
        case tVec2h: return TypeShape{2, 2, K::half};
        case tVec2i: return TypeShape{2, 4, K::integer};
        case tVec3d: return TypeShape{3, 8, K::real};
        case tVec3f: return TypeShape{3, 4, K::real};
        case tVec3h: return TypeShape{3, 2, K::half};
        case tVec3i: return TypeShape{3, 4, K::integer};
        case tVec4d: return TypeShape{4, 8, K::real};
        case tVec4f: return TypeShape{4, 4, K::real};
        case tVec4h: return TypeShape{4, 2, K::half};
        case tVec4i: return TypeShape{4, 4, K::integer};
        default: return std::nullopt;
    }
}

double numberAt(const uint8_t* p, const TypeShape& s) {
    using K = TypeShape::Kind;
    switch (s.bytes) {
        case 1: return p[0];
        case 2: return halfToFloat(load<uint16_t>(p));
        case 4:
            if (s.kind == K::real) return load<float>(p);
            return s.kind == K::integer ? double(load<int32_t>(p)) : double(load<uint32_t>(p));
        default:
            if (s.kind == K::real) return load<double>(p);
            return s.kind == K::integer ? double(load<int64_t>(p)) : double(load<uint64_t>(p));
    }
}

class CrateReader {
public:
    // What decoding may produce in all: generous for real files (whose arrays compress
    // a few times at most), bounded for crafted ones that point many fields at one array.
    explicit CrateReader(std::span<const uint8_t> bytes)
        : file_(bytes), budget_(usdDecodeBudget(bytes.size())) {}

    UsdLayer read() {
        Cursor boot = cursor(0, file_.size());
        const uint8_t* head = boot.take(kBootstrapBytes);
        PK_MODEL_REFUSE_IF(std::memcmp(head, "PXR-USDC", 8) != 0);
        major_ = head[8];
        minor_ = head[9];
        PK_MODEL_REFUSE_IF(major_ != 0 || minor_ < 7 || minor_ > 10);
        const uint64_t tocOffset = load<uint64_t>(head + 16);

        Cursor toc = cursor(tocOffset, file_.size());
        const uint64_t sectionCount = toc.read<uint64_t>();
        PK_MODEL_REFUSE_IF(sectionCount > kMaxSections);
        struct Section {
            uint64_t start = 0, size = 0;
            bool present = false;
        };
        Section tokens, strings, fields, fieldSets, paths, specs;
        for (uint64_t i = 0; i < sectionCount; ++i) {
            const uint8_t* rec = toc.take(32);
            const char* name = reinterpret_cast<const char*>(rec);
            PK_MODEL_REFUSE_IF(std::memchr(name, '\0', 16) == nullptr);
            const uint64_t start = load<uint64_t>(rec + 16), size = load<uint64_t>(rec + 24);
            PK_MODEL_REFUSE_IF(start < kBootstrapBytes || start > file_.size() || size > file_.size() - start);
            Section* s = nullptr;
            const std::string_view n(name);
            if (n == "TOKENS") s = &tokens;
            else if (n == "STRINGS") s = &strings;
            else if (n == "FIELDS") s = &fields;
            else if (n == "FIELDSETS") s = &fieldSets;
            else if (n == "PATHS") s = &paths;
            else if (n == "SPECS") s = &specs;
            if (!s) continue;
            PK_MODEL_REFUSE_IF(s->present);
            *s = {start, size, true};
        }
        for (const Section* s : {&tokens, &strings, &fields, &fieldSets, &paths, &specs})
            PK_MODEL_REFUSE_IF(!s->present);
        section_ = "TOKENS";
        readTokens(cursor(tokens.start, tokens.start + tokens.size));
        section_ = "STRINGS";
        readStrings(cursor(strings.start, strings.start + strings.size));
        section_ = "FIELDS";
        readFields(cursor(fields.start, fields.start + fields.size));
        section_ = "FIELDSETS";
        readFieldSets(cursor(fieldSets.start, fieldSets.start + fieldSets.size));
        section_ = "PATHS";
        readPaths(cursor(paths.start, paths.start + paths.size));
        section_ = "SPECS";
        return readSpecs(cursor(specs.start, specs.start + specs.size));
    }

private:
    Cursor cursor(uint64_t start, uint64_t end) const {
        PK_MODEL_REFUSE_IF(start > file_.size() || end > file_.size() || start > end);
        return Cursor{file_, start, end};
    }

    void charge(uint64_t bytes) {
        PK_MODEL_REFUSE_IF(bytes > budget_);
        budget_ -= bytes;
    }

    // The compressor's framing: a chunk count byte, then either one LZ4 block (count 0)
    // or that many blocks each led by its 32-bit size. Returns the bytes written.
    static uint64_t decompress(const uint8_t* src, uint64_t srcSize, uint8_t* dst, uint64_t capacity) {
        PK_MODEL_REFUSE_IF(srcSize < 1);
        const uint8_t chunks = src[0];
        ++src;
        --srcSize;
        auto block = [&](const uint8_t* in, uint64_t inSize, uint8_t* out, uint64_t room) -> uint64_t {
            PK_MODEL_REFUSE_IF(inSize == 0 || inSize > INT32_MAX);
            const int n = LZ4_decompress_safe(reinterpret_cast<const char*>(in), reinterpret_cast<char*>(out),
                                              static_cast<int>(inSize), static_cast<int>(std::min(room, kMaxChunkOutput)));
            PK_MODEL_REFUSE_IF(n < 0);
            return static_cast<uint64_t>(n);
        };
        if (chunks == 0) return block(src, srcSize, dst, capacity);
        uint64_t written = 0;
        for (uint8_t c = 0; c < chunks; ++c) {
            PK_MODEL_REFUSE_IF(srcSize < 4);
            const int32_t size = load<int32_t>(src);
            src += 4;
            srcSize -= 4;
            PK_MODEL_REFUSE_IF(size <= 0 || uint64_t(size) > srcSize);
            written += block(src, uint64_t(size), dst + written, capacity - written);
            src += size;
            srcSize -= uint64_t(size);
        }
        return written;
    }

    // LZ4-framed bytes whose decompressed size the file states exactly.
    std::vector<uint8_t> decompressExactly(Cursor& c, uint64_t compressedSize, uint64_t size) {
        const uint8_t* src = c.take(compressedSize);
        PK_MODEL_REFUSE_IF(size > compressedSize * kMaxExpansion);
        charge(size);
        std::vector<uint8_t> out(size);
        PK_MODEL_REFUSE_IF(size > 0 && decompress(src, compressedSize, out.data(), size) != size);
        return out;
    }

    // Integers coded as deltas with 2-bit size codes, then LZ4-framed: a 64-bit
    // compressed size, then the bytes. T is the integer width of the coding.
    template <class T>
    std::vector<T> compressedInts(Cursor& c, uint64_t count) {
        const uint64_t compressedSize = c.read<uint64_t>();
        const uint8_t* src = c.take(compressedSize);
        if (count == 0) return {};
        const uint64_t codeBytes = (count * 2 + 7) / 8;
        PK_MODEL_REFUSE_IF(count > (UINT64_MAX / 4) / sizeof(T) || sizeof(T) + codeBytes > compressedSize * kMaxExpansion);
        const uint64_t workSize = sizeof(T) + codeBytes + count * sizeof(T);
        charge(workSize + count * sizeof(T));
        std::vector<uint8_t> work(workSize);
        const uint64_t got = decompress(src, compressedSize, work.data(), workSize);
        PK_MODEL_REFUSE_IF(got < sizeof(T) + codeBytes);
        using S = std::make_signed_t<T>;
        using U = std::make_unsigned_t<T>;
        const S common = load<S>(work.data());
        const uint8_t* codes = work.data() + sizeof(T);
        uint64_t at = sizeof(T) + codeBytes;
        std::vector<T> out(count);
        U previous = 0;
        for (uint64_t i = 0; i < count; ++i) {
            const unsigned code = (codes[i / 4] >> (2 * (i % 4))) & 3;
            S delta = common;
            auto next = [&](auto sample) {
                PK_MODEL_REFUSE_IF(sizeof(sample) > got - at);
                std::memcpy(&sample, work.data() + at, sizeof(sample));
                at += sizeof(sample);
                return static_cast<S>(sample);
            };
            if constexpr (sizeof(T) == 4) {
                if (code == 1) delta = next(int8_t{});
                else if (code == 2) delta = next(int16_t{});
                else if (code == 3) delta = next(int32_t{});
            } else {
                if (code == 1) delta = next(int16_t{});
                else if (code == 2) delta = next(int32_t{});
                else if (code == 3) delta = next(int64_t{});
            }
            previous = static_cast<U>(previous + static_cast<U>(delta));  // wraps as the coder does
            out[i] = static_cast<T>(previous);
        }
        return out;
    }

    void readTokens(Cursor c) {
        const uint64_t count = c.read<uint64_t>();
        const uint64_t size = c.read<uint64_t>();
        const uint64_t compressedSize = c.read<uint64_t>();
        PK_MODEL_REFUSE_IF(count > size);
        const auto text = decompressExactly(c, compressedSize, size);
        PK_MODEL_REFUSE_IF(count == 0 ? !text.empty() : text.empty() || text.back() != '\0');
        tokens_.reserve(count);
        const char* p = reinterpret_cast<const char*>(text.data());
        const char* end = p + text.size();
        while (p < end) {
            const size_t n = std::strlen(p);  // the buffer ends in a NUL
            tokens_.emplace_back(p, n);
            p += n + 1;
        }
        PK_MODEL_REFUSE_IF(tokens_.size() != count);
    }

    void readStrings(Cursor c) {
        const uint64_t count = c.read<uint64_t>();
        PK_MODEL_REFUSE_IF(count > c.remaining() / 4);
        strings_.resize(count);
        for (auto& s : strings_) {
            s = c.read<uint32_t>();
            PK_MODEL_REFUSE_IF(s >= tokens_.size());
        }
    }

    void readFields(Cursor c) {
        const uint64_t count = c.read<uint64_t>();
        const auto names = compressedInts<uint32_t>(c, count);
        const uint64_t repsSize = c.read<uint64_t>();
        PK_MODEL_REFUSE_IF(count > UINT64_MAX / 8);
        const auto reps = decompressExactly(c, repsSize, count * 8);
        fields_.resize(count);
        for (uint64_t i = 0; i < count; ++i) {
            PK_MODEL_REFUSE_IF(names[i] >= tokens_.size());
            fields_[i] = {names[i], load<uint64_t>(reps.data() + 8 * i)};
        }
    }

    void readFieldSets(Cursor c) {
        const uint64_t count = c.read<uint64_t>();
        fieldSets_ = compressedInts<uint32_t>(c, count);
        for (uint32_t f : fieldSets_)
            PK_MODEL_REFUSE_IF(f != UINT32_MAX && f >= fields_.size());
    }

    const std::string& token(uint64_t index) const {
        PK_MODEL_REFUSE_IF(index >= tokens_.size());
        return tokens_[index];
    }

    void readPaths(Cursor c) {
        const uint64_t count = c.read<uint64_t>();
        const uint64_t encoded = c.read<uint64_t>();
        PK_MODEL_REFUSE_IF(count > UINT64_MAX / sizeof(std::string));
        charge(count * sizeof(std::string));
        const auto pathIndexes = compressedInts<uint32_t>(c, encoded);
        const auto elementTokens = compressedInts<int32_t>(c, encoded);
        const auto jumps = compressedInts<int32_t>(c, encoded);
        paths_.assign(count, std::string());
        pathAssigned_.assign(count, 0);
        std::vector<uint8_t> visited(encoded, 0);
        if (encoded == 0) return;
        // The tree is stored depth first: each entry says whether a child follows it
        // and where its next sibling is; siblings wait on a stack.
        struct Pending {
            uint64_t index;
            std::string parent;
        };
        std::vector<Pending> pending;
        uint64_t current = 0;
        std::string parent;
        bool atRoot = true;
        while (true) {
            PK_MODEL_REFUSE_IF(current >= encoded || visited[current]);
            visited[current] = 1;
            std::string path;
            if (atRoot) {
                path = "/";
                atRoot = false;
            } else {
                const int32_t element = elementTokens[current];
                PK_MODEL_REFUSE_IF(element == INT32_MIN);
                const std::string& name = token(static_cast<uint64_t>(element < 0 ? -element : element));
                PK_MODEL_REFUSE_IF(name.empty());
                path = element < 0 ? usdPropertyPath(parent, name) : usdChildPath(parent, name);
            }
            charge(path.size());  // deep trees repeat their prefixes in every path
            const uint32_t slot = pathIndexes[current];
            PK_MODEL_REFUSE_IF(slot >= count || pathAssigned_[slot]);
            pathAssigned_[slot] = 1;
            paths_[slot] = path;
            const int32_t jump = jumps[current];
            const bool hasChild = jump > 0 || jump == -1;
            const bool hasSibling = jump >= 0;
            if (hasChild && hasSibling) pending.push_back({current + static_cast<uint64_t>(jump), parent});
            if (hasChild) {
                parent = std::move(path);
                ++current;
            } else if (hasSibling) {
                ++current;
            } else if (!pending.empty()) {
                current = pending.back().index;
                parent = std::move(pending.back().parent);
                pending.pop_back();
            } else {
                break;
            }
        }
    }

    UsdLayer readSpecs(Cursor c) {
        const uint64_t count = c.read<uint64_t>();
        const auto pathIndexes = compressedInts<uint32_t>(c, count);
        const auto fieldSetIndexes = compressedInts<uint32_t>(c, count);
        const auto specTypes = compressedInts<uint32_t>(c, count);
        UsdLayer layer;
        // Which spec last named each field, so a field named twice in one spec is caught
        // without a search.
        std::vector<uint64_t> namedBy(tokens_.size(), UINT64_MAX);
        for (uint64_t i = 0; i < count; ++i) {
            PK_MODEL_REFUSE_IF(pathIndexes[i] >= paths_.size() || !pathAssigned_[pathIndexes[i]]);
            const std::string& path = paths_[pathIndexes[i]];
            UsdSpec spec;
            switch (specTypes[i]) {
                case 1: spec.type = UsdSpecType::attribute; break;
                case 6: spec.type = UsdSpecType::prim; break;
                case 7: spec.type = UsdSpecType::pseudoRoot; break;
                case 8: spec.type = UsdSpecType::relationship; break;
                default: spec.type = UsdSpecType::other; break;
            }
            PK_MODEL_REFUSE_IF((spec.type == UsdSpecType::pseudoRoot) != (path == "/"));
            for (uint64_t f = fieldSetIndexes[i];; ++f) {
                PK_MODEL_REFUSE_IF(f >= fieldSets_.size());  // a run must end in its terminator
                const uint32_t field = fieldSets_[f];
                if (field == UINT32_MAX) break;
                const auto& [name, rep] = fields_[field];
                PK_MODEL_REFUSE_IF(namedBy[name] == i);
                namedBy[name] = i;
                // Specs may share one long field set: each use costs, so sharing cannot
                // multiply the work without bound.
                charge(sizeof(UsdValue));
                UsdValue value = decode(rep);
                if (value.kind != UsdValue::Kind::unsupported) spec.fields.emplace_back(token(name), std::move(value));
            }
            PK_MODEL_REFUSE_IF(!layer.specs.emplace(path, std::move(spec)).second);
        }
        return layer;
    }

    // A vector of 32-bit indices at the cursor: a 64-bit count, then the indices.
    std::vector<uint32_t> indexVector(Cursor& c) {
        const uint64_t count = c.read<uint64_t>();
        PK_MODEL_REFUSE_IF(count > c.remaining() / 4);
        charge(count * 4);
        std::vector<uint32_t> out(count);
        for (auto& v : out) v = c.read<uint32_t>();
        return out;
    }

    // One long token listed many times would otherwise be copied without bound.
    void pushText(UsdValue& v, std::string text) {
        charge(text.size() + sizeof(std::string));
        v.texts.push_back(std::move(text));
    }

    std::string pathAt(uint64_t index) const {
        PK_MODEL_REFUSE_IF(index >= paths_.size() || !pathAssigned_[index]);
        return paths_[index];
    }

    std::string stringAt(uint64_t index) const {
        PK_MODEL_REFUSE_IF(index >= strings_.size());
        return token(strings_[index]);
    }

    UsdValue decode(uint64_t rep) {
        const bool isArray = (rep >> 63) & 1, inlined = (rep >> 62) & 1, compressed = (rep >> 61) & 1;
        const bool arrayEdit = (rep >> 60) & 1;
        const uint8_t type = static_cast<uint8_t>(rep >> 48);
        const uint64_t payload = rep & kPayloadMask;
        UsdValue v;
        if (arrayEdit) return v;
        if (type == tValueBlock) {
            v.kind = UsdValue::Kind::blocked;
            return v;
        }
        PK_MODEL_REFUSE_IF(inlined && (isArray || compressed));
        if (const auto shape = numericShape(type)) {
            if (isArray) return numericArray(type, *shape, payload, compressed);
            PK_MODEL_REFUSE_IF(compressed);
            return numericScalar(type, *shape, payload, inlined);
        }
        PK_MODEL_REFUSE_IF(compressed);
        switch (type) {
            case tToken:
            case tAssetPath:
            case tString: {
                auto name = [&](uint64_t index) { return type == tString ? stringAt(index) : token(index); };
                if (!isArray) {
                    PK_MODEL_REFUSE_IF(!inlined);
                    std::string text = name(payload);
                    charge(text.size());
                    return UsdValue::makeText(std::move(text), type == tAssetPath);
                }
                v.kind = UsdValue::Kind::textArray;
                v.isAsset = type == tAssetPath;
                if (payload == 0) return v;
                Cursor c = cursor(payload, file_.size());
                for (uint32_t index : indexVector(c)) pushText(v, name(index));
                return v;
            }
            case tSpecifier:
            case tVariability: {
                PK_MODEL_REFUSE_IF(!inlined || isArray);
                static const char* const specifiers[] = {"def", "over", "class"};
                static const char* const variabilities[] = {"varying", "uniform"};
                PK_MODEL_REFUSE_IF(type == tSpecifier ? payload > 2 : payload > 1);
                return UsdValue::makeText(type == tSpecifier ? specifiers[payload] : variabilities[payload]);
            }
            case tTokenVector:
            case tStringVector:
            case tPathVector: {
                PK_MODEL_REFUSE_IF(inlined || isArray);
                Cursor c = cursor(payload, file_.size());
                v.kind = type == tPathVector ? UsdValue::Kind::paths : UsdValue::Kind::textArray;
                for (uint32_t index : indexVector(c))
                    pushText(v, type == tPathVector ? pathAt(index) : type == tTokenVector ? token(index) : stringAt(index));
                return v;
            }
            case tPathListOp: {
                PK_MODEL_REFUSE_IF(inlined || isArray);
                Cursor c = cursor(payload, file_.size());
                const uint8_t header = c.read<uint8_t>();
                v.kind = UsdValue::Kind::paths;
                // Explicit, added, prepended, appended, deleted, ordered: the first four
                // name targets, the last two only edit weaker opinions.
                const uint8_t bits[] = {1 << 1, 1 << 2, 1 << 5, 1 << 6, 1 << 3, 1 << 4};
                for (int k = 0; k < 6; ++k) {
                    if (!(header & bits[k])) continue;
                    const auto items = indexVector(c);
                    if (k >= 4) continue;
                    for (uint32_t index : items) pushText(v, pathAt(index));
                }
                return v;
            }
            case tDoubleVector: {
                PK_MODEL_REFUSE_IF(inlined || isArray);
                Cursor c = cursor(payload, file_.size());
                const uint64_t count = c.read<uint64_t>();
                PK_MODEL_REFUSE_IF(count > c.remaining() / 8);
                charge(count * 8);
                v.kind = UsdValue::Kind::numberArray;
                v.doubles.resize(count);
                for (auto& d : v.doubles) d = c.read<double>();
                return v;
            }
            default:
                return v;  // a kind the mesh reader does not use
        }
    }

    UsdValue numericScalar(uint8_t type, const TypeShape& shape, uint64_t payload, bool inlined) {
        std::vector<double> numbers(shape.components);
        if (inlined) {
            uint8_t bytes[8];
            std::memcpy(bytes, &payload, 8);  // little-endian payload, lowest byte first
            if (shape.components > 1) {
                // Vectors whose numbers are small integers store them as signed bytes;
                // matrices store only their diagonal that way.
                const bool matrix = type == tMatrix2d || type == tMatrix3d || type == tMatrix4d;
                PK_MODEL_REFUSE_IF(type == tQuatd || type == tQuatf || type == tQuath);
                const int n = matrix ? (type == tMatrix2d ? 2 : type == tMatrix3d ? 3 : 4) : shape.components;
                for (int i = 0; i < n; ++i) {
                    const double value = static_cast<int8_t>(bytes[i]);
                    numbers[matrix ? size_t(i) * n + i : size_t(i)] = value;
                }
            } else if (type == tDouble || type == tTimeCode) {
                numbers[0] = load<float>(bytes);  // doubles that fit a float are inlined as one
            } else if (type == tInt64) {
                numbers[0] = load<int32_t>(bytes);
            } else if (type == tUInt64) {
                numbers[0] = load<uint32_t>(bytes);
            } else {
                numbers[0] = numberAt(bytes, shape);
            }
        } else {
            Cursor c = cursor(payload, file_.size());
            const uint8_t* p = c.take(uint64_t(shape.components) * shape.bytes);
            for (size_t i = 0; i < shape.components; ++i) numbers[i] = numberAt(p + i * shape.bytes, shape);
        }
        if (type == tQuatd || type == tQuatf || type == tQuath) {
            // Stored imaginary part first; kept real part first, as the text form writes it.
            numbers = {numbers[3], numbers[0], numbers[1], numbers[2]};
        }
        return UsdValue::makeNumbers(std::move(numbers));
    }

    UsdValue numericArray(uint8_t type, const TypeShape& shape, uint64_t payload, bool compressed) {
        UsdValue v;
        v.kind = UsdValue::Kind::numberArray;
        v.components = shape.components;
        if (payload == 0) return v;  // the empty array
        Cursor c = cursor(payload, file_.size());
        const uint64_t count = c.read<uint64_t>();
        if (count == 0) return v;
        PK_MODEL_REFUSE_IF(count > (uint64_t(1) << 40));  // keeps every size below in range
        const uint64_t numbers = count * shape.components;
        const bool quaternion = type == tQuatd || type == tQuatf || type == tQuath;
        const bool intStore = shape.kind != TypeShape::Kind::real && shape.kind != TypeShape::Kind::half &&
                              shape.bytes <= 4 && type != tUInt;
        const bool floatStore = shape.kind == TypeShape::Kind::half || (shape.kind == TypeShape::Kind::real && shape.bytes == 4);
        auto put = [&](uint64_t i, double value) {
            if (intStore) v.ints[i] = static_cast<int32_t>(value);
            else if (floatStore) v.floats[i] = static_cast<float>(value);
            else v.doubles[i] = value;
        };
        auto allocate = [&] {
            charge(numbers * 8);
            if (intStore) v.ints.resize(numbers);
            else if (floatStore) v.floats.resize(numbers);
            else v.doubles.resize(numbers);
        };
        if (compressed && count >= kMinCompressedArray) {
            PK_MODEL_REFUSE_IF(shape.components != 1);
            if (shape.kind == TypeShape::Kind::real || shape.kind == TypeShape::Kind::half) {
                const uint8_t code = c.read<uint8_t>();
                if (code == 'i') {
                    const auto ints = compressedInts<int32_t>(c, count);
                    allocate();
                    for (uint64_t i = 0; i < count; ++i) put(i, ints[i]);
                } else if (code == 't') {
                    const uint64_t tableSize = c.read<uint32_t>();
                    const uint8_t* table = c.take(tableSize * shape.bytes);
                    const auto indexes = compressedInts<uint32_t>(c, count);
                    allocate();
                    for (uint64_t i = 0; i < count; ++i) {
                        PK_MODEL_REFUSE_IF(indexes[i] >= tableSize);
                        put(i, numberAt(table + uint64_t(indexes[i]) * shape.bytes, shape));
                    }
                } else {
                    refuse("unknown array encoding");
                }
            } else if (shape.bytes == 4) {
                const auto ints = compressedInts<int32_t>(c, count);
                allocate();
                for (uint64_t i = 0; i < count; ++i)
                    put(i, shape.kind == TypeShape::Kind::integer ? double(ints[i]) : double(uint32_t(ints[i])));
            } else if (shape.bytes == 8) {
                const auto ints = compressedInts<int64_t>(c, count);
                allocate();
                for (uint64_t i = 0; i < count; ++i)
                    put(i, shape.kind == TypeShape::Kind::integer ? double(ints[i]) : double(uint64_t(ints[i])));
            } else {
                refuse("compressed array of a type never compressed");  // bool and uchar arrays are never compressed
            }
            return v;
        }
        PK_MODEL_REFUSE_IF(count > c.remaining() / (uint64_t(shape.components) * shape.bytes));
        allocate();
        const uint8_t* p = c.take(numbers * shape.bytes);
        if (floatStore && shape.bytes == 4) {
            std::memcpy(v.floats.data(), p, numbers * 4);
        } else if (intStore && shape.bytes == 4) {
            std::memcpy(v.ints.data(), p, numbers * 4);
        } else {
            for (uint64_t i = 0; i < numbers; ++i) put(i, numberAt(p + i * shape.bytes, shape));
        }
        if (quaternion) {
            auto rotate = [&](auto& values) {
                for (uint64_t e = 0; e < count; ++e) {
                    auto* q = values.data() + e * 4;
                    const auto w = q[3];
                    q[3] = q[2], q[2] = q[1], q[1] = q[0], q[0] = w;
                }
            };
            if (floatStore) rotate(v.floats);
            else rotate(v.doubles);
        }
        return v;
    }

public:
    // The section being read when a check failed ("" for the header and its table).
    std::string_view section() const { return section_; }

private:
    std::span<const uint8_t> file_;
    uint64_t budget_;
    std::string_view section_;
    uint8_t major_ = 0, minor_ = 0;
    std::vector<std::string> tokens_;
    std::vector<uint32_t> strings_;
    struct Field {
        uint32_t name;
        uint64_t rep;
    };
    std::vector<Field> fields_;
    std::vector<uint32_t> fieldSets_;
    std::vector<std::string> paths_;
    std::vector<uint8_t> pathAssigned_;
};

}  // namespace

bool isUsdc(std::span<const uint8_t> bytes) {
    return bytes.size() >= 8 && std::memcmp(bytes.data(), "PXR-USDC", 8) == 0;
}

UsdLayer parseUsdc(std::span<const uint8_t> bytes) {
    CrateReader reader(bytes);
    try {
        return reader.read();
    } catch (Malformed& m) {
        m.description += reader.section().empty() ? std::string(" in the header or its table of contents")
                                                  : " in the " + std::string(reader.section()) + " section";
        m.located = true;
        throw;
    }
}

std::optional<UsdLayer> readUsdc(std::span<const uint8_t> bytes) {
    return noneIfRefused("usdc", [&] { return parseUsdc(bytes); });
}

}  // namespace pk::modelimport
