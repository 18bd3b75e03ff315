#include "app/Application.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/Resources.h"

bool PrepareApplication(QTranslator& qtTranslation) {
    LoadZemrikResources();
    QApplication::setOrganizationName(QStringLiteral("Zemrik"));
    QApplication::setApplicationName(QStringLiteral("Zemrik"));
    QApplication::setApplicationVersion(QStringLiteral("0.1"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/zemrik.png")));
    if (!qtTranslation.load(QStringLiteral("qtbase_ru"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return false;
    }
    QApplication::installTranslator(&qtTranslation);
    return true;
}
