// The file commands: "show" for measurement files and "cables show" for cable table files.
#include <array>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "cables/CableTable.h"
#include "cables/CableTableFile.h"
#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "common/CodePage.h"
#include "common/MessageTexts.h"
#include "measurement/MeasurementDisplay.h"
#include "measurement/MeasurementFile.h"
#include "measurement/MeasurementRecord.h"

namespace zemrik::cli {
namespace {

using Json = nlohmann::ordered_json;

// Dumping never throws: a byte sequence that is not UTF-8 becomes U+FFFD instead of ending
// the program half-way through its output.
std::string DumpJson(const Json& document) {
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

Json SectionJson(const SectionTexts& texts) {
    return Json{{"CLbl", texts.CLbl},
                {"RLbl", texts.RLbl},
                {"dLbl", texts.dLbl},
                {"MaterialLbl", texts.MaterialLbl},
                {"LLbl", texts.LLbl}};
}

Json RecordJson(const MeasurementRecord& r, std::string_view sep) {
    MeasurementTexts t = ShowMeasurement(r, sep);
    Json record{{"line", AnsiToUtf8(ListLine(r))},
                {"TypeLbl", t.TypeLbl},
                {"RsLbl", t.RsLbl},
                {"dRLbl", t.dRLbl},
                {"CxabLbl", t.CxabLbl},
                {"CxbcLbl", t.CxbcLbl},
                {"CxacLbl", t.CxacLbl},
                {"KLbl", t.KLbl},
                {"RiabLbl", t.RiabLbl},
                {"RibcLbl", t.RibcLbl},
                {"RiacLbl", t.RiacLbl},
                {"LxLbl", t.LxLbl},
                {"TLbl", t.TLbl},
                {"items", t.items}};
    Json shown = SectionJson(t.section);
    for (auto& [key, value] : shown.items()) record[key] = value;
    Json sections = Json::array();
    for (int s = 0; s < static_cast<int>(t.items.size()); ++s)
        sections.push_back(SectionJson(SectionItemTexts(r, s, sep)));
    record["sections"] = std::move(sections);
    return record;
}

// The three section rows laid out as in the panel: R and the material share a column.
void AppendSectionText(std::string& out, const SectionTexts& s, std::string_view indent) {
    constexpr std::size_t captionWidth = 7;
    constexpr std::size_t valueWidth = 16;
    out += TrimRight(std::string(indent) + PadRight("C:", captionWidth) + PadRight(s.CLbl, valueWidth) +
                     "R: " + s.RLbl) +
           "\n";
    out += TrimRight(std::string(indent) + PadRight("d:", captionWidth) + PadRight(s.dLbl, valueWidth) +
                     s.MaterialLbl) +
           "\n";
    out += TrimRight(std::string(indent) + PadRight("Длина:", captionWidth) + s.LLbl) + "\n";
}

std::string RecordText(const MeasurementRecord& r, std::string_view sep) {
    MeasurementTexts t = ShowMeasurement(r, sep);
    std::string out = PrintableText(AnsiToUtf8(ListLine(r))) + "\n";
    const auto line = [&out](std::string_view caption, const std::string& value) {
        out += TrimRight("  " + PadRight(caption, 9) + value) + "\n";
    };
    line("Вид:", t.TypeLbl);
    for (const PanelValueRow& row : PanelValueRows) line(row.caption, t.*row.text);
    line("t:", t.TLbl);
    // First what the panel shows when the record is picked, then each section as picking it
    // in the drop-down shows it (the length then has one significant digit less).
    out += "  Секции\n";
    AppendSectionText(out, t.section, "    ");
    for (int s = 0; s < static_cast<int>(t.items.size()); ++s) {
        out += TrimRight("  [" + std::to_string(s + 1) + "] " +
                         PrintableText(t.items[static_cast<std::size_t>(s)])) +
               "\n";
        AppendSectionText(out, SectionItemTexts(r, s, sep), "    ");
    }
    return out;
}

std::array<std::string, 5> CableCells(const CableRecord& r, std::string_view sep) {
    return {CableNameText(r), CableRText(r, sep), CableCText(r, sep), CableDText(r, sep),
            std::string(MaterialText(r[cab::Material]))};
}

std::string CableTableText(const CableTable& table, std::string_view sep) {
    const std::array<std::string, 5> headings{"Имя", "R, Ом/км", "C, нФ/км", "d, мм", "Материал"};
    std::vector<std::array<std::string, 5>> rows;
    for (int i = 0; i < table.count; ++i) {
        rows.push_back(CableCells(table.records[static_cast<std::size_t>(i)], sep));
        rows.back()[0] = PrintableText(rows.back()[0]);
    }
    std::array<std::size_t, 5> widths{};
    for (std::size_t c = 0; c < 5; ++c) {
        widths[c] = DisplayWidth(headings[c]);
        for (const auto& row : rows) widths[c] = std::max(widths[c], DisplayWidth(row[c]));
    }
    auto line = [&](const std::array<std::string, 5>& cells) {
        std::string text;
        for (std::size_t c = 0; c < 5; ++c) {
            if (c > 0) text += "  ";
            // Numbers line up on the right, words on the left.
            bool number = c >= 1 && c <= 3;
            std::size_t pad = widths[c] - std::min(widths[c], DisplayWidth(cells[c]));
            text += number ? std::string(pad, ' ') + cells[c] : cells[c] + std::string(pad, ' ');
        }
        return TrimRight(text) + "\n";
    };
    std::string out = line(headings);
    for (const auto& row : rows) out += line(row);
    return out;
}

}  // namespace

int RunShow(const CliRequest& request, InstrumentAccess&, Report& report) {
    // 200 records of 256 bytes: too big for a comfortable stack frame.
    auto list = std::make_unique<MeasurementList>();
    FileHeader header{};
    if (!ReadMeasurementFile(request.file, *list, header)) {
        report.Error(ReadErrorText(request.file));
        return ExitFailure;
    }
    const std::string separator = DecimalSeparator(request);
    if (request.json) {
        Json records = Json::array();
        for (int i = 0; i < list->count; ++i)
            records.push_back(RecordJson(list->slots[static_cast<std::size_t>(i)], separator));
        report.out = DumpJson(Json{{"count", list->count}, {"records", std::move(records)}});
    } else {
        for (int i = 0; i < list->count; ++i) {
            if (i > 0) report.out += "\n";
            report.out += RecordText(list->slots[static_cast<std::size_t>(i)], separator);
        }
    }
    return ExitOk;
}

int RunCablesShow(const CliRequest& request, InstrumentAccess&, Report& report) {
    auto table = std::make_unique<CableTable>();
    if (!LoadTableFile(request.file, *table)) {
        report.Error(ReadErrorText(request.file));
        return ExitFailure;
    }
    const std::string separator = DecimalSeparator(request);
    if (request.json) {
        Json rows = Json::array();
        for (int i = 0; i < table->count; ++i)
            rows.push_back(CableCells(table->records[static_cast<std::size_t>(i)], separator));
        report.out = DumpJson(Json{{"count", table->count}, {"rows", std::move(rows)}});
    } else {
        report.out = CableTableText(*table, separator);
    }
    return ExitOk;
}

}  // namespace zemrik::cli
