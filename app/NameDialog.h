#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

// The file-name dialog ("Редактирование"): one record name of up to 14 characters, typed in
// upper case, in characters code page 1251 can store. The dialog closes only through OK with
// a name or Cancel (CloseAllowed), whatever asks it to close.
class NameDialog : public QDialog {
    Q_OBJECT
public:
    explicit NameDialog(QWidget* parent = nullptr);

    void SetName(const QString& name);
    QString Name() const;
    bool CloseAllowed() const { return closeAllowed_; }

    QLineEdit* NameEdit() const { return nameEdit_; }
    QPushButton* OkBtn() const { return okBtn_; }
    QPushButton* CancelBtn() const { return cancelBtn_; }

    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OkBtnClick();
    void CancelBtnClick();

    QLineEdit* nameEdit_;
    QPushButton* okBtn_;
    QPushButton* cancelBtn_;
    bool closeAllowed_ = false;
};
