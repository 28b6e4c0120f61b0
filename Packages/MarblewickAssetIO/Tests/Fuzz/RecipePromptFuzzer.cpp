// Any bytes as a prompt: the recipe encodes and reads back, its script keeps the prompt
// on its one comment line with no source-encoding declaration, and the text is UTF-8
// without NUL.
#include <cstdint>
#include <string_view>

#include "MarblewickAssetIO/VelPromptToBlenderRecipeV1265.h"
#include "PlatformKit/Foundation/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using assetio::VelBlenderAssetRecipeV1265;
    using assetio::VelPromptToBlenderRecipeV1265;
    const std::string_view prompt(reinterpret_cast<const char*>(data), size);
    const auto r = VelPromptToBlenderRecipeV1265::compileRecipe(prompt);
    const std::string& script = r.blenderPythonScript;
    if (!pk::isValidUtf8(script) || script.find('\0') != std::string::npos) __builtin_trap();
    if (r.archetype != VelPromptToBlenderRecipeV1265::classify(prompt).archetype) __builtin_trap();
    const size_t second = script.find('\n') + 1;
    const size_t third = script.find('\n', second) + 1;
    const std::string_view line(script.data() + second, third - second);
    if (line.rfind("# Prompt: ", 0) != 0 || script.compare(third, 15, "# Style Bible: ") != 0) __builtin_trap();
    if (line.find("coding:") != std::string_view::npos || line.find("coding=") != std::string_view::npos)
        __builtin_trap();
    if (VelBlenderAssetRecipeV1265::fromJson(pk::json::parseOrdered(pk::json::dump(r.toJson()))) != r)
        __builtin_trap();
    return 0;
}
