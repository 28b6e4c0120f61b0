#include "PlatformKit/Draw2D/Font.h"

#include <map>
#include <mutex>
#include <vector>

#include "PlatformKit/Draw2D/FontFace.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Foundation/Text.h"

#if defined(__SANITIZE_ADDRESS__)
#define PK_DRAW2D_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PK_DRAW2D_ASAN 1
#endif
#endif
#if defined(PK_DRAW2D_ASAN)
// fontconfig loses a small block while parsing its configuration, once per process; the
// leak checker of sanitizer builds would otherwise fail every program that draws text.
// Weak, so a program that lists its own suppressions keeps them.
extern "C" __attribute__((weak, used)) const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

namespace pk::draw2d {

namespace {

const std::vector<std::string> kSansFamilies = {"Nimbus Sans", "Liberation Sans", "DejaVu Sans"};
const std::vector<std::string> kMonoFamilies = {"Nimbus Mono PS", "Liberation Mono", "DejaVu Sans Mono"};
const std::vector<std::string> kSerifFamilies = {"Nimbus Roman", "Liberation Serif", "DejaVu Serif"};

std::string compactLower(std::string_view s) {
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '_' && c != '.') out.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
    return out;
}

bool contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

const std::vector<std::string>* platformFamilies(const std::string& family) {
    static const std::map<std::string, const std::vector<std::string>*> known = {
        {"helvetica", &kSansFamilies},   {"helveticaneue", &kSansFamilies}, {"arial", &kSansFamilies},
        {"arialmt", &kSansFamilies},     {"sfpro", &kSansFamilies},         {"sfprodisplay", &kSansFamilies},
        {"sfprotext", &kSansFamilies},   {"sfns", &kSansFamilies},          {"system", &kSansFamilies},
        {"lucidagrande", &kSansFamilies}, {"menlo", &kMonoFamilies},        {"monaco", &kMonoFamilies},
        {"courier", &kMonoFamilies},     {"couriernew", &kMonoFamilies},    {"sfmono", &kMonoFamilies},
        {"times", &kSerifFamilies},      {"timesnewroman", &kSerifFamilies}, {"georgia", &kSerifFamilies},
    };
    auto it = known.find(family);
    return it == known.end() ? nullptr : it->second;
}

int fcWeight(FontWeight w) {
    switch (w) {
        case FontWeight::light: return FC_WEIGHT_LIGHT;
        case FontWeight::regular: return FC_WEIGHT_REGULAR;
        case FontWeight::medium: return FC_WEIGHT_MEDIUM;
        case FontWeight::semibold: return FC_WEIGHT_DEMIBOLD;
        case FontWeight::bold: return FC_WEIGHT_BOLD;
        case FontWeight::heavy: return FC_WEIGHT_HEAVY;
    }
    return FC_WEIGHT_REGULAR;
}

std::string familyOf(FcPattern* p) {
    FcChar8* name = nullptr;
    if (FcPatternGetString(p, FC_FAMILY, 0, &name) != FcResultMatch || !name) return {};
    return reinterpret_cast<const char*>(name);
}

// The match for one family, or null when fontconfig substitutes another family for it.
FcPattern* matchFamily(const std::string& family, FontWeight weight, bool italic, bool exact) {
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return nullptr;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, fcWeight(weight));
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* matched = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!matched) return nullptr;
    if (exact && compactLower(familyOf(matched)) != compactLower(family)) {
        FcPatternDestroy(matched);
        return nullptr;
    }
    return matched;
}

std::mutex gCacheMutex;
std::map<std::string, std::shared_ptr<const Font::Face>>& faceCache() {
    static std::map<std::string, std::shared_ptr<const Font::Face>> cache;
    return cache;
}

// Tries the families in order; the last resort is whatever fontconfig offers for sans.
std::shared_ptr<const Font::Face> resolve(const std::vector<std::string>& families, FontWeight weight, bool italic) {
    std::string key;
    for (const auto& f : families) key += f + "|";
    key += std::to_string(static_cast<int>(weight)) + (italic ? "i" : "r");

    std::lock_guard<std::mutex> lock(gCacheMutex);
    auto& cache = faceCache();
    if (auto it = cache.find(key); it != cache.end()) return it->second;

    if (!FcInit()) throw StudioError("Draw2D", 1, "fontconfig could not be initialised");
    FcPattern* matched = nullptr;
    for (const auto& f : families)
        if ((matched = matchFamily(f, weight, italic, true))) break;
    if (!matched) matched = matchFamily("sans-serif", weight, italic, false);
    if (!matched) throw StudioError("Draw2D", 2, "No font is installed");

    cairo_font_face_t* face = cairo_ft_font_face_create_for_pattern(matched);
    if (!face || cairo_font_face_status(face) != CAIRO_STATUS_SUCCESS) {
        if (face) cairo_font_face_destroy(face);
        FcPatternDestroy(matched);
        throw StudioError("Draw2D", 3, "The font face could not be created");
    }
    auto entry = std::make_shared<const Font::Face>(matched, face, familyOf(matched), weight);
    cache.emplace(key, entry);
    return entry;
}

FontWeight weightFromStyle(const std::string& style) {
    if (contains(style, "semibold") || contains(style, "demibold")) return FontWeight::semibold;
    if (contains(style, "heavy") || contains(style, "black") || contains(style, "extrabold")) return FontWeight::heavy;
    if (contains(style, "bold")) return FontWeight::bold;
    if (contains(style, "medium")) return FontWeight::medium;
    if (contains(style, "light") || contains(style, "thin")) return FontWeight::light;
    return FontWeight::regular;
}

// A scaled font at `size` with the text options; the caller destroys it.
cairo_scaled_font_t* scaledFont(const Font::Face& face, double size) {
    cairo_matrix_t fontMatrix, ctm;
    cairo_matrix_init_scale(&fontMatrix, size, size);
    cairo_matrix_init_identity(&ctm);
    return cairo_scaled_font_create(face.cairoFace, &fontMatrix, &ctm, textFontOptions());
}

}  // namespace

Font::Face::~Face() {
    cairo_font_face_destroy(cairoFace);
    FcPatternDestroy(matched);
}

cairo_font_options_t* textFontOptions() {
    static cairo_font_options_t* options = [] {
        cairo_font_options_t* o = cairo_font_options_create();
        cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_OFF);
        return o;
    }();
    return options;
}

Font Font::named(std::string_view platformName, double size) {
    std::string name(platformName);
    std::string familyPart = name, stylePart;
    if (auto dash = name.find('-'); dash != std::string::npos) {
        familyPart = name.substr(0, dash);
        stylePart = compactLower(name.substr(dash + 1));
    }
    FontWeight weight = weightFromStyle(stylePart);
    bool italic = contains(stylePart, "italic") || contains(stylePart, "oblique");
    if (const auto* families = platformFamilies(compactLower(familyPart)))
        return Font(resolve(*families, weight, italic), size);
    std::vector<std::string> families = {familyPart};
    families.insert(families.end(), kSansFamilies.begin(), kSansFamilies.end());
    return Font(resolve(families, weight, italic), size);
}

Font Font::family(std::string_view familyName, double size, FontWeight weight, bool italic) {
    std::string name(familyName);
    if (const auto* families = platformFamilies(compactLower(name))) return Font(resolve(*families, weight, italic), size);
    std::vector<std::string> families = {name};
    families.insert(families.end(), kSansFamilies.begin(), kSansFamilies.end());
    return Font(resolve(families, weight, italic), size);
}

const std::string& Font::resolvedFamily() const { return face_->family; }
FontWeight Font::weight() const { return face_->weight; }

TextMetrics Font::measure(std::string_view utf8) const {
    std::string text = pk::repairUtf8(utf8);
    cairo_scaled_font_t* sf = scaledFont(*face_, size_);
    TextMetrics m;
    if (cairo_scaled_font_status(sf) == CAIRO_STATUS_SUCCESS) {
        cairo_text_extents_t te;
        cairo_scaled_font_text_extents(sf, text.c_str(), &te);
        cairo_font_extents_t fe;
        cairo_scaled_font_extents(sf, &fe);
        m.advance = te.x_advance;
        m.ascent = fe.ascent;
        m.descent = fe.descent;
        m.inkX = te.x_bearing;
        m.inkY = -(te.y_bearing + te.height);
        m.inkWidth = te.width;
        m.inkHeight = te.height;
    }
    cairo_scaled_font_destroy(sf);
    return m;
}

double Font::ascent() const { return measure("").ascent; }
double Font::descent() const { return measure("").descent; }

}  // namespace pk::draw2d
