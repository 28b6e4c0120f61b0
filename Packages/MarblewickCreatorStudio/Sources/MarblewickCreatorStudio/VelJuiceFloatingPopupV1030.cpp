#include "MarblewickCreatorStudio/VelJuiceFloatingPopupV1030.h"

#include <cmath>
#include <random>

namespace creator {

namespace {
VelJuiceFloatingPopupV1030::ID randomUUID() {
    thread_local std::mt19937_64 engine = [] {
        std::random_device rd;
        std::seed_seq seq{rd(), rd(), rd(), rd()};
        return std::mt19937_64(seq);
    }();
    VelJuiceFloatingPopupV1030::ID id;
    uint64_t a = engine(), b = engine();
    for (int i = 0; i < 8; ++i) {
        id[i] = static_cast<uint8_t>(a >> (8 * i));
        id[8 + i] = static_cast<uint8_t>(b >> (8 * i));
    }
    id[6] = static_cast<uint8_t>((id[6] & 0x0F) | 0x40);  // version 4
    id[8] = static_cast<uint8_t>((id[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return id;
}
}  // namespace

VelJuiceFloatingPopupV1030::VelJuiceFloatingPopupV1030(std::string text, uint32_t colorHex, double normalizedX,
                                                       double normalizedY, double lifetime)
    : normalizedX(normalizedX), normalizedY(normalizedY), age(0), id_(randomUUID()), text_(std::move(text)),
      colorHex_(colorHex), lifetime_(lifetime) {}

double VelJuiceFloatingPopupV1030::opacity() const { return std::fmax(0.0, 1.0 - age / std::fmax(lifetime_, 0.01)); }

}  // namespace creator
