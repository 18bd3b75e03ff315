#include "report/ReportPages.h"

#include <cstddef>

namespace zemrik {
namespace {

bool KeepsWithNext(const std::vector<ReportBlock>& blocks, std::size_t i) {
    if (i + 1 >= blocks.size()) return false;
    const ReportBlock& b = blocks[i];
    const ReportBlock& next = blocks[i + 1];
    // A signature alone on a page would sign nothing.
    if (next.kind == BlockKind::Signature) return true;
    switch (b.kind) {
        case BlockKind::Heading:
        case BlockKind::TableHeader:
        case BlockKind::SectionsHeading:
        case BlockKind::SectionTitle:
        case BlockKind::SectionHeader:
            return true;
        case BlockKind::SectionRow:
            // At most five rows: a record's sections are read together.
            return next.kind == BlockKind::SectionRow && next.section == b.section;
        default:
            return false;
    }
}

}  // namespace

std::vector<ReportBlock> ReportBlocks(const ReportContent& report) {
    std::vector<ReportBlock> blocks{{BlockKind::Heading}, {BlockKind::Fields}, {BlockKind::TableHeader}};
    for (std::size_t r = 0; r < report.records.rows.size(); ++r)
        blocks.push_back({BlockKind::TableRow, -1, static_cast<int>(r)});
    if (!report.sections.empty()) blocks.push_back({BlockKind::SectionsHeading});
    for (std::size_t s = 0; s < report.sections.size(); ++s) {
        const int section = static_cast<int>(s);
        blocks.push_back({BlockKind::SectionTitle, section});
        blocks.push_back({BlockKind::SectionHeader, section});
        for (std::size_t r = 0; r < report.sections[s].table.rows.size(); ++r)
            blocks.push_back({BlockKind::SectionRow, section, static_cast<int>(r)});
    }
    blocks.push_back({BlockKind::Signature});
    return blocks;
}

std::vector<ReportPage> PaginateReport(const std::vector<ReportBlock>& blocks,
                                       const std::vector<double>& heights, double pageHeight) {
    std::vector<ReportPage> pages(1);
    double used = 0;
    int tableHeader = -1;
    auto height = [&](std::size_t i) { return i < heights.size() ? heights[i] : 0.0; };
    auto place = [&](std::size_t i) {
        pages.back().push_back({static_cast<int>(i), used});
        used += height(i);
    };
    auto newPage = [&] {
        pages.emplace_back();
        used = 0;
    };

    std::size_t i = 0;
    while (i < blocks.size()) {
        // The run of blocks that must share a page: i and every block kept with it.
        std::size_t last = i;
        double total = height(i);
        while (KeepsWithNext(blocks, last)) total += height(++last);
        if (!pages.back().empty() && used + total > pageHeight) newPage();
        for (std::size_t k = i; k <= last; ++k) {
            if (!pages.back().empty() && used + height(k) > pageHeight) newPage();
            if (pages.back().empty() && blocks[k].kind == BlockKind::TableRow && tableHeader >= 0)
                place(static_cast<std::size_t>(tableHeader));
            if (blocks[k].kind == BlockKind::TableHeader) tableHeader = static_cast<int>(k);
            place(k);
        }
        i = last + 1;
    }
    return pages;
}

std::string PageNumberText(int page, int pages) {
    return "Стр. " + std::to_string(page) + " из " + std::to_string(pages);
}

}  // namespace zemrik
