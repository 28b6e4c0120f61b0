#pragma once
// Offline, deterministic prompt-to-recipe step: keywords pick one of three archetypes,
// which fixes the asset stem, a triangle budget and a Blender Python script that blocks
// the asset out of boxes standing on the ground plane.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "PlatformKit/Foundation/Json.h"

namespace assetio {

struct VelBlenderAssetRecipeV1265 {
    std::string prompt;  // as given, NUL and ill-formed UTF-8 read as U+FFFD
    std::string assetStem;
    std::string archetype;
    int64_t targetTriangleBudget = 0;
    bool groundedY0Enforced = true;
    std::string blenderPythonScript;

    bool operator==(const VelBlenderAssetRecipeV1265&) const = default;

    pk::json::OrderedJson toJson() const;  // keys in declaration order
    static VelBlenderAssetRecipeV1265 fromJson(const pk::json::OrderedJson& j);
};

struct VelPromptToBlenderRecipeV1265 {
    VelPromptToBlenderRecipeV1265() = delete;

    struct Archetype {
        std::array<const char*, 4> keywords;  // empty row: the fallback
        const char* archetype;
        const char* assetStem;
        int64_t targetTriangleBudget;
        const char* body;  // script lines joined by line breaks, none after the last
    };
    // Tested in this order; the first row with a keyword in the lower-cased prompt wins,
    // the last row has no keywords and takes everything else.
    static const std::array<Archetype, 3> archetypes;

    static const Archetype& classify(std::string_view prompt);
    static VelBlenderAssetRecipeV1265 compileRecipe(std::string_view from);
};

}  // namespace assetio
