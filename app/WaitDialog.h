#pragma once

#include <QDialog>

class QProgressBar;
class QPushButton;

// The wait box shown, not modal, while an exchange with the instrument runs: its caption names
// the command ("Загрузка", "Запись", "Удаление"), a bar counts the records done, and "Отмена"
// (or Esc) asks for the exchange to end. It has no close box and never closes by itself.
class WaitDialog : public QDialog {
    Q_OBJECT
public:
    explicit WaitDialog(QWidget* parent = nullptr);

    // Shows the box for one command; its bar is empty until SetProgress.
    void Begin(const QString& caption);
    // `done` records of `total`; a total of 0 empties the bar.
    void SetProgress(int done, int total);
    QProgressBar* ProgressBar() const { return bar_; }
    QPushButton* CancelBtn() const { return cancelBtn_; }

    // Esc: the same as "Отмена".
    void reject() override;

Q_SIGNALS:
    void CancelRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QProgressBar* bar_;
    QPushButton* cancelBtn_;
};
