// Loading a vault of 200 maps (the store reloads it after every publish and every cloud
// answer): the whole load against reading the same files' bytes alone, so the ratio is
// what listing, decoding and sorting cost on top of the file system.
#include <benchmark/benchmark.h>

#include <filesystem>

#include <unistd.h>

#include "MarblewickCreatorStudio/VelUGCVaultStorageV1175.h"
#include "PlatformKit/Foundation/Files.h"

using namespace creator;
namespace fs = std::filesystem;

namespace {

constexpr int kMaps = 200;

const fs::path& vaultFolder() {
    static const fs::path folder = [] {
        fs::path p = fs::temp_directory_path() / ("raid-vault-bench-" + std::to_string(::getpid()));
        fs::remove_all(p);
        auto map = VelUGCVaultStorageV1175::flagshipRaidPacks().front();
        for (int i = 0; i < kMaps; ++i) {
            map.id = "map_" + std::to_string(i);
            map.createdISO = VelUGCVaultStorageV1175::iso8601(1.7e9 + 37.0 * ((i * 7919) % kMaps));
            VelUGCVaultStorageV1175::saveLocally(map, p);
        }
        std::atexit([] { fs::remove_all(vaultFolder()); });
        return p;
    }();
    return folder;
}

}  // namespace

static void BM_LoadVault200Maps(benchmark::State& state) {
    const fs::path& folder = vaultFolder();
    for (auto _ : state) {
        auto maps = VelUGCVaultStorageV1175::loadLocalVault(folder);
        if (maps.size() != size_t(kMaps)) state.SkipWithError("wrong map count");
        benchmark::DoNotOptimize(maps.data());
    }
    state.SetItemsProcessed(state.iterations() * kMaps);
}
BENCHMARK(BM_LoadVault200Maps)->Unit(benchmark::kMillisecond);

static void BM_BaselineReadVault200Files(benchmark::State& state) {
    const fs::path& folder = vaultFolder();
    for (auto _ : state) {
        size_t bytes = 0;
        for (const auto& e : fs::directory_iterator(folder)) bytes += pk::readFile(e.path())->size();
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * kMaps);
}
BENCHMARK(BM_BaselineReadVault200Files)->Unit(benchmark::kMillisecond);
