#include "app/WaitDialog.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

WaitDialog::WaitDialog(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("WaitForm"));
    setWindowTitle(QStringLiteral("Загрузка"));
    setModal(false);

    auto* label = new QLabel(QStringLiteral("Подождите..."), this);
    label->setObjectName(QStringLiteral("Label1"));
    QFont big = label->font();
    big.setPixelSize(24);
    label->setFont(big);
    label->setAlignment(Qt::AlignCenter);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("ProgressBar"));
    bar_->setRange(0, 1);
    bar_->setValue(0);
    bar_->setFormat(QStringLiteral("%v / %m"));
    bar_->setAccessibleName(QStringLiteral("Считано записей"));
    label->setBuddy(bar_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 6, 12, 8);
    layout->addWidget(label);
    layout->addWidget(bar_);
    setFixedSize(223, 41 + bar_->sizeHint().height() + 8);
}

void WaitDialog::SetProgress(int done, int total) {
    bar_->setRange(0, total > 0 ? total : 1);
    bar_->setValue(total > 0 ? std::clamp(done, 0, total) : 0);
}

// The box goes when the reading ends, never at the user's request.
void WaitDialog::reject() {}

void WaitDialog::closeEvent(QCloseEvent* event) { event->ignore(); }
