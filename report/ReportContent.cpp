#include "report/ReportContent.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "common/CodePage.h"
#include "measurement/MeasurementDisplay.h"

namespace zemrik {
namespace {

constexpr std::string_view FromInstrumentText = "из прибора";

// The panel's value rows that have a text, each with its caption.
std::vector<std::string> ValueLines(const MeasurementTexts& t) {
    std::vector<std::string> lines;
    for (const PanelValueRow& row : PanelValueRows)
        if (!(t.*row.text).empty()) lines.push_back(std::string(row.caption) + " " + t.*row.text);
    return lines;
}

ReportTable RecordTable() {
    ReportTable table;
    table.columns = {{"№", 10, CellAlign::Right},  {"Имя", 32, CellAlign::Left},
                     {"Вид", 16, CellAlign::Left}, {"Значения", 50, CellAlign::Left},
                     {"", 50, CellAlign::Left},    {"t", 14, CellAlign::Right}};
    return table;
}

ReportTable SectionTable() {
    ReportTable table;
    table.columns = {{"№", 10, CellAlign::Right},    {"Кабель", 34, CellAlign::Left},
                     {"C", 30, CellAlign::Right},    {"R", 30, CellAlign::Right},
                     {"d", 20, CellAlign::Right},    {"Материал", 24, CellAlign::Left},
                     {"Длина", 24, CellAlign::Right}};
    return table;
}

ReportRow RecordRow(const MeasurementRecord& r, int line, std::string_view sep) {
    const MeasurementTexts t = ShowMeasurement(r, sep);
    // Two value columns keep a kind with six values (Cx and Ri of three pairs) to three lines
    // and put a pair's capacitance beside its insulation.
    std::vector<std::string> values = ValueLines(t);
    const auto half = static_cast<std::ptrdiff_t>((values.size() + 1) / 2);
    ReportCell left(values.begin(), values.begin() + half);
    ReportCell right(values.begin() + half, values.end());
    return ReportRow{{{std::to_string(line + 1)},
                      {RecordNameText(r)},
                      {t.TypeLbl},
                      std::move(left),
                      std::move(right),
                      {t.TLbl}}};
}

ReportSectionBlock SectionBlock(const MeasurementRecord& r, int line, std::string_view sep) {
    ReportSectionBlock block{"Запись № " + std::to_string(line + 1) + ": " + RecordNameText(r),
                             SectionTable()};
    // Each section as picking it in the panel's drop-down shows it.
    for (int s = 0; s < SectionCount(r); ++s) {
        const SectionTexts t = SectionItemTexts(r, s, sep);
        block.table.rows.push_back(ReportRow{{{std::to_string(s + 1)},
                                              {SectionNameText(r, s)},
                                              {t.CLbl},
                                              {t.RLbl},
                                              {t.dLbl},
                                              {t.MaterialLbl},
                                              {t.LLbl}}});
    }
    return block;
}

}  // namespace

int ReportRow::Lines() const {
    std::size_t lines = 1;
    for (const ReportCell& cell : cells) lines = std::max(lines, cell.size());
    return static_cast<int>(lines);
}

std::string ReportDateTimeText(const ReportDateTime& t) {
    char text[48];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d", t.day, t.month, t.year, t.hour, t.minute);
    return text;
}

std::vector<int> ReportLines(const std::vector<int>& lines, int count) {
    std::vector<int> chosen;
    for (int line : lines)
        if (line >= 0 && line < count) chosen.push_back(line);
    std::sort(chosen.begin(), chosen.end());
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    return chosen;
}

std::vector<int> DefaultReportLines(const std::vector<int>& selected, int count) {
    std::vector<int> lines = ReportLines(selected, count);
    if (lines.size() >= 2) return lines;
    lines.clear();
    for (int i = 0; i < count; ++i) lines.push_back(i);
    return lines;
}

std::string RecordNameText(const MeasurementRecord& r) {
    std::string name = AnsiToUtf8(RecordName(r));
    name.erase(name.find_last_not_of(' ') + 1);
    return name;
}

std::string SectionNameText(const MeasurementRecord& r, int s) {
    std::string name = AnsiToUtf8(SectionName(r, s));
    name.erase(name.find_last_not_of(' ') + 1);
    return name;
}

ReportContent BuildReportContent(const MeasurementList& list, const std::vector<int>& lines,
                                 const ReportFields& fields, const ReportSource& source) {
    const std::vector<int> chosen = ReportLines(lines, list.count);
    ReportContent report;
    report.heading = "Протокол измерений";
    report.fields = {{"Объект:", fields.site}, {"Кабель:", fields.cable}, {"Оператор:", fields.operatorName}};
    if (!fields.note.empty()) report.fields.push_back({"Примечание:", fields.note});
    report.fields.push_back(
        {"Файл измерений:", source.fromInstrument ? std::string(FromInstrumentText) : source.fileName});
    report.fields.push_back({"Записей:", std::to_string(chosen.size())});
    report.fields.push_back({"Дата и время:", ReportDateTimeText(source.madeAt)});
    report.fields.push_back({"Программа:", "Zemrik " + source.version});

    report.records = RecordTable();
    report.sectionsHeading = "Секции";
    for (int line : chosen) {
        const MeasurementRecord& r = list.slots[static_cast<std::size_t>(line)];
        report.records.rows.push_back(RecordRow(r, line, source.decimalSeparator));
        if (SectionCount(r) > 0) report.sections.push_back(SectionBlock(r, line, source.decimalSeparator));
    }
    const std::string blank = "______________________";
    report.signature = {"Измерения выполнил:   " + blank + "   " +
                        (fields.operatorName.empty() ? blank : fields.operatorName)};
    return report;
}

}  // namespace zemrik
