#include "report/CsvExport.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <span>

#include "cables/CableFields.h"
#include "common/FileIO.h"
#include "common/MessageTexts.h"
#include "measurement/MeasurementDisplay.h"
#include "report/ReportContent.h"

namespace zemrik {
namespace {

constexpr std::string_view Bom = "\xEF\xBB\xBF";
constexpr std::string_view Separator = ";";
constexpr std::string_view LineEnd = "\r\n";

// A value column: its heading, the panel label that shows it, and the power of ten from the
// stored unit to the column's (kilo-ohms to megohms: -3).
struct ValueColumn {
    std::string_view heading;
    std::string MeasurementTexts::*label;
    int shift;
};

// The panel's rows, in its order. Insulation in megohms: the unit the panel uses most.
constexpr std::array<ValueColumn, 10> ValueColumns{{
    {"Rs, Ом", &MeasurementTexts::RsLbl, 0},
    {"ΔR, Ом", &MeasurementTexts::dRLbl, 0},
    {"Cx(AB), нФ", &MeasurementTexts::CxabLbl, 0},
    {"Cx(BC), нФ", &MeasurementTexts::CxbcLbl, 0},
    {"Cx(AC), нФ", &MeasurementTexts::CxacLbl, 0},
    {"Cx/Cl", &MeasurementTexts::KLbl, 0},
    {"Ri(AB), МОм", &MeasurementTexts::RiabLbl, -3},
    {"Ri(BC), МОм", &MeasurementTexts::RibcLbl, -3},
    {"Ri(AC), МОм", &MeasurementTexts::RiacLbl, -3},
    {"Lx, м", &MeasurementTexts::LxLbl, 0},
}};

constexpr std::array<std::string_view, 6> SectionHeadings{"",        ": C, нФ/км", ": R, Ом/км",
                                                          ": d, мм", ": материал", ": длина, м"};

// The record field behind value column c for this kind: the panel shows a kind 4 value (pair
// AB) in the row of pair BC, and the ratio's distance in the row of Lx.
std::size_t FieldOffset(std::size_t column, int kind) {
    constexpr std::array<std::size_t, 10> offsets{rec::Rs, rec::dR,   rec::Cxab, rec::Cxbc, rec::Cxac,
                                                  rec::K,  rec::Riab, rec::Ribc, rec::Riac, rec::Lx};
    if (kind == KindRi && column == 7) return rec::Riab;
    if (kind == KindCl && column == 9) return rec::LxCl;
    return offsets[column];
}

bool IsOverRange(std::string_view text) { return text.substr(0, 2) == "> "; }

// Moves the decimal point of a plain decimal ("-12.5") by `shift` places, on its digits.
std::string ShiftDecimal(std::string_view text, int shift) {
    std::string sign;
    if (!text.empty() && text.front() == '-') {
        sign = "-";
        text.remove_prefix(1);
    }
    const std::size_t point = text.find('.');
    std::string digits(text.substr(0, point));
    long pointAt = static_cast<long>(digits.size()) + shift;
    if (point != std::string_view::npos) digits += text.substr(point + 1);
    if (pointAt <= 0) {
        digits.insert(0, static_cast<std::size_t>(1 - pointAt), '0');
        pointAt = 1;
    }
    if (pointAt > static_cast<long>(digits.size()))
        digits.append(static_cast<std::size_t>(pointAt) - digits.size(), '0');
    std::string whole = digits.substr(0, static_cast<std::size_t>(pointAt));
    std::string fraction = digits.substr(static_cast<std::size_t>(pointAt));
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size() - 1));
    fraction.erase(fraction.find_last_not_of('0') + 1);
    if (whole == "0" && fraction.empty()) sign.clear();
    return sign + whole + (fraction.empty() ? "" : "." + fraction);
}

std::string WithSeparator(std::string number, std::string_view sep) {
    const std::size_t point = number.find('.');
    if (point != std::string::npos) number.replace(point, 1, sep);
    return number;
}

void AppendRow(std::string& out, const std::vector<std::string>& cells) {
    for (std::size_t c = 0; c < cells.size(); ++c) {
        if (c > 0) out += Separator;
        out += CsvField(cells[c]);
    }
    out += LineEnd;
}

std::vector<std::string> RecordCells(const MeasurementRecord& r, int line, std::size_t sectionColumns,
                                     std::string_view sep) {
    const MeasurementTexts t = ShowMeasurement(r, sep);
    const int kind = RecordKind(r);
    std::vector<std::string> cells{std::to_string(line + 1), RecordNameText(r), t.TypeLbl};
    // A ratio record whose distance is not a number shows held texts, not measured values.
    const bool heldRatio = kind == KindCl && std::isnan(RecordFloat(r, rec::LxCl));
    for (std::size_t c = 0; c < ValueColumns.size(); ++c) {
        const std::string& shown = t.*ValueColumns[c].label;
        if (shown.empty() || heldRatio) {
            cells.emplace_back();
        } else if (IsOverRange(shown)) {
            cells.push_back(shown);
        } else {
            cells.push_back(CsvNumber(RecordFloat(r, FieldOffset(c, kind)), ValueColumns[c].shift, sep));
        }
    }
    cells.push_back(std::to_string(int{r[rec::TempCode]} - 20));
    const auto count = static_cast<std::size_t>(SectionCount(r));
    for (std::size_t s = 0; s < sectionColumns; ++s) {
        if (s >= count) {
            cells.insert(cells.end(), SectionHeadings.size(), std::string());
            continue;
        }
        const std::uint8_t* section = r.data() + SectionOffset(static_cast<int>(s));
        const CableBytes bytes(section, CableRecordSize);
        cells.push_back(SectionNameText(r, static_cast<int>(s)));
        cells.push_back(CsvNumber(CableFloat(bytes, cab::C), 0, sep));
        cells.push_back(CsvNumber(CableFloat(bytes, cab::R), 0, sep));
        cells.push_back(WithSeparator(ShiftDecimal(std::to_string(section[cab::D]), -2), sep));
        cells.push_back(std::string(MaterialText(section[cab::Material])));
        cells.push_back(CsvNumber(CableFloat(bytes, cab::Length), 0, sep));
    }
    return cells;
}

}  // namespace

std::string CsvNumber(float v, int decimalShift, std::string_view decimalSeparator) {
    if (!std::isfinite(v)) return {};
    // Fixed notation of the largest float is 39 digits; the smallest has 45 decimals.
    std::array<char, 128> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), v, std::chars_format::fixed);
    return WithSeparator(ShiftDecimal(std::string_view(buffer.data(), result.ptr), decimalShift),
                         decimalSeparator);
}

std::string CsvField(std::string_view text) {
    if (text.find_first_of(";\"\r\n") == std::string_view::npos) return std::string(text);
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string BuildCsv(const MeasurementList& list, const std::vector<int>& lines,
                     std::string_view decimalSeparator) {
    const std::vector<int> chosen = ReportLines(lines, list.count);
    // As many section column groups as the record with the most sections needs.
    std::size_t sectionColumns = 0;
    for (int line : chosen)
        sectionColumns =
            std::max(sectionColumns,
                     static_cast<std::size_t>(SectionCount(list.slots[static_cast<std::size_t>(line)])));

    std::vector<std::string> headings{"№", "Имя", "Вид"};
    for (const ValueColumn& column : ValueColumns) headings.emplace_back(column.heading);
    headings.emplace_back("t, °С");
    for (std::size_t s = 0; s < sectionColumns; ++s)
        for (std::string_view part : SectionHeadings)
            headings.push_back("Секция " + std::to_string(s + 1) + std::string(part));

    std::string out(Bom);
    out.reserve(64 * 1024);
    AppendRow(out, headings);
    for (int line : chosen)
        AppendRow(out, RecordCells(list.slots[static_cast<std::size_t>(line)], line, sectionColumns,
                                   decimalSeparator));
    return out;
}

bool ExportCsv(const MeasurementList& list, const std::vector<int>& lines, std::string_view decimalSeparator,
               Prompt& prompt, const std::string& startFolder) {
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Save;
    request.filter = std::string(CsvFileFilter);
    request.defaultSuffix = std::string(CsvFileSuffix);
    request.startFolder = startFolder;
    request.confirmOverwrite = true;
    const std::optional<std::string> path = prompt.ChooseFile(request);
    if (!path) return false;
    const std::string csv = BuildCsv(list, lines, decimalSeparator);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(csv.data());
    if (!WriteFileAtomically(*path, std::span<const std::uint8_t>(bytes, csv.size()))) {
        prompt.Error(WriteErrorText(*path), WriteErrorCaption);
        return false;
    }
    return true;
}

}  // namespace zemrik
