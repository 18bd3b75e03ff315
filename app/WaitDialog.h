#pragma once

#include <QDialog>

class QProgressBar;

// The wait box ("Загрузка") shown, not modal, while records are read from the instrument: no
// buttons, no way for the user to close it, and a bar of the records read so far.
class WaitDialog : public QDialog {
    Q_OBJECT
public:
    explicit WaitDialog(QWidget* parent = nullptr);

    // `done` records of `total` read; a total of 0 empties the bar.
    void SetProgress(int done, int total);
    QProgressBar* ProgressBar() const { return bar_; }

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QProgressBar* bar_;
};
