#include "app/Startup.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>

#include "app/About.h"
#include "app/Editdlg.h"
#include "app/Main.h"
#include "app/Resources.h"
#include "app/Waitdlg.h"
#include "cables/New.h"

void PrepareApplication(QTranslator& qtTranslation) {
    LoadZemrikResources();
    QApplication::setOrganizationName(QStringLiteral("Zemrik"));
    QApplication::setApplicationName(QStringLiteral("Zemrik"));
    QApplication::setApplicationVersion(QStringLiteral("0.1"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/zemrik.png")));
    if (qtTranslation.load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTranslation);
    }
}

ProgramWindows::ProgramWindows(const QString& portOverride) : form_(std::make_unique<TZemrikForm>()) {
    if (!portOverride.isEmpty()) form_->SetPortOverride(portOverride);
    form_->FormCreate();
    auto* newForm = new TNewForm(form_.get());
    auto* aboutDlg = new TAboutDlg(form_.get());
    auto* editForm = new TEditForm(form_.get());
    waitForm_ = new TWaitForm(form_.get());
    form_->AttachDialogs(newForm, aboutDlg, editForm, waitForm_);
}

ProgramWindows::~ProgramWindows() = default;
