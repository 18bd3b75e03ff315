#pragma once

#include <QDialog>

// The about box ("О программе").
class TAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit TAboutDlg(QWidget* parent = nullptr);
};
