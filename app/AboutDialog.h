#pragma once

#include <QDialog>

// The about box ("О программе").
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};
