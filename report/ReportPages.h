#pragma once

#include <string>
#include <vector>

#include "report/ReportContent.h"

// How a report falls into pages, as data: the report as a run of blocks (heading, fields, each
// table row, ...), and the rule that places blocks of given heights on pages. The window
// measures the heights with its fonts and paints the blocks where this puts them.
namespace zemrik {

enum class BlockKind {
    Heading,
    Fields,
    TableHeader,      // the record table's column headings (repeated on every page it runs onto)
    TableRow,         // row `row` of the record table
    SectionsHeading,  // the caption above the section blocks
    SectionTitle,     // the title of section block `section`
    SectionHeader,    // its column headings
    SectionRow,       // row `row` of section block `section`
    Signature,
};

struct ReportBlock {
    BlockKind kind = BlockKind::Heading;
    int section = -1;
    int row = -1;
};

// Top to bottom: heading, fields, the record table (header, rows), then, when any record has
// sections, their heading and each record's block (title, header, rows), then the signature.
std::vector<ReportBlock> ReportBlocks(const ReportContent& report);

struct PlacedBlock {
    int block = 0;   // index into the blocks
    double top = 0;  // from the top of the page's body, in the unit of the heights
};
using ReportPage = std::vector<PlacedBlock>;

// Places the blocks (heights[i] for blocks[i]) on pages whose body is pageHeight high. A block
// is never split. A heading stays on the page of what follows it, a section block stays whole,
// and the signature stays with the last row above it. A record row that opens a page has the
// table's header repeated above it. A run that cannot fit even on an empty page is broken
// where it must be, so nothing is ever dropped.
std::vector<ReportPage> PaginateReport(const std::vector<ReportBlock>& blocks,
                                       const std::vector<double>& heights, double pageHeight);

// "Стр. 2 из 5".
std::string PageNumberText(int page, int pages);

}  // namespace zemrik
