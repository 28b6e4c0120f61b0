#include "PlatformKit/Foundation/Json.h"

#include <charconv>
#include <cstdlib>

namespace pk::json {

void failDecode(int code, const std::string& text) { throw StudioError(kDecodingDomain, code, text); }

Json floatNumber(float v) {
    if (!std::isfinite(v)) return Json(static_cast<double>(v));  // the writer refuses it
    if (v == 0.0f) return std::signbit(v) ? Json(-0.0) : Json(0);
    if (std::trunc(v) == v && std::fabs(v) < 9007199254740992.0f) return Json(static_cast<int64_t>(v));
    char buf[48];
    auto res = std::to_chars(buf, buf + sizeof buf - 1, v);
    *res.ptr = '\0';
    const double shortest = std::strtod(buf, nullptr);
    // Reading goes text -> double -> float; where that double rounding lands on another
    // float, write the float's exact value instead of its shortest text.
    if (static_cast<float>(shortest) != v) return Json(static_cast<double>(v));
    return Json(shortest);
}

Json doubleNumber(double v) {
    if (std::isfinite(v) && std::trunc(v) == v && std::fabs(v) < 9007199254740992.0) {
        if (v == 0.0) return Json(0);
        return Json(static_cast<int64_t>(v));
    }
    return Json(v);
}

namespace {

template <class J>
void checkFinite(const J& j) {
    switch (j.type()) {
        case nlohmann::detail::value_t::number_float: {
            double d = j.template get<double>();
            if (!std::isfinite(d))
                throw StudioError(kEncodingDomain, invalidValue, "Unable to encode " + std::to_string(d) + " directly in JSON.");
            break;
        }
        case nlohmann::detail::value_t::object:
        case nlohmann::detail::value_t::array:
            for (const auto& e : j) checkFinite(e);
            break;
        default:
            break;
    }
}

template <class J>
std::string dumpImpl(const J& j, Style style) {
    checkFinite(j);
    try {
        return style == Style::pretty ? j.dump(2) : j.dump();
    } catch (const nlohmann::json::exception& e) {
        throw StudioError(kEncodingDomain, invalidValue, e.what());
    }
}

template <class J>
J parseImpl(std::string_view text) {
    constexpr int kMaxDepth = 256;
    try {
        typename J::parser_callback_t limit = [](int depth, nlohmann::json::parse_event_t, J&) {
            if (depth > kMaxDepth) throw StudioError(kDecodingDomain, dataCorrupted, "JSON nesting is too deep.");
            return true;
        };
        return J::parse(text.begin(), text.end(), limit, true, false);
    } catch (const nlohmann::json::exception& e) {
        throw StudioError(kDecodingDomain, dataCorrupted, std::string("The given data was not valid JSON. ") + e.what());
    }
}

}  // namespace

std::string dump(const Json& j, Style style) { return dumpImpl(j, style); }
std::string dump(const OrderedJson& j, Style style) { return dumpImpl(j, style); }
Json parse(std::string_view text) { return parseImpl<Json>(text); }
OrderedJson parseOrdered(std::string_view text) { return parseImpl<OrderedJson>(text); }

}  // namespace pk::json
