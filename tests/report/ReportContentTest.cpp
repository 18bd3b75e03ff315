// The report as data: the cells of every kind's row, the fields, the sections, and where 200
// records break into pages.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "report/ReportContent.h"
#include "report/ReportPages.h"
#include "support/RecordBuilders.h"

namespace zemrik {
namespace {

using test::RecordBuilder;
using Cells = std::vector<ReportCell>;

MeasurementList ListOf(const std::vector<MeasurementRecord>& records) {
    MeasurementList list;
    for (const MeasurementRecord& r : records) list.slots[list.count++] = r;
    return list;
}

const ReportSource FromInstrument{"old.zmk", true, {2025, 3, 5, 14, 7}, "0.1", ","};

TEST(ReportContentTest, EveryKindShowsThePanelTextsWithCaptionsAndUnits) {
    const float nan = std::nanf("");
    struct Case {
        MeasurementRecord record;
        Cells cells;
    };
    const std::vector<Case> cases = {
        {RecordBuilder("ЛИНИЯ 1  ").Kind(0).Value(rec::Rs, 12.5f).Temp(43),
         {{"1"}, {"ЛИНИЯ 1"}, {"Rs"}, {"Rs: 12,5 Ом"}, {}, {"23°С"}}},
        {RecordBuilder("D").Kind(1).Value(rec::dR, 150).Temp(5),
         {{"2"}, {"D"}, {"dR"}, {"ΔR: > 100 Ом"}, {}, {"-15°С"}}},
        {RecordBuilder("C").Kind(2).Value(rec::Cxab, nan).Temp(20),
         {{"3"}, {"C"}, {"Cx"}, {"Cx(AB): НД"}, {}, {"0°С"}}},
        {RecordBuilder("L").Kind(3).Value(rec::Rs, 12.5f).Value(rec::Lx, 60000).Temp(20),
         {{"4"}, {"L"}, {"Lx"}, {"Rs: 12,5 Ом"}, {"Lx: > 60 км"}, {"0°С"}}},
        // The panel shows this kind's single value in the row of pair BC, unit with a Latin M.
        {RecordBuilder("R").Kind(4).Value(rec::Riab, 1500).Temp(20),
         {{"5"}, {"R"}, {"Ri"}, {"Ri(BC): 1,5 MОм"}, {}, {"0°С"}}},
        {RecordBuilder("K").Kind(5).Value(rec::K, 0.4567f).Value(rec::LxCl, 23456).Temp(20),
         {{"6"}, {"K"}, {"Cx/Cl"}, {"Cx/Cl: 0,457"}, {"Lx: 23,46 км"}, {"0°С"}}},
        {RecordBuilder("CR")
             .Kind(6)
             .Value(rec::Cxab, 100)
             .Value(rec::Cxbc, 200)
             .Value(rec::Cxac, 3500)
             .Value(rec::Riab, 999)
             .Value(rec::Ribc, 25000000)
             .Value(rec::Riac, 0)
             .Temp(20),
         {{"7"},
          {"CR"},
          {"Ri, Cx"},
          {"Cx(AB): 100,0 нФ", "Cx(BC): 200,0 нФ", "Cx(AC): > 3000 нФ"},
          {"Ri(AB): 999,0 кОм", "Ri(BC): > 20 ГОм", "Ri(AC): 0,0 кОм"},
          {"0°С"}}},
        {RecordBuilder("BAD").Kind(9).Value(rec::Rs, 1).Temp(20), {{"8"}, {"BAD"}, {""}, {}, {}, {"0°С"}}},
    };
    std::vector<MeasurementRecord> records;
    for (const Case& c : cases) records.push_back(c.record);
    const MeasurementList list = ListOf(records);
    const ReportContent report =
        BuildReportContent(list, {7, 99, 0, 1, 2, 3, 4, 5, 6, 0, -1}, {}, FromInstrument);
    ASSERT_EQ(report.records.rows.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(report.records.rows[i].cells, cases[i].cells) << i;
    EXPECT_EQ(report.records.rows[6].Lines(), 3);
    // One selected line is the list's cursor: the window then takes every record.
    EXPECT_EQ(DefaultReportLines({5}, 3), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(DefaultReportLines({2, 0, 7}, 3), (std::vector<int>{0, 2}));
    std::vector<std::string> headings;
    for (const ReportColumn& column : report.records.columns) headings.push_back(column.heading);
    EXPECT_EQ(headings, (std::vector<std::string>{"№", "Имя", "Вид", "Значения", "", "t"}));
}

TEST(ReportContentTest, FieldsAndTheSectionsOfTheChosenRecords) {
    const MeasurementRecord plain = RecordBuilder("БЕЗ СЕКЦИЙ").Kind(0);
    const MeasurementRecord cut = RecordBuilder("ОБРЫВ")
                                      .Kind(3)
                                      .Sections(2)
                                      .Section(0, "КСПП 1x4x0,9", 0, 24.5f, 28.5f, 12345.6f, 90)
                                      .Section(1, "ТПП", 1, 45.6f, 90, 500, 40);
    const MeasurementList list = ListOf({plain, plain, cut});
    const ReportFields fields{"ПС-110 Северная", "ТПП 10x2", "Иванов И. И.", "после ремонта"};
    ReportSource source = FromInstrument;
    source.fromInstrument = false;
    const ReportContent report = BuildReportContent(list, {2, 0}, fields, source);

    EXPECT_EQ(report.heading, "Протокол измерений");
    std::vector<std::pair<std::string, std::string>> shown;
    for (const ReportField& f : report.fields) shown.emplace_back(f.caption, f.value);
    EXPECT_EQ(shown, (std::vector<std::pair<std::string, std::string>>{{"Объект:", "ПС-110 Северная"},
                                                                       {"Кабель:", "ТПП 10x2"},
                                                                       {"Оператор:", "Иванов И. И."},
                                                                       {"Примечание:", "после ремонта"},
                                                                       {"Файл измерений:", "old.zmk"},
                                                                       {"Записей:", "2"},
                                                                       {"Дата и время:", "05.03.2025 14:07"},
                                                                       {"Программа:", "Zemrik 0.1"}}));
    EXPECT_EQ(BuildReportContent(list, {0}, {}, FromInstrument).fields[3].value, "из прибора");

    ASSERT_EQ(report.sections.size(), 1u);
    EXPECT_EQ(report.sections[0].title, "Запись № 3: ОБРЫВ");
    ASSERT_EQ(report.sections[0].table.rows.size(), 2u);
    // As picking each section in the panel shows it: the length with five significant digits.
    EXPECT_EQ(
        report.sections[0].table.rows[0].cells,
        (Cells{
            {"1"}, {"КСПП 1x4x0,9"}, {"24,5 нФ/км"}, {"28,5 Ом/км"}, {"0,90 мм"}, {"Медь"}, {"12346,0 м"}}));
    EXPECT_EQ(
        report.sections[0].table.rows[1].cells,
        (Cells{{"2"}, {"ТПП"}, {"45,6 нФ/км"}, {"90,0 Ом/км"}, {"0,40 мм"}, {"Алюминий"}, {"500,0 м"}}));
    EXPECT_EQ(report.signature,
              std::vector<std::string>{"Измерения выполнил:   ______________________   Иванов И. И."});
}

// Heights by block kind; returns the blocks of each page as letters: H heading, F fields,
// T table header, r record row, S sections heading, s section title, t section header,
// x section row, Z signature.
std::vector<std::string> Pages(const ReportContent& report, double pageHeight) {
    const std::map<BlockKind, std::pair<double, char>> kinds{
        {BlockKind::Heading, {10, 'H'}},         {BlockKind::Fields, {40, 'F'}},
        {BlockKind::TableHeader, {6, 'T'}},      {BlockKind::TableRow, {6, 'r'}},
        {BlockKind::SectionsHeading, {10, 'S'}}, {BlockKind::SectionTitle, {8, 's'}},
        {BlockKind::SectionHeader, {6, 't'}},    {BlockKind::SectionRow, {6, 'x'}},
        {BlockKind::Signature, {20, 'Z'}}};
    const std::vector<ReportBlock> blocks = ReportBlocks(report);
    std::vector<double> heights;
    for (const ReportBlock& b : blocks) heights.push_back(kinds.at(b.kind).first);
    std::vector<std::string> pages;
    for (const ReportPage& page : PaginateReport(blocks, heights, pageHeight)) {
        std::string letters;
        double bottom = 0;
        for (const PlacedBlock& placed : page) {
            letters += kinds.at(blocks[static_cast<std::size_t>(placed.block)].kind).second;
            EXPECT_EQ(placed.top, bottom);
            bottom += heights[static_cast<std::size_t>(placed.block)];
        }
        EXPECT_LE(bottom, pageHeight);
        pages.push_back(letters);
    }
    return pages;
}

TEST(ReportPagesTest, RowsNeverSplitHeaderRepeatsSignatureStaysWithTheLastRow) {
    MeasurementList list;
    list.count = 200;
    std::vector<int> all(200);
    for (int i = 0; i < 200; ++i) all[static_cast<std::size_t>(i)] = i;
    const std::string r40(40, 'r');
    // Page 1: 10 + 40 + 6 + 32 rows * 6 = 248 of 250; later pages: header + 40 rows = 246.
    EXPECT_EQ(Pages(BuildReportContent(list, all, {}, FromInstrument), 250),
              (std::vector<std::string>{"HFT" + std::string(32, 'r'), "T" + r40, "T" + r40, "T" + r40,
                                        "T" + r40, "T" + std::string(8, 'r') + "Z"}));
    // Page 2 full with 72 rows: the signature takes the last row with it.
    all.resize(72);
    EXPECT_EQ(Pages(BuildReportContent(list, all, {}, FromInstrument), 250),
              (std::vector<std::string>{"HFT" + std::string(32, 'r'), "T" + std::string(39, 'r'), "TrZ"}));

    // A record's sections stay together, and their heading stays with the first of them.
    RecordBuilder five("S");
    five.Kind(0).Sections(5);
    for (int s = 0; s < 5; ++s) five.Section(s, "X", 0, 1, 1, 1, 1);
    list = ListOf({five, five, five});
    // 10 + 40 + 6 + 18 = 74; heading + block = 10 + 44 = 54 (128); second block 44 (172);
    // third 44 would make 216 of 200.
    EXPECT_EQ(Pages(BuildReportContent(list, {0, 1, 2}, {}, FromInstrument), 200),
              (std::vector<std::string>{"HFTrrrSstxxxxxstxxxxx", "stxxxxxZ"}));
    EXPECT_EQ(PageNumberText(2, 5), "Стр. 2 из 5");
}

}  // namespace
}  // namespace zemrik
