#pragma once
// A floating text popup that rises and fades; the identity list views use is a random
// UUID made at creation.
#include <array>
#include <cstdint>
#include <string>

namespace creator {

class VelJuiceFloatingPopupV1030 {
public:
    using ID = std::array<uint8_t, 16>;  // a random (version 4) UUID

    VelJuiceFloatingPopupV1030(std::string text, uint32_t colorHex, double normalizedX, double normalizedY,
                               double lifetime);

    const ID& id() const { return id_; }
    const std::string& text() const { return text_; }
    uint32_t colorHex() const { return colorHex_; }
    double lifetime() const { return lifetime_; }
    // 1 at creation, falling linearly to 0 at the end of the lifetime.
    double opacity() const;

    double normalizedX = 0;
    double normalizedY = 0;
    double age = 0;

    bool operator==(const VelJuiceFloatingPopupV1030&) const = default;

private:
    ID id_{};
    std::string text_;
    uint32_t colorHex_ = 0;
    double lifetime_ = 0;
};

}  // namespace creator
