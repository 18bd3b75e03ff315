#include "app/QtPrompt.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

#include "app/NameDialog.h"

using zemrik::PromptAnswer;
using zemrik::PromptButtons;
using zemrik::PromptIcon;

namespace {

QString Text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QMessageBox::Icon BoxIcon(PromptIcon icon) {
    switch (icon) {
        case PromptIcon::Information:
            return QMessageBox::Information;
        case PromptIcon::Question:
            return QMessageBox::Question;
        case PromptIcon::Warning:
            return QMessageBox::Warning;
        case PromptIcon::Error:
            return QMessageBox::Critical;
        case PromptIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

QtPrompt::QtPrompt(QWidget* parent, NameDialog* editForm) : parent_(parent), editForm_(editForm) {}

PromptAnswer QtPrompt::Message(std::string_view text, std::string_view caption, PromptIcon icon,
                               PromptButtons buttons) {
    QMessageBox box(BoxIcon(icon), Text(caption), Text(text), QMessageBox::NoButton, parent_);
    // Closing the box without a button (Esc, the close box) counts as its most cautious answer.
    switch (buttons) {
        case PromptButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            box.setEscapeButton(QMessageBox::Ok);
            break;
        case PromptButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setEscapeButton(QMessageBox::No);
            break;
        case PromptButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            box.setEscapeButton(QMessageBox::Cancel);
            break;
    }
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
        case QMessageBox::Yes:
            return PromptAnswer::Yes;
        case QMessageBox::No:
            return PromptAnswer::No;
        case QMessageBox::Cancel:
            return PromptAnswer::Cancel;
        case QMessageBox::Ok:
            return PromptAnswer::Ok;
        default:
            break;
    }
    if (buttons == PromptButtons::YesNoCancel) return PromptAnswer::Cancel;
    return buttons == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Ok;
}

std::optional<std::string> QtPrompt::ChooseFile(const zemrik::FileDialogRequest& request) {
    using Kind = zemrik::FileDialogRequest::Kind;
    QFileDialog dialog(parent_);
    const bool save = request.kind == Kind::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!request.filter.empty()) dialog.setNameFilter(Text(request.filter));
    if (!request.defaultSuffix.empty()) dialog.setDefaultSuffix(Text(request.defaultSuffix));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    // A start folder that is gone (a moved installation) leaves the dialog where it would be.
    if (const QString folder = Text(request.startFolder); !folder.isEmpty() && QDir(folder).exists()) {
        dialog.setDirectory(folder);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst().toUtf8().toStdString();
}

std::optional<std::string> QtPrompt::AskName(std::string_view current) {
    if (editForm_ == nullptr) return std::nullopt;
    editForm_->SetName(Text(current));
    if (editForm_->exec() != QDialog::Accepted) return std::nullopt;
    return editForm_->Name().toUtf8().toStdString();
}
