#include "app/Startup.h"

#include <QApplication>

#include "app/About.h"
#include "app/Editdlg.h"
#include "app/Main.h"
#include "app/Waitdlg.h"
#include "cables/New.h"

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
