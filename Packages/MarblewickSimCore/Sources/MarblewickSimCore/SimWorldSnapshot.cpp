#include "MarblewickSimCore/SimWorldSnapshot.h"

namespace simcore {

bool SimWorldSnapshot::operator==(const SimWorldSnapshot& o) const {
    return schemaVersion == o.schemaVersion && sameText(gameID, o.gameID) && tick == o.tick && cargo == o.cargo &&
           chips == o.chips;
}

Json SimWorldSnapshot::toJson() const {
    Json j = Json::object();
    j["schemaVersion"] = schemaVersion;
    j["gameID"] = gameID;
    j["tick"] = tick;
    Json cargoJson = Json::array();
    for (const auto& c : cargo) cargoJson.push_back(c.toJson());
    j["cargo"] = std::move(cargoJson);
    Json chipsJson = Json::array();
    for (const auto& c : chips) chipsJson.push_back(c.toJson());
    j["chips"] = std::move(chipsJson);
    return j;
}

SimWorldSnapshot SimWorldSnapshot::fromJson(const Json& j) {
    using namespace pk::json;
    requireObject(j, "SimWorldSnapshot");
    SimWorldSnapshot s;
    s.schemaVersion = readInteger<int64_t>(j, "schemaVersion");
    s.gameID = readString(j, "gameID");
    s.tick = readInteger<uint64_t>(j, "tick");
    for (const auto& c : coding::readArray(j, "cargo")) s.cargo.push_back(SimCargoBody::fromJson(c));
    for (const auto& c : coding::readArray(j, "chips")) s.chips.push_back(SimPlacedChip::fromJson(c));
    return s;
}

std::string SimWorldSnapshot::encodeDeterministicJSON() const {
    // Json keeps object keys in a byte-ordered map, so every object comes out sorted.
    return pk::json::dump(toJson(), pk::json::Style::compact);
}

SimWorldSnapshot SimWorldSnapshot::decodeDeterministicJSON(std::string_view bytes) {
    return fromJson(pk::json::parse(bytes));
}

}  // namespace simcore
