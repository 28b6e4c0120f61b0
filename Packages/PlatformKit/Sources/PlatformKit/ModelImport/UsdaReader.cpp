#include "PlatformKit/ModelImport/UsdaReader.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "PlatformKit/ModelImport/Malformed.h"

namespace pk::modelimport {

namespace {

constexpr int kMaxPrimDepth = 256;
constexpr size_t kMaxBracketDepth = 1024;

enum class Tok : uint8_t { end, word, number, string, asset, path, punct };

struct Token {
    Tok kind = Tok::end;
    std::string_view text;  // the raw text (words, numbers, punctuation)
    std::string value;      // decoded strings, assets and paths
};

bool isWordStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || (c & 0x80); }
bool isWordChar(char c) { return isWordStart(c) || (c >= '0' && c <= '9') || c == ':' || c == '.'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

class Lexer {
public:
    explicit Lexer(std::string_view text) : s_(text) {}

    uint64_t offset() const { return p_; }

    Token next() {
        skipSpace();
        Token t;
        if (p_ >= s_.size()) return t;
        const char c = s_[p_];
        const size_t start = p_;
        if (c == '"' || c == '\'') {
            t.kind = Tok::string;
            t.value = readString(c);
        } else if (c == '@') {
            t.kind = Tok::asset;
            t.value = readAsset();
        } else if (c == '<') {
            const size_t close = s_.find('>', p_ + 1);
            PK_MODEL_REFUSE_IF(close == std::string_view::npos);
            t.kind = Tok::path;
            t.value.assign(s_.substr(p_ + 1, close - p_ - 1));
            PK_MODEL_REFUSE_IF(t.value.find_first_of("\n\r") != std::string::npos);
            p_ = close + 1;
        } else if (isDigit(c) || ((c == '-' || c == '+' || c == '.') && p_ + 1 < s_.size() &&
                                  (isDigit(s_[p_ + 1]) || s_[p_ + 1] == '.' || s_[p_ + 1] == 'i' || s_[p_ + 1] == 'n'))) {
            t.kind = Tok::number;
            ++p_;
            while (p_ < s_.size()) {
                const char d = s_[p_];
                const bool exponentSign = (d == '-' || d == '+') && (s_[p_ - 1] == 'e' || s_[p_ - 1] == 'E');
                if (!(isDigit(d) || d == '.' || d == 'e' || d == 'E' || exponentSign || (d >= 'a' && d <= 'z'))) break;
                ++p_;
            }
        } else if (isWordStart(c)) {
            t.kind = Tok::word;
            while (p_ < s_.size() && isWordChar(s_[p_])) ++p_;
        } else if (std::strchr("()[]{}=,;&:", c) != nullptr) {
            t.kind = Tok::punct;
            ++p_;
        } else {
            refuse("unexpected character");
        }
        if (t.kind == Tok::word || t.kind == Tok::number || t.kind == Tok::punct) t.text = s_.substr(start, p_ - start);
        return t;
    }

    // Skips the magic first line ("#usda 1.0"), which would otherwise read as a comment.
    bool readHeader() {
        if (s_.substr(0, 6) != "#usda ") return false;
        const size_t eol = s_.find('\n');
        const std::string_view version = s_.substr(6, eol == std::string_view::npos ? std::string_view::npos : eol - 6);
        if (version.substr(0, 3) != "1.0") return false;
        p_ = eol == std::string_view::npos ? s_.size() : eol + 1;
        return true;
    }

private:
    void skipSpace() {
        while (p_ < s_.size()) {
            const char c = s_[p_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                ++p_;
            } else if (c == '#' || (c == '/' && p_ + 1 < s_.size() && s_[p_ + 1] == '/')) {
                while (p_ < s_.size() && s_[p_] != '\n') ++p_;
            } else if (c == '/' && p_ + 1 < s_.size() && s_[p_ + 1] == '*') {
                const size_t close = s_.find("*/", p_ + 2);
                PK_MODEL_REFUSE_IF(close == std::string_view::npos);
                p_ = close + 2;
            } else {
                break;
            }
        }
    }

    std::string readString(char quote) {
        const bool triple = p_ + 2 < s_.size() && s_[p_ + 1] == quote && s_[p_ + 2] == quote;
        p_ += triple ? 3 : 1;
        std::string out;
        while (true) {
            PK_MODEL_REFUSE_IF(p_ >= s_.size());
            const char c = s_[p_];
            if (triple && c == quote && p_ + 2 < s_.size() && s_[p_ + 1] == quote && s_[p_ + 2] == quote) {
                p_ += 3;
                return out;
            }
            if (!triple && c == quote) {
                ++p_;
                return out;
            }
            PK_MODEL_REFUSE_IF(!triple && (c == '\n' || c == '\r'));
            if (c == '\\') {
                PK_MODEL_REFUSE_IF(p_ + 1 >= s_.size());
                const char e = s_[p_ + 1];
                p_ += 2;
                switch (e) {
                    case 'n': out += '\n'; break;
                    case 't': out += '\t'; break;
                    case 'r': out += '\r'; break;
                    case '0': out += '\0'; break;
                    default: out += e; break;  // \\ \" \' and anything else as itself
                }
                continue;
            }
            out += c;
            ++p_;
        }
    }

    std::string readAsset() {
        if (s_.substr(p_, 3) == "@@@") {
            p_ += 3;
            std::string out;
            while (true) {
                PK_MODEL_REFUSE_IF(p_ >= s_.size());
                if (s_.substr(p_, 4) == "\\@@@") {
                    out += "@@@";
                    p_ += 4;
                } else if (s_.substr(p_, 3) == "@@@") {
                    p_ += 3;
                    return out;
                } else {
                    out += s_[p_++];
                }
            }
        }
        const size_t close = s_.find('@', p_ + 1);
        PK_MODEL_REFUSE_IF(close == std::string_view::npos);
        std::string out(s_.substr(p_ + 1, close - p_ - 1));
        PK_MODEL_REFUSE_IF(out.find_first_of("\n\r") != std::string::npos);
        p_ = close + 1;
        return out;
    }

    std::string_view s_;
    size_t p_ = 0;
};

// What a declared type name says about its values.
struct ValueType {
    enum class Category : uint8_t { number, text, other } category = Category::other;
    enum class Storage : uint8_t { f32, f64, i32 } storage = Storage::f64;
    uint8_t components = 1;
    bool isArray = false;
    bool isAsset = false;
};

ValueType typeOf(std::string_view name) {
    ValueType t;
    if (name.size() > 2 && name.substr(name.size() - 2) == "[]") {
        t.isArray = true;
        name.remove_suffix(2);
    }
    using C = ValueType::Category;
    using S = ValueType::Storage;
    if (name == "token" || name == "string" || name == "asset") {
        t.category = C::text;
        t.isAsset = name == "asset";
        return t;
    }
    struct Known {
        const char* name;
        S storage;
        uint8_t components;
    };
    static const Known known[] = {
        {"bool", S::i32, 1},       {"uchar", S::i32, 1},      {"int", S::i32, 1},        {"uint", S::f64, 1},
        {"int64", S::f64, 1},      {"uint64", S::f64, 1},     {"int2", S::i32, 2},       {"int3", S::i32, 3},
        {"int4", S::i32, 4},       {"half", S::f32, 1},       {"float", S::f32, 1},      {"double", S::f64, 1},
        {"timecode", S::f64, 1},   {"half2", S::f32, 2},      {"half3", S::f32, 3},      {"half4", S::f32, 4},
        {"float2", S::f32, 2},     {"float3", S::f32, 3},     {"float4", S::f32, 4},     {"double2", S::f64, 2},
        {"double3", S::f64, 3},    {"double4", S::f64, 4},    {"quath", S::f32, 4},      {"quatf", S::f32, 4},
        {"quatd", S::f64, 4},      {"matrix2d", S::f64, 4},   {"matrix3d", S::f64, 9},   {"matrix4d", S::f64, 16},
        {"frame4d", S::f64, 16},
    };
    for (const auto& k : known) {
        if (name == k.name) {
            t.category = C::number;
            t.storage = k.storage;
            t.components = k.components;
            return t;
        }
    }
    // Role types: point3f, normal3d, color4h, texCoord2f, vector3f, ...
    for (std::string_view role : {"point", "normal", "vector", "color", "texCoord"}) {
        if (name.substr(0, role.size()) != role || name.size() != role.size() + 2) continue;
        const char n = name[role.size()], p = name[role.size() + 1];
        if (n < '2' || n > '4' || (p != 'h' && p != 'f' && p != 'd')) break;
        t.category = C::number;
        t.storage = p == 'd' ? S::f64 : S::f32;
        t.components = static_cast<uint8_t>(n - '0');
        return t;
    }
    return t;
}

class Parser {
public:
    // Paths repeat their prefixes, so deep or long names could make the layer's paths
    // far larger than the text: what they may add up to is capped.
    explicit Parser(std::string_view text) : lex_(text), pathBudget_(usdDecodeBudget(text.size())) {}

    // Where the reader stands, for refusals.
    uint64_t offset() const { return lex_.offset(); }

    UsdLayer parse() {
        PK_MODEL_REFUSE_IF(!lex_.readHeader());
        advance();
        UsdSpec root;
        root.type = UsdSpecType::pseudoRoot;
        if (isPunct('(')) parseMetadata(root);
        std::vector<std::string> children;
        while (tok_.kind != Tok::end) parsePrim("/", children, 1);
        root.set("primChildren", textArray(std::move(children)));
        layer_.specs["/"] = std::move(root);
        return std::move(layer_);
    }

private:
    void advance() { tok_ = lex_.next(); }
    bool isPunct(char c) const { return tok_.kind == Tok::punct && tok_.text[0] == c; }
    bool isWord(std::string_view w) const { return tok_.kind == Tok::word && tok_.text == w; }
    void expectPunct(char c) {
        PK_MODEL_REFUSE_IF(!isPunct(c));
        advance();
    }
    std::string takeWord() {
        PK_MODEL_REFUSE_IF(tok_.kind != Tok::word);
        std::string w(tok_.text);
        advance();
        return w;
    }

    static UsdValue textArray(std::vector<std::string> items) {
        UsdValue v;
        v.kind = UsdValue::Kind::textArray;
        v.texts = std::move(items);
        return v;
    }

    static bool validName(std::string_view name) {
        if (name.empty() || isDigit(name[0])) return false;
        for (char c : name)
            if (!isWordStart(c) && !isDigit(c)) return false;
        return true;
    }

    // An authored path made absolute against the prim that owns it.
    static std::string absolutePath(const std::string& anchor, const std::string& path) {
        PK_MODEL_REFUSE_IF(path.empty());
        std::vector<std::string_view> parts;
        auto split = [&](std::string_view s) {
            size_t start = 0;
            while (start <= s.size()) {
                size_t stop = s.find('/', start);
                if (stop == std::string_view::npos) stop = s.size();
                const std::string_view part = s.substr(start, stop - start);
                if (part == "..") {
                    PK_MODEL_REFUSE_IF(parts.empty());
                    parts.pop_back();
                } else if (!part.empty() && part != ".") {
                    parts.push_back(part);
                }
                start = stop + 1;
            }
        };
        if (path[0] != '/') split(anchor);
        split(path);
        std::string out;
        for (auto part : parts) {
            out += '/';
            out += part;
        }
        return out.empty() ? "/" : out;
    }

    // Skips one value of any shape: an atom (an asset may carry a prim path and a
    // layer offset after it) or a bracketed group, brackets matched by kind.
    void skipValue() {
        if (isPunct('(') || isPunct('[') || isPunct('{')) {
            skipGroup();
            return;
        }
        PK_MODEL_REFUSE_IF(tok_.kind == Tok::end || tok_.kind == Tok::punct);
        const bool asset = tok_.kind == Tok::asset;
        advance();
        if (asset && tok_.kind == Tok::path) advance();
        if (asset && isPunct('(')) skipGroup();
    }

    void skipGroup() {
        std::vector<char> open;
        do {
            PK_MODEL_REFUSE_IF(tok_.kind == Tok::end);
            if (tok_.kind == Tok::punct) {
                const char c = tok_.text[0];
                if (c == '(' || c == '[' || c == '{') {
                    PK_MODEL_REFUSE_IF(open.size() >= kMaxBracketDepth);
                    open.push_back(c == '(' ? ')' : c == '[' ? ']' : '}');
                } else if (c == ')' || c == ']' || c == '}') {
                    PK_MODEL_REFUSE_IF(open.empty() || open.back() != c);
                    open.pop_back();
                }
            }
            advance();
        } while (!open.empty());
    }

    double number() {
        double v = 0;
        if (tok_.kind == Tok::word) {
            if (tok_.text == "true") v = 1;
            else if (tok_.text == "false") v = 0;
            else if (tok_.text == "inf") v = HUGE_VAL;
            else if (tok_.text == "nan") v = NAN;
            else refuse("not a number word");
        } else if (tok_.kind == Tok::number) {
            std::string_view t = tok_.text;
            if (t[0] == '+') t.remove_prefix(1);
            const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
            PK_MODEL_REFUSE_IF(ec != std::errc() || end != t.data() + t.size());
        } else {
            refuse("expected a number");
        }
        advance();
        return v;
    }

    // A number or a (possibly nested) tuple, flattened.
    template <class Sink>
    void numbers(Sink&& sink, int depth) {
        if (!isPunct('(')) {
            sink(number());
            return;
        }
        PK_MODEL_REFUSE_IF(depth > 2);
        advance();
        while (!isPunct(')')) {
            numbers(sink, depth + 1);
            if (isPunct(',')) advance();
            else if (!isPunct(')')) refuse("expected ',' or ')' in a tuple");
        }
        advance();
    }

    std::string textAtom(const ValueType& type) {
        PK_MODEL_REFUSE_IF(type.isAsset ? tok_.kind != Tok::asset : tok_.kind != Tok::string);
        std::string v = std::move(tok_.value);
        advance();
        return v;
    }

    UsdValue parseValue(const ValueType& type) {
        if (isWord("None")) {
            advance();
            UsdValue v;
            v.kind = UsdValue::Kind::blocked;
            return v;
        }
        UsdValue v;
        if (type.category == ValueType::Category::other) {
            skipValue();
            return v;
        }
        if (type.category == ValueType::Category::text) {
            if (!type.isArray) return UsdValue::makeText(textAtom(type), type.isAsset);
            v.kind = UsdValue::Kind::textArray;
            v.isAsset = type.isAsset;
            expectPunct('[');
            while (!isPunct(']')) {
                v.texts.push_back(textAtom(type));
                if (isPunct(',')) advance();
                else if (!isPunct(']')) refuse("expected ',' or ']' in a text array");
            }
            advance();
            return v;
        }
        if (!type.isArray) {
            v.kind = UsdValue::Kind::number;
            numbers([&](double d) { v.doubles.push_back(d); }, 0);
            PK_MODEL_REFUSE_IF(v.doubles.size() != type.components);
            return v;
        }
        v.kind = UsdValue::Kind::numberArray;
        v.components = type.components;
        expectPunct('[');
        while (!isPunct(']')) {
            size_t got = 0;
            switch (type.storage) {
                case ValueType::Storage::f32:
                    numbers([&](double d) { v.floats.push_back(static_cast<float>(d)), ++got; }, 0);
                    break;
                case ValueType::Storage::f64:
                    numbers([&](double d) { v.doubles.push_back(d), ++got; }, 0);
                    break;
                case ValueType::Storage::i32:
                    numbers(
                        [&](double d) {
                            if (!(d >= INT32_MIN && d <= INT32_MAX) || static_cast<double>(static_cast<int32_t>(d)) != d)
                                refuse("not a 32-bit integer");
                            v.ints.push_back(static_cast<int32_t>(d));
                            ++got;
                        },
                        0);
                    break;
            }
            PK_MODEL_REFUSE_IF(got != type.components);
            if (isPunct(',')) advance();
            else if (!isPunct(']')) refuse("expected ',' or ']' in an array");
        }
        advance();
        return v;
    }

    // One path, a bracketed list of them, or None.
    UsdValue parsePaths(const std::string& anchor) {
        UsdValue v;
        v.kind = UsdValue::Kind::paths;
        if (isWord("None")) {
            advance();
            return v;
        }
        auto one = [&] {
            PK_MODEL_REFUSE_IF(tok_.kind != Tok::path);
            v.texts.push_back(absolutePath(anchor, tok_.value));
            chargePath(v.texts.back());
            advance();
        };
        if (!isPunct('[')) {
            one();
            return v;
        }
        advance();
        while (!isPunct(']')) {
            one();
            if (isPunct(',')) advance();
            else if (!isPunct(']')) refuse("expected ',' or ']' in a path list");
        }
        advance();
        return v;
    }

    static bool isListEdit(std::string_view w) {
        return w == "prepend" || w == "append" || w == "add" || w == "delete" || w == "reorder";
    }

    // "( key = value ... )": the keys the mesh reader reads are kept with their types,
    // everything else is skipped.
    void parseMetadata(UsdSpec& spec) {
        expectPunct('(');
        while (!isPunct(')')) {
            if (isPunct(';')) {
                advance();
                continue;
            }
            if (tok_.kind == Tok::string) {  // a bare doc string
                advance();
                continue;
            }
            std::string key = takeWord();
            bool edited = false;
            if (isListEdit(key)) {
                edited = true;
                key = takeWord();
            }
            expectPunct('=');
            ValueType type;
            if (!edited) {
                if (key == "defaultPrim" || key == "upAxis" || key == "interpolation" || key == "kind")
                    type.category = ValueType::Category::text;
                else if (key == "metersPerUnit" || key == "elementSize" || key == "active")
                    type.category = ValueType::Category::number;
            }
            UsdValue value = parseValue(type);
            if (value.kind != UsdValue::Kind::unsupported) spec.set(std::move(key), std::move(value));
        }
        advance();
    }

    void parsePrim(const std::string& parent, std::vector<std::string>& siblings, int depth) {
        PK_MODEL_REFUSE_IF(depth > kMaxPrimDepth);
        const std::string specifier = takeWord();
        PK_MODEL_REFUSE_IF(specifier != "def" && specifier != "over" && specifier != "class");
        std::string typeName;
        if (tok_.kind == Tok::word) typeName = takeWord();
        PK_MODEL_REFUSE_IF(tok_.kind != Tok::string || !validName(tok_.value));
        const std::string name = std::move(tok_.value);
        advance();
        const std::string path = usdChildPath(parent, name);
        chargePath(path);
        PK_MODEL_REFUSE_IF(layer_.specs.count(path));
        layer_.specs[path].type = UsdSpecType::prim;  // reserve the path before children are read

        UsdSpec spec;
        spec.type = UsdSpecType::prim;
        spec.set("specifier", UsdValue::makeText(specifier));
        if (!typeName.empty()) spec.set("typeName", UsdValue::makeText(typeName));
        if (isPunct('(')) parseMetadata(spec);
        expectPunct('{');
        std::vector<std::string> children, properties;
        while (!isPunct('}')) {
            PK_MODEL_REFUSE_IF(tok_.kind == Tok::end);
            if (isPunct(';')) {
                advance();
            } else if (isWord("def") || isWord("over") || isWord("class")) {
                parsePrim(path, children, depth + 1);
            } else if (isWord("variantSet")) {
                advance();
                PK_MODEL_REFUSE_IF(tok_.kind != Tok::string);
                advance();
                expectPunct('=');
                PK_MODEL_REFUSE_IF(!isPunct('{'));
                skipGroup();
            } else if (isWord("reorder")) {
                advance();
                takeWord();
                expectPunct('=');
                skipValue();
            } else {
                parseProperty(path, properties);
            }
        }
        advance();
        spec.set("primChildren", textArray(std::move(children)));
        spec.set("properties", textArray(std::move(properties)));
        layer_.specs[path] = std::move(spec);
        siblings.push_back(name);
    }

    UsdSpec& propertySpec(const std::string& prim, const std::string& name, UsdSpecType type,
                          std::vector<std::string>& properties) {
        const std::string path = usdPropertyPath(prim, name);
        chargePath(path);
        auto [it, added] = layer_.specs.try_emplace(path);
        if (added) {
            it->second.type = type;
            properties.push_back(name);
        } else if (it->second.type != type) {
            refuse("a property declared twice with different types");
        }
        return it->second;
    }

    void parseProperty(const std::string& prim, std::vector<std::string>& properties) {
        std::string word = takeWord();
        bool deleted = false;
        if (isListEdit(word)) {
            deleted = word == "delete";
            word = takeWord();
        }
        if (word == "custom") word = takeWord();
        std::string variability;
        if (word == "uniform" || word == "varying" || word == "config") {
            variability = word;
            word = takeWord();
        }
        if (word == "rel") {
            std::string name = takeWord();
            const size_t dot = name.find('.');
            if (dot != std::string::npos) {  // "rel x.default = ..." and the like: not read
                expectPunct('=');
                skipValue();
                return;
            }
            PK_MODEL_REFUSE_IF(!validPropertyName(name));
            UsdSpec& spec = propertySpec(prim, name, UsdSpecType::relationship, properties);
            if (isPunct('=')) {
                advance();
                UsdValue targets = parsePaths(prim);
                if (!deleted) spec.set("targetPaths", std::move(targets));
            }
            if (isPunct('(')) parseMetadata(spec);
            return;
        }
        std::string typeName = std::move(word);
        if (isPunct('[')) {
            advance();
            expectPunct(']');
            typeName += "[]";
        }
        std::string name = takeWord();
        std::string suffix;
        if (const size_t dot = name.find('.'); dot != std::string::npos) {
            suffix = name.substr(dot + 1);
            name.resize(dot);
        }
        PK_MODEL_REFUSE_IF(!validPropertyName(name));
        UsdSpec& spec = propertySpec(prim, name, UsdSpecType::attribute, properties);
        spec.set("typeName", UsdValue::makeText(typeName));
        if (!variability.empty()) spec.set("variability", UsdValue::makeText(variability));
        if (suffix == "connect") {
            expectPunct('=');
            UsdValue sources = parsePaths(prim);
            if (!deleted) spec.set("connectionPaths", std::move(sources));
        } else if (suffix == "timeSamples" || suffix == "spline") {
            expectPunct('=');
            PK_MODEL_REFUSE_IF(!isPunct('{'));
            skipGroup();
        } else if (suffix.empty()) {
            if (isPunct('=')) {
                advance();
                UsdValue value = parseValue(typeOf(typeName));
                if (!deleted) spec.set("default", std::move(value));
            }
        } else {
            refuse("expected a property, a child prim or a closing brace");
        }
        if (isPunct('(')) parseMetadata(spec);
    }

    static bool validPropertyName(std::string_view name) {
        if (name.empty() || name.front() == ':' || name.back() == ':') return false;
        for (char c : name)
            if (!isWordStart(c) && !isDigit(c) && c != ':') return false;
        return !isDigit(name[0]);
    }

    void chargePath(const std::string& path) {
        PK_MODEL_REFUSE_IF(path.size() > pathBudget_);
        pathBudget_ -= path.size();
    }

    Lexer lex_;
    Token tok_;
    UsdLayer layer_;
    uint64_t pathBudget_;
};

}  // namespace

UsdLayer parseUsda(std::string_view text) {
    Parser parser(text);
    try {
        return parser.parse();
    } catch (Malformed& m) {
        if (!m.located) m.description += " near byte " + std::to_string(parser.offset());
        m.located = true;
        throw;
    }
}

std::optional<UsdLayer> readUsda(std::string_view text) {
    return noneIfRefused("usda", [&] { return parseUsda(text); });
}

}  // namespace pk::modelimport
