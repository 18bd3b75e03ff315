#pragma once

#include <QByteArray>

#include "report/ReportContent.h"

class QPagedPaintDevice;

// Paints a measurement report built by BuildReportContent: A4 portrait, DejaVu Sans (embedded
// in a PDF, Cyrillic included), the record table's header repeated on every page it runs onto,
// "Стр. N из M" at the foot of each page. Where the pages break is PaginateReport's decision;
// this only measures the blocks and draws them.

// Sets the device to A4 portrait without margins of its own, paints every page and returns how
// many there were (0 when the device could not be painted on).
int PaintReport(QPagedPaintDevice& device, const zemrik::ReportContent& report);

// The report as the bytes of a PDF file; empty when it could not be made.
QByteArray ReportPdf(const zemrik::ReportContent& report);
