#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "cables/CableParameters.h"

class QComboBox;
class QLineEdit;
class QPushButton;

// The cable parameters dialog: one record's name, R, C, d and core material. Created once at
// start and reused for every row; the cable table window fills it, shows it and reads it back.
class CableDialog : public QDialog, public zemrik::CableParametersDialog {
    Q_OBJECT

public:
    explicit CableDialog(QWidget* parent = nullptr);

    std::optional<zemrik::CableDialogTexts> Run(const zemrik::CableDialogTexts& texts, std::string_view sep,
                                                zemrik::Prompt& prompt) override;
    void FillDialog(const zemrik::CableDialogTexts& texts);
    zemrik::CableDialogTexts Texts() const;

    QLineEdit* NameEdit;
    QLineEdit* REdit;
    QLineEdit* CEdit;
    QLineEdit* dEdit;
    QComboBox* CB;
    QPushButton* OkBtn;
    QPushButton* CancelBtn;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void OkBtnClick();
    bool NameEditKeyPress(const QString& typed);

    std::string sep_;
    zemrik::Prompt* prompt_ = nullptr;
};
