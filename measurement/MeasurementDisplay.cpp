#include "measurement/MeasurementDisplay.h"

#include <cmath>
#include <limits>

#include "common/CodePage.h"
#include "common/FormatFixed.h"

namespace zemrik {
namespace {

// A number and its unit; a value that is not a finite number shows "НД" alone, without a unit
// that would suggest a measurement.
// A unit larger by 10^-decimalShift scales the stored value on its exact decimal digits.
std::string NumberWithUnit(double value, int precision, int digits, std::string_view sep,
                           std::string_view unit, int decimalShift = 0) {
    if (!std::isfinite(value)) return std::string(NoDataText);
    std::string text = FormatFixed(value, precision, digits, sep, decimalShift);
    text += unit;
    return text;
}

// The decimal logarithm of a magnitude, held as a float; 0 gives the lowest value there is.
float Log10AsFloat(double magnitude) {
    if (magnitude == 0) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(std::log10(magnitude));
}

SectionTexts SectionAt(const MeasurementRecord& r, int s, int lengthPrecision, std::string_view sep) {
    const CableBytes section(r.data() + SectionOffset(s), CableRecordSize);
    SectionTexts t;
    t.CLbl = NumberWithUnit(CableFloat(section, cab::C), 5, 1, sep, " нФ/км");
    t.RLbl = NumberWithUnit(CableFloat(section, cab::R), 5, 1, sep, " Ом/км");
    t.dLbl = DiameterText(section, sep) + " мм";
    t.MaterialLbl = MaterialText(section[cab::Material]);
    t.LLbl = NumberWithUnit(CableFloat(section, cab::Length), lengthPrecision, 1, sep, " м");
    return t;
}

}  // namespace

std::string ResistanceText(float v, std::string_view sep) {
    if (std::isnan(v)) return std::string(NoDataText);
    if (v >= 10000.0f) return "> 10000 Ом";
    return NumberWithUnit(v, 5, 1, sep, " Ом");
}

std::string DifferenceText(float v, std::string_view sep) {
    if (std::isnan(v)) return std::string(NoDataText);
    // Truncated in floating point: an integer conversion of a huge or infinite value is undefined.
    if (std::fabs(std::trunc(static_cast<double>(v))) >= 100.0) return "> 100 Ом";
    return NumberWithUnit(v, 5, 1, sep, " Ом");
}

std::string CapacitanceText(float v, std::string_view sep) {
    if (std::isnan(v)) return std::string(NoDataText);
    if (std::fabs(v) >= 3000.0f) return "> 3000 нФ";
    return NumberWithUnit(v, 5, 1, sep, " нФ");
}

std::string DistanceText(float v, std::string_view sep) {
    if (std::isnan(v)) return std::string(NoDataText);
    if (v >= 60000.0f) return "> 60 км";
    return NumberWithUnit(v, 5, 1, sep, " м");
}

std::string InsulationText(float v, std::string_view sep) {
    if (std::isnan(v)) return std::string(NoDataText);
    const float g = Log10AsFloat(std::fabs(static_cast<double>(v)));
    if (g < 3.0f) return NumberWithUnit(v, 5, 1, sep, " кОм");
    // The unit's M is a Latin capital letter, as the instrument's documents write it.
    if (g < 6.0f) return NumberWithUnit(v, 5, 1, sep, " MОм", -3);
    if (v >= 20000000.0f) return "> 20 ГОм";
    return NumberWithUnit(v, 5, 1, sep, " ГОм", -6);
}

std::string RatioKText(float k, std::string_view sep) { return NumberWithUnit(k, 5, 3, sep, ""); }

std::string RatioDistanceText(float lxCl, std::string_view sep) {
    if (std::isnan(lxCl)) return std::string(NoDataText);
    const double a = std::fabs(static_cast<double>(lxCl));
    const float g = Log10AsFloat(a);
    if (g < 3.0f) return NumberWithUnit(lxCl, 5, 1, sep, " м");
    if (g < 5.0f) {
        if (a < 10000.0) return NumberWithUnit(lxCl, 5, 0, sep, " м");
        if (a < 60000.0) return NumberWithUnit(lxCl, 5, 2, sep, " км", -3);
    }
    return "> 60 км";
}

std::string TemperatureText(std::uint8_t tempCode) { return std::to_string(int{tempCode} - 20) + "°С"; }

MeasurementTexts ShowMeasurement(const MeasurementRecord& r, std::string_view decimalSeparator) {
    const std::string_view sep = decimalSeparator;
    MeasurementTexts t;
    const int kind = RecordKind(r);
    t.TypeLbl = std::string(KindPanelText(kind));
    switch (kind) {
        case KindRs:
            t.RsLbl = ResistanceText(RecordFloat(r, rec::Rs), sep);
            break;
        case KindDR:
            t.dRLbl = DifferenceText(RecordFloat(r, rec::dR), sep);
            break;
        case KindCx:
            t.CxabLbl = CapacitanceText(RecordFloat(r, rec::Cxab), sep);
            break;
        case KindLx:
            t.RsLbl = ResistanceText(RecordFloat(r, rec::Rs), sep);
            t.LxLbl = DistanceText(RecordFloat(r, rec::Lx), sep);
            break;
        case KindRi:
            // The instrument measures one pair here and the panel shows it in the middle row.
            t.RibcLbl = InsulationText(RecordFloat(r, rec::Riab), sep);
            break;
        case KindCl: {
            const float lxCl = RecordFloat(r, rec::LxCl);
            if (std::isnan(lxCl)) {
                // A distance that is not a number keeps the held neutral texts of the ratio row,
                // exactly as written (they are not formatted numbers); every real value,
                // infinities included, goes through the ratio rule.
                t.KLbl = "1.000";
                t.LxLbl = "0.0 м";
            } else {
                t.KLbl = RatioKText(RecordFloat(r, rec::K), sep);
                t.LxLbl = RatioDistanceText(lxCl, sep);
            }
            break;
        }
        case KindCR:
            t.CxabLbl = CapacitanceText(RecordFloat(r, rec::Cxab), sep);
            t.CxbcLbl = CapacitanceText(RecordFloat(r, rec::Cxbc), sep);
            t.CxacLbl = CapacitanceText(RecordFloat(r, rec::Cxac), sep);
            t.RiabLbl = InsulationText(RecordFloat(r, rec::Riab), sep);
            t.RibcLbl = InsulationText(RecordFloat(r, rec::Ribc), sep);
            t.RiacLbl = InsulationText(RecordFloat(r, rec::Riac), sep);
            break;
        default:
            break;  // codes 7 to 15 name no kind: the value rows stay empty
    }
    t.TLbl = TemperatureText(r[rec::TempCode]);

    for (int i = 0; i < SectionCount(r); ++i) t.items.push_back(AnsiToUtf8(SectionName(r, i)));
    t.selectedItem = t.items.empty() ? -1 : 0;
    // Section 0's bytes are shown even when the record has no sections.
    t.section = SectionAt(r, 0, 6, sep);
    return t;
}

SectionTexts SectionItemTexts(const MeasurementRecord& r, int s, std::string_view decimalSeparator) {
    if (s < 0 || s >= SectionCount(r)) return {};
    return SectionAt(r, s, 5, decimalSeparator);
}

}  // namespace zemrik
