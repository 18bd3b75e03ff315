#include "app/ProgramWindows.h"

#include <QApplication>

#include "app/AboutDialog.h"
#include "app/CableDialog.h"
#include "app/MainWindow.h"
#include "app/NameDialog.h"
#include "app/WaitDialog.h"

ProgramWindows::ProgramWindows(const QString& portOverride) : form_(std::make_unique<MainWindow>()) {
    if (!portOverride.isEmpty()) form_->SetPortOverride(portOverride);
    form_->FormCreate();
    auto* newForm = new CableDialog(form_.get());
    auto* aboutDlg = new AboutDialog(form_.get());
    auto* editForm = new NameDialog(form_.get());
    form_->AttachDialogs(newForm, aboutDlg, editForm, new WaitDialog(form_.get()));
}

ProgramWindows::~ProgramWindows() = default;
