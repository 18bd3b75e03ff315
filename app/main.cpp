// The program: the main window with its dialogs, on the settings of the user who starts it.
#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QTranslator>
#include <exception>

#include "app/Application.h"
#include "app/Main.h"
#include "app/Startup.h"

namespace {

void ShowEscapedError(const QString& text) { QMessageBox::critical(nullptr, QStringLiteral("Zemrik"), text); }

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTranslator qtTranslation;
    PrepareApplication(qtTranslation);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Zemrik: измерения прибора Zemrik и таблица кабелей"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Открыть устройство PATH вместо COM порта из настроек "
                                                       "(только на этот запуск)."),
                                        QStringLiteral("PATH"));
    parser.addOption(portOption);
    parser.addPositionalArgument(QStringLiteral("FILE.zmk"),
                                 QStringLiteral("Файл измерений, открываемый при запуске."),
                                 QStringLiteral("[FILE.zmk]"));
    parser.process(app);
    if (parser.positionalArguments().size() > 1) parser.showHelp(2);

    try {
        ProgramWindows windows(parser.value(portOption));
        TZemrikForm& form = windows.Form();
        form.show();
        if (!parser.positionalArguments().isEmpty())
            form.OpenAtStart(parser.positionalArguments().constFirst());
        QApplication::exec();
    } catch (const std::exception& error) {
        ShowEscapedError(QString::fromUtf8(error.what()));
    } catch (...) {
        ShowEscapedError(QStringLiteral("Неизвестная ошибка"));
    }
    return 0;
}
