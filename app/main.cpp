// The program: the main window with its dialogs, on the settings of the user who starts it.
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <exception>

#include "app/About.h"
#include "app/Editdlg.h"
#include "app/Main.h"
#include "app/Waitdlg.h"
#include "cables/New.h"

namespace {

void ShowEscapedError(const QString& text) { QMessageBox::critical(nullptr, QStringLiteral("Zemrik"), text); }

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Zemrik"));
    QApplication::setApplicationName(QStringLiteral("Zemrik"));
    QApplication::setApplicationVersion(QStringLiteral("0.1"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/zemrik.png")));

    // The program speaks Russian whatever the user's locale: Qt's own buttons read "Да", "Нет",
    // "Отмена" too.
    QTranslator qtTranslation;
    if (qtTranslation.load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTranslation);
    }

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
    if (parser.positionalArguments().size() > 1) {
        parser.showHelp(2);
    }

    try {
        TZemrikForm form;
        if (parser.isSet(portOption)) form.SetPortOverride(parser.value(portOption));
        form.FormCreate();
        auto* newForm = new TNewForm(&form);
        auto* aboutDlg = new TAboutDlg(&form);
        auto* editForm = new TEditForm(&form);
        auto* waitForm = new TWaitForm(&form);
        form.AttachDialogs(newForm, aboutDlg, editForm, waitForm);
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
