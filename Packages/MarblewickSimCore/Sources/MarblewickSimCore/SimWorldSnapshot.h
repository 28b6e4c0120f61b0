#pragma once
// Versioned save state of the simulation core, written as deterministic JSON: compact,
// keys sorted, equal snapshots give equal bytes, and every number reads back exactly.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "MarblewickSimCore/SimCargoBody.h"
#include "MarblewickSimCore/SimCircuitCascadeKernel.h"

namespace simcore {

struct SimWorldSnapshot {
    int64_t schemaVersion = 0;
    std::string gameID;
    uint64_t tick = 0;
    std::vector<SimCargoBody> cargo;
    std::vector<SimPlacedChip> chips;

    // Memberwise; gameID by canonical equivalence, doubles by IEEE equality.
    bool operator==(const SimWorldSnapshot& other) const;

    // UTF-8 JSON bytes. Throws pk::StudioError (JSONEncoding) for a non-finite number
    // or ill-formed UTF-8; nothing is returned then.
    std::string encodeDeterministicJSON() const;
    // Throws pk::StudioError (JSONDecoding) on bad JSON, a missing key, a wrong type, a
    // number that does not fit its field or an unknown chip kind. Extra keys are ignored.
    static SimWorldSnapshot decodeDeterministicJSON(std::string_view bytes);

    Json toJson() const;
    static SimWorldSnapshot fromJson(const Json& j);
};

}  // namespace simcore
