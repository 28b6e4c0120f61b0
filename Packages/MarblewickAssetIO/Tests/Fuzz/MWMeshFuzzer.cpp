// libFuzzer target: any bytes through the hero mesh parser and its reader.
#include <cstddef>
#include <cstdint>
#include <span>

#include "MarblewickAssetIO/MWMeshFormat.h"
#include "MarblewickAssetIO/VelBlenderHeroKitCatalogV1040.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    if (auto hero = assetio::VelBlenderHeroKitCatalogV1040::decodeMWMSv2(bytes, "fuzz.mwmesh")) {
        // Every kept index must address a vertex.
        for (uint32_t i : hero->indices)
            if (i >= hero->vertices.size()) __builtin_trap();
    }
    if (auto view = assetio::MWMeshFileView::parse(bytes)) {
        uint64_t visited = 0;
        const auto kept = view->forEachIndex([&](uint32_t m, uint32_t) {
            if (m >= view->meshletCount()) __builtin_trap();
            ++visited;
        });
        // Refused files visit nothing; read ones stay within the budget.
        if (!kept ? visited != 0 : visited != *kept || visited > view->indexPositionBudget()) __builtin_trap();
    }
    return 0;
}
