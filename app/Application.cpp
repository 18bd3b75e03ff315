#include "app/Application.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QSocketNotifier>
#include <QTranslator>
#include <cerrno>

#include "app/Resources.h"
#include "zemrik/Version.h"

bool PrepareApplication(QTranslator& qtTranslation) {
    LoadZemrikResources();
    QApplication::setOrganizationName(QStringLiteral("Zemrik"));
    QApplication::setApplicationName(QStringLiteral("Zemrik"));
    QApplication::setApplicationVersion(QString::fromUtf8(zemrik::Version));
    // Lets the desktop match the window to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QString::fromUtf8(zemrik::ApplicationId));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/zemrik.png")));
    if (!qtTranslation.load(QStringLiteral("qtbase_ru"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return false;
    }
    QApplication::installTranslator(&qtTranslation);
    return true;
}

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void ForwardStopSignal(int sig) {
    const int saved = errno;
    const char byte = static_cast<char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

void CloseWindowsOnStopSignals(std::function<void()> onStop) {
    if (signalPipe[0] >= 0 || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    // The handler only writes a byte; the event loop does the rest on the GUI thread.
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [onStop = std::move(onStop)] {
        char bytes[16];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        onStop();
    });
    struct sigaction action {};
    action.sa_handler = ForwardStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &action, nullptr);
}
