#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "PlatformKit/Foundation/Json.h"

using namespace pk::json;

TEST(Json, FloatsAreWrittenAsTheirShortestText) {
    Json j = Json::object();
    j["a"] = floatNumber(0.22f);
    j["b"] = floatNumber(2.0f);
    j["c"] = floatNumber(-1.5f);
    j["d"] = floatNumber(1e-7f);
    EXPECT_EQ(dump(j), R"({"a":0.22,"b":2,"c":-1.5,"d":1e-07})");
    // Read back as float gives the very same float.
    EXPECT_EQ(readFloat(parse(dump(j)), "a"), 0.22f);
}

TEST(Json, EveryTrickyFloatReadsBackExactly) {
    const float cases[] = {-0.0f, std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
                           std::numeric_limits<float>::denorm_min(), 7.038531e-26f, -7.038531e-26f, 0.1f, 3.4e38f};
    for (float f : cases) {
        Json j = {{"v", floatNumber(f)}};
        const float back = readFloat(parse(dump(j)), "v");
        EXPECT_EQ(std::memcmp(&back, &f, sizeof f), 0) << f;
    }
}

TEST(Json, NonFiniteNumbersMakeTheWriteFail) {
    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        Json j = {{"nested", Json::array({1, bad})}};
        EXPECT_THROW(dump(j), pk::StudioError);
        OrderedJson o = {{"x", bad}};
        EXPECT_THROW(dump(o, Style::pretty), pk::StudioError);
    }
}

TEST(Json, PrettyOutputSortsKeysAndOrderedKeepsDeclarationOrder) {
    Json sorted = Json::object();
    sorted["zeta"] = 1;
    sorted["alpha"] = 2;
    EXPECT_EQ(dump(sorted, Style::pretty), "{\n  \"alpha\": 2,\n  \"zeta\": 1\n}");
    OrderedJson ordered = OrderedJson::object();
    ordered["zeta"] = 1;
    ordered["alpha"] = 2;
    EXPECT_EQ(dump(ordered), R"({"zeta":1,"alpha":2})");
}

TEST(Json, IntegerReadersAreStrict) {
    struct Case {
        const char* text;
        bool okInt32;
        bool okUInt32;
    };
    const Case cases[] = {
        {"5", true, true},          {"-1", true, false},       {"1.5", false, false},   {"2.0", true, true},
        {"4294967295", false, true}, {"4294967296", false, false}, {"-2147483648", true, false},
        {"\"5\"", false, false},    {"true", false, false},    {"1e300", false, false},
    };
    for (const auto& c : cases) {
        Json v = parse(c.text);
        if (c.okInt32) EXPECT_NO_THROW(asInteger<int32_t>(v)) << c.text;
        else EXPECT_THROW(asInteger<int32_t>(v), pk::StudioError) << c.text;
        if (c.okUInt32) EXPECT_NO_THROW(asInteger<uint32_t>(v)) << c.text;
        else EXPECT_THROW(asInteger<uint32_t>(v), pk::StudioError) << c.text;
    }
    EXPECT_THROW(asInteger<int64_t>(parse("9223372036854775808")), pk::StudioError);
    EXPECT_EQ(asInteger<uint64_t>(parse("18446744073709551615")), UINT64_MAX);
}

TEST(Json, RequiredKeysAndTypes) {
    Json j = parse(R"({"f": 3, "s": "x", "n": null, "b": true})");
    EXPECT_EQ(readFloat(j, "f"), 3.0f);  // float fields accept integer tokens
    EXPECT_THROW(readFloat(j, "missing"), pk::StudioError);
    EXPECT_THROW(readFloat(j, "n"), pk::StudioError);
    EXPECT_THROW(readFloat(j, "s"), pk::StudioError);
    EXPECT_THROW(readString(j, "f"), pk::StudioError);
    EXPECT_THROW(readBool(j, "f"), pk::StudioError);
    EXPECT_FALSE(readOptionalString(j, "n").has_value());
    EXPECT_FALSE(readOptionalString(j, "missing").has_value());
    EXPECT_THROW(readOptionalString(j, "f"), pk::StudioError);
    EXPECT_THROW(readFloat(parse(R"({"f": 1e39})"), "f"), pk::StudioError);
    try {
        readFloat(j, "missing");
    } catch (const pk::StudioError& e) {
        EXPECT_EQ(e.domain, kDecodingDomain);
        EXPECT_EQ(e.code, keyNotFound);
    }
}

TEST(Json, BadDocumentsFailToParse) {
    EXPECT_THROW(parse("{"), pk::StudioError);
    EXPECT_THROW(parse("{} trailing"), pk::StudioError);
    EXPECT_THROW(parse(std::string(100000, '[')), pk::StudioError);  // too deep, no stack overflow
    EXPECT_THROW(parse(""), pk::StudioError);
}
