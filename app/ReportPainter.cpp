#include "app/ReportPainter.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <vector>

#include "report/ReportPages.h"

using zemrik::BlockKind;
using zemrik::CellAlign;
using zemrik::ReportBlock;
using zemrik::ReportContent;
using zemrik::ReportTable;

namespace {

QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// Page geometry in millimetres: a wider left margin for a binder.
constexpr double MarginLeft = 20;
constexpr double MarginRight = 18;  // the tables are 172 mm wide
constexpr double MarginTop = 12;
constexpr double MarginBottom = 10;
constexpr double FooterHeight = 8;  // the page number's band above the bottom margin
constexpr double CellPadX = 1.2;
constexpr double CellPadY = 0.8;

QFont ReportFont(double points, bool bold = false) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

class ReportPainter {
public:
    ReportPainter(QPagedPaintDevice& device, const ReportContent& report)
        : device_(device),
          report_(report),
          pxPerMm_(device.logicalDpiY() / 25.4),
          headingFont_(ReportFont(15, true)),
          fieldCaptionFont_(ReportFont(10, true)),
          fieldFont_(ReportFont(10)),
          headerFont_(ReportFont(8.5, true)),
          cellFont_(ReportFont(8.5)),
          subheadingFont_(ReportFont(11, true)),
          titleFont_(ReportFont(9, true)),
          footerFont_(ReportFont(8)) {
        const QSizeF paper = QPageSize(QPageSize::A4).size(QPageSize::Millimeter);
        pageWidth_ = Mm(paper.width());
        pageHeight_ = Mm(paper.height());
        left_ = Mm(MarginLeft);
        width_ = pageWidth_ - left_ - Mm(MarginRight);
        top_ = Mm(MarginTop);
        bodyHeight_ = pageHeight_ - top_ - Mm(MarginBottom + FooterHeight);
    }

    int Paint() {
        const std::vector<ReportBlock> blocks = zemrik::ReportBlocks(report_);
        std::vector<double> heights;
        heights.reserve(blocks.size());
        for (const ReportBlock& block : blocks) heights.push_back(Height(block));
        const std::vector<zemrik::ReportPage> pages = zemrik::PaginateReport(blocks, heights, bodyHeight_);

        QPainter painter;
        if (!painter.begin(&device_)) return 0;
        painter_ = &painter;
        // Draw from the paper's corner even where a printer keeps margins of its own.
        painter.translate(-device_.pageLayout().paintRectPixels(device_.logicalDpiX()).topLeft());
        painter.setRenderHint(QPainter::Antialiasing);
        const int count = static_cast<int>(pages.size());
        for (int p = 0; p < count; ++p) {
            if (p > 0 && !device_.newPage()) break;
            for (const zemrik::PlacedBlock& placed : pages[static_cast<std::size_t>(p)])
                Draw(blocks[static_cast<std::size_t>(placed.block)], top_ + placed.top);
            DrawFooter(p + 1, count);
        }
        painter.end();
        painter_ = nullptr;
        return count;
    }

private:
    double Mm(double mm) const { return mm * pxPerMm_; }
    double LineHeight(const QFont& font) const { return QFontMetricsF(font, &device_).lineSpacing(); }

    const ReportTable& TableOf(const ReportBlock& block) const {
        return block.section < 0 ? report_.records
                                 : report_.sections[static_cast<std::size_t>(block.section)].table;
    }

    double FieldCaptionWidth() const {
        QFontMetricsF metrics(fieldCaptionFont_, &device_);
        double width = 0;
        for (const zemrik::ReportField& field : report_.fields)
            width = std::max(width, metrics.horizontalAdvance(Text(field.caption)));
        return width + Mm(3);
    }

    // A field's value wraps within the page; a long note takes several lines.
    QRectF FieldValueRect(const zemrik::ReportField& field, double captionWidth) const {
        QFontMetricsF metrics(fieldFont_, &device_);
        const QRectF room(0, 0, width_ - captionWidth, 1e9);
        QRectF used = metrics.boundingRect(room, Qt::TextWordWrap | Qt::TextWrapAnywhere, Text(field.value));
        used.setHeight(std::max(used.height(), LineHeight(fieldFont_)));
        return used;
    }

    double RowHeight(int lines, const QFont& font) const {
        return lines * LineHeight(font) + 2 * Mm(CellPadY);
    }

    double Height(const ReportBlock& block) const {
        switch (block.kind) {
            case BlockKind::Heading:
                return LineHeight(headingFont_) + Mm(5);
            case BlockKind::Fields: {
                const double captionWidth = FieldCaptionWidth();
                double height = 0;
                for (const zemrik::ReportField& field : report_.fields)
                    height += FieldValueRect(field, captionWidth).height() + Mm(1);
                return height + Mm(5);
            }
            case BlockKind::TableHeader:
            case BlockKind::SectionHeader:
                return RowHeight(1, headerFont_);
            case BlockKind::TableRow:
            case BlockKind::SectionRow:
                return RowHeight(TableOf(block).rows[static_cast<std::size_t>(block.row)].Lines(), cellFont_);
            case BlockKind::SectionsHeading:
                return Mm(7) + LineHeight(subheadingFont_) + Mm(1);
            case BlockKind::SectionTitle:
                return Mm(3) + LineHeight(titleFont_) + Mm(1);
            case BlockKind::Signature:
                return Mm(14) + static_cast<double>(report_.signature.size()) * LineHeight(fieldFont_);
        }
        return 0;
    }

    void Draw(const ReportBlock& block, double y) {
        QPainter& p = *painter_;
        p.setPen(Qt::black);
        switch (block.kind) {
            case BlockKind::Heading:
                p.setFont(headingFont_);
                p.drawText(QRectF(left_, y, width_, LineHeight(headingFont_)),
                           Qt::AlignHCenter | Qt::AlignTop, Text(report_.heading));
                break;
            case BlockKind::Fields:
                DrawFields(y);
                break;
            case BlockKind::TableHeader:
            case BlockKind::SectionHeader:
                DrawRow(TableOf(block), nullptr, y);
                break;
            case BlockKind::TableRow:
            case BlockKind::SectionRow: {
                const ReportTable& table = TableOf(block);
                DrawRow(table, &table.rows[static_cast<std::size_t>(block.row)], y);
                break;
            }
            case BlockKind::SectionsHeading:
                p.setFont(subheadingFont_);
                p.drawText(QRectF(left_, y + Mm(7), width_, LineHeight(subheadingFont_)), Qt::AlignLeft,
                           Text(report_.sectionsHeading));
                break;
            case BlockKind::SectionTitle:
                p.setFont(titleFont_);
                p.drawText(QRectF(left_, y + Mm(3), width_, LineHeight(titleFont_)), Qt::AlignLeft,
                           Text(report_.sections[static_cast<std::size_t>(block.section)].title));
                break;
            case BlockKind::Signature: {
                p.setFont(fieldFont_);
                double line = y + Mm(14);
                for (const std::string& text : report_.signature) {
                    p.drawText(QRectF(left_, line, width_, LineHeight(fieldFont_)), Qt::AlignLeft,
                               Text(text));
                    line += LineHeight(fieldFont_);
                }
                break;
            }
        }
    }

    void DrawFields(double y) {
        QPainter& p = *painter_;
        const double captionWidth = FieldCaptionWidth();
        for (const zemrik::ReportField& field : report_.fields) {
            const double height = FieldValueRect(field, captionWidth).height();
            p.setFont(fieldCaptionFont_);
            p.drawText(QRectF(left_, y, captionWidth, LineHeight(fieldCaptionFont_)), Qt::AlignLeft,
                       Text(field.caption));
            p.setFont(fieldFont_);
            p.drawText(QRectF(left_ + captionWidth, y, width_ - captionWidth, height),
                       Qt::AlignLeft | Qt::TextWordWrap | Qt::TextWrapAnywhere, Text(field.value));
            y += height + Mm(1);
        }
    }

    // The column boxes: a column with an empty heading widens the box of the one before it.
    struct Box {
        double x, width;
        std::size_t first, last;  // the columns it holds
    };
    std::vector<Box> Boxes(const ReportTable& table) const {
        std::vector<Box> boxes;
        double x = left_;
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            const double width = Mm(table.columns[c].widthMm);
            if (c > 0 && table.columns[c].heading.empty()) {
                boxes.back().width += width;
                boxes.back().last = c;
            } else {
                boxes.push_back({x, width, c, c});
            }
            x += width;
        }
        return boxes;
    }

    // The header (row == nullptr) or one row: grey lines round every box, text inset.
    void DrawRow(const ReportTable& table, const zemrik::ReportRow* row, double y) {
        QPainter& p = *painter_;
        const QFont& font = row == nullptr ? headerFont_ : cellFont_;
        const double lineHeight = LineHeight(font);
        const double height = RowHeight(row == nullptr ? 1 : row->Lines(), font);
        p.setFont(font);
        QFontMetricsF metrics(font, &device_);
        for (const Box& box : Boxes(table)) {
            const QRectF rect(box.x, y, box.width, height);
            if (row == nullptr) p.fillRect(rect, QColor(232, 232, 232));
            p.setPen(QPen(QColor(110, 110, 110), Mm(0.2)));
            p.drawRect(rect);
            p.setPen(Qt::black);
            if (row == nullptr) {
                p.drawText(rect.adjusted(Mm(CellPadX), Mm(CellPadY), -Mm(CellPadX), -Mm(CellPadY)),
                           Qt::AlignHCenter | Qt::AlignTop, Text(table.columns[box.first].heading));
                continue;
            }
            double x = box.x;
            for (std::size_t c = box.first; c <= box.last; ++c) {
                const double width = Mm(table.columns[c].widthMm);
                const Qt::Alignment align = table.columns[c].align == CellAlign::Right    ? Qt::AlignRight
                                            : table.columns[c].align == CellAlign::Center ? Qt::AlignHCenter
                                                                                          : Qt::AlignLeft;
                const double textWidth = width - 2 * Mm(CellPadX);
                double line = y + Mm(CellPadY);
                for (const std::string& text : row->cells[c]) {
                    // Never into the next cell: a text too long for its column ends in an ellipsis.
                    const QString shown = metrics.elidedText(Text(text), Qt::ElideRight, textWidth);
                    p.drawText(QRectF(x + Mm(CellPadX), line, textWidth, lineHeight), align | Qt::AlignTop,
                               shown);
                    line += lineHeight;
                }
                x += width;
            }
        }
    }

    void DrawFooter(int page, int pages) {
        QPainter& p = *painter_;
        p.setFont(footerFont_);
        p.setPen(Qt::black);
        const double y = pageHeight_ - Mm(MarginBottom) - LineHeight(footerFont_);
        p.drawText(QRectF(left_, y, width_, LineHeight(footerFont_)), Qt::AlignRight | Qt::AlignBottom,
                   Text(zemrik::PageNumberText(page, pages)));
        p.drawText(QRectF(left_, y, width_, LineHeight(footerFont_)), Qt::AlignLeft | Qt::AlignBottom,
                   Text(report_.heading));
    }

    QPagedPaintDevice& device_;
    const ReportContent& report_;
    QPainter* painter_ = nullptr;
    double pxPerMm_;
    double pageWidth_ = 0, pageHeight_ = 0, left_ = 0, width_ = 0, top_ = 0, bodyHeight_ = 0;
    QFont headingFont_, fieldCaptionFont_, fieldFont_, headerFont_, cellFont_, subheadingFont_, titleFont_,
        footerFont_;
};

}  // namespace

int PaintReport(QPagedPaintDevice& device, const ReportContent& report) {
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    return ReportPainter(device, report).Paint();
}

QByteArray ReportPdf(const ReportContent& report) {
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        if (!buffer.open(QIODevice::WriteOnly)) return {};
        QPdfWriter writer(&buffer);
        writer.setTitle(Text(report.heading));
        writer.setCreator(QStringLiteral("Zemrik"));
        writer.setResolution(600);
        if (PaintReport(writer, report) == 0) return {};
    }
    return bytes;
}
