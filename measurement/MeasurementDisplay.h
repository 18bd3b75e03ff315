#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "measurement/MeasurementRecord.h"

// The texts of the detail panel for one record, as a pure function; windows only copy them
// into their labels. All texts are UTF-8.
namespace zemrik {

struct SectionTexts {
    std::string CLbl;
    std::string RLbl;
    std::string dLbl;
    std::string MaterialLbl;
    std::string LLbl;
};

struct MeasurementTexts {
    std::string TypeLbl, RsLbl, dRLbl, CxabLbl, CxbcLbl, CxacLbl, KLbl, RiabLbl, RibcLbl, RiacLbl, LxLbl,
        TLbl;
    std::vector<std::string> items;  // ItemsCB: one section name per section
    int selectedItem = -1;           // 0 when there are items, else -1
    SectionTexts section;            // section 0, as ShowMeasurement leaves it
};

// The panel's value rows from top to bottom, each with its caption (the delta a real character
// where the panel draws a small triangle); the report and zemrik-cli show a record in this order.
struct PanelValueRow {
    std::string_view caption;
    std::string MeasurementTexts::*text;
};
inline constexpr std::array<PanelValueRow, 10> PanelValueRows{{
    {"Rs:", &MeasurementTexts::RsLbl},
    {"ΔR:", &MeasurementTexts::dRLbl},
    {"Cx(AB):", &MeasurementTexts::CxabLbl},
    {"Cx(BC):", &MeasurementTexts::CxbcLbl},
    {"Cx(AC):", &MeasurementTexts::CxacLbl},
    {"Cx/Cl:", &MeasurementTexts::KLbl},
    {"Ri(AB):", &MeasurementTexts::RiabLbl},
    {"Ri(BC):", &MeasurementTexts::RibcLbl},
    {"Ri(AC):", &MeasurementTexts::RiacLbl},
    {"Lx:", &MeasurementTexts::LxLbl},
}};

// What ShowMeasurement leaves in the panel.
MeasurementTexts ShowMeasurement(const MeasurementRecord& r, std::string_view decimalSeparator);

// What picking section s in ItemsCB shows (the length then has 5 significant digits).
SectionTexts SectionItemTexts(const MeasurementRecord& r, int s, std::string_view decimalSeparator);

// The value rules, exposed for the tests and the cable texts. A value that is not a number
// shows "НД" alone; an infinite one shows its over-range text where the rule has one for its
// sign, else "НД". A kind 5 record whose LxCl is not a number shows the held texts "1.000" and
// "0.0 м" (as written, whatever the separator) in place of the ratio rule.
std::string ResistanceText(float v, std::string_view sep);
std::string DifferenceText(float v, std::string_view sep);
std::string CapacitanceText(float v, std::string_view sep);
std::string DistanceText(float v, std::string_view sep);
std::string InsulationText(float v, std::string_view sep);
std::string RatioKText(float k, std::string_view sep);
std::string RatioDistanceText(float lxCl, std::string_view sep);
std::string TemperatureText(std::uint8_t tempCode);

}  // namespace zemrik
