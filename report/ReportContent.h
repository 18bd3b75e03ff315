#pragma once

#include <string>
#include <vector>

#include "measurement/MeasurementRecord.h"

// What a printed measurement report says, as plain data: the heading, the fields, the table of
// records and the sections of each record, every cell already the text the detail panel shows.
// Only the painting is left to the window; the tests read this structure. Texts are UTF-8.
namespace zemrik {

// What the user types in the report dialog.
struct ReportFields {
    std::string site;
    std::string cable;
    std::string operatorName;
    std::string note;
};

struct ReportDateTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
};

struct ReportSource {
    std::string fileName;         // the measurement file, name part only; ignored when fromInstrument
    bool fromInstrument = false;  // the list was read from the instrument and not saved since
    ReportDateTime madeAt;
    std::string version;  // the program's version, e.g. "1.0.0"
    std::string decimalSeparator = ",";
};

enum class CellAlign { Left, Right, Center };

struct ReportColumn {
    std::string heading;  // an empty heading continues the box of the column before it
    double widthMm = 0;
    CellAlign align = CellAlign::Left;
};

// One cell: its text lines (most cells have one; a value cell one per value).
using ReportCell = std::vector<std::string>;

struct ReportRow {
    std::vector<ReportCell> cells;  // one per column
    int Lines() const;              // the tallest cell, at least 1
};

struct ReportTable {
    std::vector<ReportColumn> columns;
    std::vector<ReportRow> rows;
};

struct ReportField {
    std::string caption;
    std::string value;
};

// The sections of one record, under a title naming the record.
struct ReportSectionBlock {
    std::string title;
    ReportTable table;
};

struct ReportContent {
    std::string heading;
    std::vector<ReportField> fields;
    ReportTable records;
    std::string sectionsHeading;  // above the section blocks; unused when there are none
    std::vector<ReportSectionBlock> sections;
    std::vector<std::string> signature;  // the lines under the last table, to sign by hand
};

// The report of the given lines of `list` (indices from 0, in any order; each once, in list
// order; indices outside the list are left out). A record's number is its line from 1.
ReportContent BuildReportContent(const MeasurementList& list, const std::vector<int>& lines,
                                 const ReportFields& fields, const ReportSource& source);

// "05.03.2025 14:07".
std::string ReportDateTimeText(const ReportDateTime& t);

// The lines in list order, each once, within the list: what a report and a CSV export cover.
std::vector<int> ReportLines(const std::vector<int>& lines, int count);
// What the window reports or exports by default: the selected lines when two or more are
// selected (one highlighted line is only where the list's cursor happens to be), else all.
std::vector<int> DefaultReportLines(const std::vector<int>& selected, int count);

// The record's name as the report and the CSV write it: its text in UTF-8 without the trailing
// spaces that pad the field.
std::string RecordNameText(const MeasurementRecord& r);
// Section s's name the same way.
std::string SectionNameText(const MeasurementRecord& r, int s);

}  // namespace zemrik
