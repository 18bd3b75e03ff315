// zemrik-gui-bench: the window program on the paced emulator, measured.
//
// Starts zemrik-sim at 28800 bit/s with N records (the demo records over and over, default 200)
// as COM 1 of a temporary settings folder, creates the program's windows as zemrik does, and
// prints: the time from the application's start to the main window's first paint, the wall time
// of one Get (pressing GetBtn) against the time the line needs for its bytes, the process's
// processor time during the Get, and the resident memory after it. Run under a display
// (scripts/gui_bench.sh uses Xvfb). With --screenshot PATH it instead reads the demo file's
// records, picks one with sections and saves the window's picture.
//
//   zemrik-gui-bench --demo FILE.zmk [--sim PATH] [--records N] [--screenshot PATH]
#include <sys/resource.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/ProgramWindows.h"
#include "common/CodePage.h"
#include "common/NameField.h"
#include "measurement/MeasurementFile.h"
#include "measurement/MeasurementRecord.h"

namespace {

using namespace zemrik;

struct Options {
    QString demo;
    QString sim;
    int records = MeasurementList::Capacity;
    QString screenshot;
};

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Resident set size in MB, from /proc/self/status.
double RssMegabytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

// The demo records again and again up to `count`, each under a name of its own.
bool WriteRecords(const QString& demo, int count, const QString& out) {
    auto source = std::make_unique<MeasurementList>();
    auto list = std::make_unique<MeasurementList>();
    FileHeader header{};
    if (!ReadMeasurementFile(demo.toStdString(), *source, header) || source->count == 0) return false;
    list->count = static_cast<std::uint8_t>(count);
    for (int i = 0; i < count; ++i) {
        MeasurementRecord& r = list->slots[static_cast<std::size_t>(i)];
        r = source->slots[static_cast<std::size_t>(i % source->count)];
        const NameField name = PadName(Utf8ToAnsi("ЗАМЕР " + std::to_string(i + 1)));
        std::copy(name.begin(), name.end(), r.begin());
    }
    return WriteMeasurementFile(out.toStdString(), *list, header);
}

// Bytes on the line for a Get of n records: the directory (handshake 55 AA / A5, command and
// checksum out; status, count, 16 bytes an entry and checksum back), then per record the
// handshake, command, number and checksum out and status, 256 bytes and checksum back.
long LineBytes(int n) { return (4 + 5L * n) + (4 + 16L * n) + 259L * n; }

// Presses the button (or action) named `name` the way a click does; false when there is none.
bool Press(QWidget& window, const char* name) {
    if (auto* button = window.findChild<QAbstractButton*>(QLatin1String(name))) {
        QTest::mouseClick(button, Qt::LeftButton);
        return true;
    }
    if (auto* action = window.findChild<QAction*>(QLatin1String(name))) {
        action->trigger();
        return true;
    }
    return false;
}

// Tells when a widget's window first paints.
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && elapsedMs < 0) elapsedMs = clock.nsecsElapsed() / 1e6;
        return QObject::eventFilter(watched, event);
    }
    QElapsedTimer clock;
    double elapsedMs = -1;
};

bool ParseOptions(int argc, char** argv, Options& o) {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    o.sim = ec ? QStringLiteral("zemrik-sim")
               : QString::fromStdString((self.parent_path().parent_path() / "sim" / "zemrik-sim").string());
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        const QString value = QString::fromLocal8Bit(argv[i + 1]);
        if (flag == "--demo")
            o.demo = value;
        else if (flag == "--sim")
            o.sim = value;
        else if (flag == "--records")
            o.records = value.toInt();
        else if (flag == "--screenshot")
            o.screenshot = value;
        else
            return false;
    }
    return argc % 2 == 1 && !o.demo.isEmpty() && o.records >= 1 && o.records <= MeasurementList::Capacity;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: zemrik-gui-bench --demo FILE.zmk [--sim PATH] [--records 1..200] "
                     "[--screenshot PATH]\n");
        return 2;
    }
    QTemporaryDir work;
    const QString records =
        options.screenshot.isEmpty() ? work.filePath(QStringLiteral("bench.zmk")) : options.demo;
    if (options.screenshot.isEmpty() && !WriteRecords(options.demo, options.records, records)) {
        std::fprintf(stderr, "zemrik-gui-bench: cannot read %s or write the records\n",
                     qPrintable(options.demo));
        return 1;
    }

    // The emulator first, so its start is not counted as the program's.
    QProcess sim;
    sim.setProgram(options.sim);
    sim.setArguments({QStringLiteral("--records"), records, QStringLiteral("--pace-baud"),
                      QStringLiteral("28800"), QStringLiteral("--no-stdin")});
    sim.start();
    if (!sim.waitForReadyRead(10000)) {
        std::fprintf(stderr, "zemrik-gui-bench: %s did not start\n", qPrintable(options.sim));
        return 1;
    }
    const QString tty = QString::fromLocal8Bit(sim.readLine()).trimmed();
    const QString config = work.filePath(QStringLiteral("config"));
    QDir().mkpath(config + QStringLiteral("/Zemrik"));
    QFile conf(config + QStringLiteral("/Zemrik/Zemrik.conf"));
    if (!conf.open(QIODevice::WriteOnly)) return 1;
    conf.write(QStringLiteral("[General]\nAppPath=\nComNumber=1\nLastCablesTbl=\n\n[Ports]\nCOM1=%1\n")
                   .arg(tty)
                   .toUtf8());
    conf.close();
    ::setenv("XDG_CONFIG_HOME", config.toLocal8Bit().constData(), 1);

    FirstPaint paint;
    paint.clock.start();
    QApplication app(argc, argv);
    QTranslator qtTranslation;
    PrepareApplication(qtTranslation);
    int exitCode = 0;
    {
        ProgramWindows windows;
        MainWindow& form = windows.Form();
        form.installEventFilter(&paint);
        form.show();
        while (paint.elapsedMs < 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

        const double cpuBefore = CpuSeconds();
        QElapsedTimer getClock;
        getClock.start();
        if (!Press(form, "GetBtn")) {
            std::fprintf(stderr, "zemrik-gui-bench: no GetBtn in the main window\n");
            return 1;
        }
        const double getSeconds = getClock.nsecsElapsed() / 1e9;
        const double cpu = CpuSeconds() - cpuBefore;
        QCoreApplication::processEvents();

        if (!options.screenshot.isEmpty()) {
            // A record with sections, picked the way a click picks it.
            if (auto* list = form.findChild<QAbstractItemView*>(QStringLiteral("LB"))) {
                const QModelIndex index = list->model()->index(std::min(5, list->model()->rowCount() - 1), 0);
                list->scrollTo(index);
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
            }
            QCoreApplication::processEvents();
            if (!form.grab().save(options.screenshot)) {
                std::fprintf(stderr, "zemrik-gui-bench: cannot write %s\n", qPrintable(options.screenshot));
                exitCode = 1;
            }
        } else {
            const long bytes = LineBytes(options.records);
            const double lineSeconds = bytes * 10.0 / 28800.0;
            std::printf("start to window shown  %.3f s (application object to first paint, port opened)\n",
                        paint.elapsedMs / 1000.0);
            std::printf("records                %d\n", options.records);
            std::printf("Get wall time          %.3f s\n", getSeconds);
            std::printf("line time              %.3f s (%ld bytes at 2880 bytes/s)\n", lineSeconds, bytes);
            std::printf("wall / line            %.3f\n", getSeconds / lineSeconds);
            std::printf("CPU time during Get    %.3f s (%.1f %% of wall time)\n", cpu,
                        100.0 * cpu / getSeconds);
            std::printf("RSS after the Get      %.1f MB\n", RssMegabytes());
        }
        form.hide();
    }
    sim.terminate();
    sim.waitForFinished(10000);
    return exitCode;
}
