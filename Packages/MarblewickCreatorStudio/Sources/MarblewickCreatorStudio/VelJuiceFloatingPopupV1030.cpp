#include "MarblewickCreatorStudio/VelJuiceFloatingPopupV1030.h"

#include <cmath>

#include "MarblewickCreatorStudio/RandomUUID.h"

namespace creator {

VelJuiceFloatingPopupV1030::VelJuiceFloatingPopupV1030(std::string text, uint32_t colorHex, double normalizedX,
                                                       double normalizedY, double lifetime)
    : normalizedX(normalizedX), normalizedY(normalizedY), age(0), id_(randomUUIDBytes()), text_(std::move(text)),
      colorHex_(colorHex), lifetime_(lifetime) {}

double VelJuiceFloatingPopupV1030::opacity() const { return std::fmax(0.0, 1.0 - age / std::fmax(lifetime_, 0.01)); }

}  // namespace creator
