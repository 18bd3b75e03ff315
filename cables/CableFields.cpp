#include "cables/CableFields.h"

#include "common/FormatFixed.h"

namespace zemrik {

std::string DiameterText(CableBytes b, std::string_view sep) {
    // Shifted on the exact digits: hundredths, never a binary product of 0.01.
    return FormatFixed(b[cab::D], 5, 2, sep, -2);
}

std::string_view MaterialText(std::uint8_t material) { return material == 0 ? "Медь" : "Алюминий"; }

}  // namespace zemrik
