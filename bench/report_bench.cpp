// Prints how long a 200-record report takes to become a PDF, and 200 records a CSV. Asserts
// nothing. Without a display it paints through Qt's offscreen platform.
//   zemrik-report-bench [--pdf OUT.pdf [FILE.zmk]]
// also writes the report as OUT.pdf: of FILE.zmk's records when given (a page to look at),
// else of the 200 records measured.
#include <QGuiApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "app/ReportPainter.h"
#include "common/ByteAccess.h"
#include "common/CodePage.h"
#include "common/FileIO.h"
#include "common/NameField.h"
#include "common/Paths.h"
#include "measurement/MeasurementFile.h"
#include "report/CsvExport.h"
#include "report/ReportContent.h"
#include "zemrik/Version.h"

namespace {

using Clock = std::chrono::steady_clock;

// Every kind in turn, every fifth record with three sections.
zemrik::MeasurementList Records() {
    zemrik::MeasurementList list;
    list.count = zemrik::MeasurementList::Capacity;
    for (int i = 0; i < list.count; ++i) {
        zemrik::MeasurementRecord& r = list.slots[static_cast<std::size_t>(i)];
        zemrik::RenameRecord(r, zemrik::Utf8ToAnsi("ЛИНИЯ " + std::to_string(i + 1)));
        const int sections = i % 5 == 0 ? 3 : 0;
        r[zemrik::rec::KindSections] = static_cast<std::uint8_t>((sections << 4) | (i % 7));
        for (std::size_t offset = zemrik::rec::Rs; offset <= zemrik::rec::LxCl; offset += 4)
            zemrik::WriteFloatLE(r.data() + offset, 12.345f * static_cast<float>(i + offset));
        r[zemrik::rec::TempCode] = 43;
        for (int s = 0; s < sections; ++s) {
            std::uint8_t* section = r.data() + zemrik::SectionOffset(s);
            const std::string name = zemrik::Utf8ToAnsi("ТПП 10x2");
            std::fill_n(section, 14, ' ');
            std::copy(name.begin(), name.end(), section);
            zemrik::WriteFloatLE(section + zemrik::cab::C, 45.6f);
            zemrik::WriteFloatLE(section + zemrik::cab::R, 90.0f);
            zemrik::WriteFloatLE(section + zemrik::cab::Length, 1234.5f);
            section[zemrik::cab::D] = 40;
        }
    }
    return list;
}

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

// The first run is a user's first report of a session: fonts are loaded then.
void Print(const char* what, std::vector<double> times, double target) {
    const double first = times.front();
    std::sort(times.begin(), times.end());
    std::printf("%-28s first %.4f s, best %.4f s, median %.4f s (target < %.3f s)\n", what, first,
                times.front(), times[times.size() / 2], target);
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    const zemrik::MeasurementList list = Records();
    std::vector<int> all(static_cast<std::size_t>(list.count));
    for (int i = 0; i < list.count; ++i) all[static_cast<std::size_t>(i)] = i;
    const zemrik::ReportSource source{"bench.zmk", false, {2025, 1, 1, 12, 0}, std::string(zemrik::Version), ","};

    constexpr int Runs = 7;
    std::vector<double> pdfTimes;
    std::vector<double> csvTimes;
    qsizetype pdfSize = 0;
    std::size_t csvSize = 0;
    for (int run = 0; run < Runs; ++run) {
        Clock::time_point start = Clock::now();
        const QByteArray pdf = ReportPdf(zemrik::BuildReportContent(list, all, {}, source));
        pdfTimes.push_back(Seconds(start));
        pdfSize = pdf.size();
        start = Clock::now();
        const std::string csv = zemrik::BuildCsv(list, all, ",");
        csvTimes.push_back(Seconds(start));
        csvSize = csv.size();
    }
    if (argc >= 3 && std::string(argv[1]) == "--pdf") {
        zemrik::MeasurementList shown = list;
        zemrik::FileHeader header{};
        if (argc >= 4 && !zemrik::ReadMeasurementFile(argv[3], shown, header)) {
            std::fprintf(stderr, "zemrik-report-bench: cannot read %s\n", argv[3]);
            return 1;
        }
        std::vector<int> lines;
        for (int i = 0; i < shown.count; ++i) lines.push_back(i);
        const zemrik::ReportFields fields{"ПС-110 «Северная», ввод 2", "ТПП 10x2x0,5", "Иванов И. И.",
                                          "Измерения после ремонта муфты на 1,2 км"};
        zemrik::ReportSource named = source;
        named.fileName = argc >= 4 ? zemrik::FileNamePart(argv[3]) : source.fileName;
        const QByteArray pdf = ReportPdf(zemrik::BuildReportContent(shown, lines, fields, named));
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(pdf.constData());
        if (pdf.isEmpty() ||
            !zemrik::WriteFileAtomically(argv[2], std::span(bytes, static_cast<std::size_t>(pdf.size())))) {
            std::fprintf(stderr, "zemrik-report-bench: cannot write %s\n", argv[2]);
            return 1;
        }
    }
    std::printf("records                      %d (every kind, 40 with sections)\n", list.count);
    Print("report to PDF", pdfTimes, 1.0);
    std::printf("%-28s %lld bytes\n", "PDF size", static_cast<long long>(pdfSize));
    Print("CSV", csvTimes, 0.050);
    std::printf("%-28s %zu bytes\n", "CSV size", csvSize);
    return 0;
}
