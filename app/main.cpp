// The program: the main window with its dialogs, on the settings of the user who starts it.
#include <QApplication>
#include <QCommandLineParser>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <cstring>
#include <exception>

#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/ProgramWindows.h"
#include "zemrik/Version.h"

namespace {

const QCommandLineOption& PortOption() {
    static const QCommandLineOption option(
        QStringLiteral("port"),
        QStringLiteral("Открыть устройство PATH вместо COM порта из настроек (только на этот запуск)."),
        QStringLiteral("PATH"));
    return option;
}

void DescribeCommandLine(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral("Zemrik: измерения прибора Zemrik и таблица кабелей"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(PortOption());
    parser.addPositionalArgument(
        QStringLiteral("FILE"),
        QStringLiteral("Файл измерений (.zmk) или таблица кабелей (.cbl), открываемые при запуске."),
        QStringLiteral("[FILE]"));
}

// --help and --version only print, so they work without a display too.
bool OnlyPrints(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        for (const char* flag : {"-h", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], flag) == 0) return true;
        }
    }
    return false;
}

void ShowEscapedError(const QString& text) { QMessageBox::critical(nullptr, QStringLiteral("Zemrik"), text); }

}  // namespace

int main(int argc, char** argv) {
    if (OnlyPrints(argc, argv)) {
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("zemrik"));
        QCoreApplication::setApplicationVersion(QString::fromUtf8(zemrik::Version));
        QTranslator qtTranslation;
        if (qtTranslation.load(QStringLiteral("qtbase_ru"),
                               QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QCoreApplication::installTranslator(&qtTranslation);
        }
        QCommandLineParser parser;
        DescribeCommandLine(parser);
        parser.process(core);  // prints and ends the program
        return 0;
    }

    QApplication app(argc, argv);
    QTranslator qtTranslation;
    PrepareApplication(qtTranslation);
    QCommandLineParser parser;
    DescribeCommandLine(parser);
    parser.process(app);
    if (parser.positionalArguments().size() > 1) parser.showHelp(2);

    // A failure that escaped the windows is shown, and the exit status says the program failed.
    int status = 1;
    try {
        ProgramWindows windows(parser.value(PortOption()));
        MainWindow& form = windows.Form();
        CloseWindowsOnStopSignals([&form] { form.StopRequested(); });
        form.show();
        if (!parser.positionalArguments().isEmpty())
            form.OpenAtStart(parser.positionalArguments().constFirst());
        status = QApplication::exec();
    } catch (const std::exception& error) {
        ShowEscapedError(QString::fromUtf8(error.what()));
    } catch (...) {
        ShowEscapedError(QStringLiteral("Неизвестная ошибка"));
    }
    return status;
}
