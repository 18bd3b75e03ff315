#include "app/WaitDialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
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
    bar_->setFormat(QStringLiteral("%v / %m"));
    bar_->setAccessibleName(QStringLiteral("Выполнено записей"));
    label->setBuddy(bar_);
    SetProgress(0, 0);
    cancelBtn_ = new QPushButton(QStringLiteral("Отмена"), this);
    cancelBtn_->setObjectName(QStringLiteral("CancelBtn"));
    // The box comes up while the user works elsewhere; Enter must not cancel by accident.
    cancelBtn_->setAutoDefault(false);
    connect(cancelBtn_, &QPushButton::clicked, this, &WaitDialog::CancelRequested);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(cancelBtn_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 6, 12, 8);
    layout->addWidget(label);
    layout->addWidget(bar_);
    layout->addLayout(buttons);
    setFixedSize(223, 41 + bar_->sizeHint().height() + cancelBtn_->sizeHint().height() + 16);
}

void WaitDialog::Begin(const QString& caption) {
    setWindowTitle(caption);
    SetProgress(0, 0);
    show();
}

void WaitDialog::SetProgress(int done, int total) {
    bar_->setRange(0, total > 0 ? total : 1);
    bar_->setValue(total > 0 ? std::clamp(done, 0, total) : 0);
    bar_->setTextVisible(total > 0);
}

void WaitDialog::reject() { Q_EMIT CancelRequested(); }

// Only the end of the exchange takes the box away.
void WaitDialog::closeEvent(QCloseEvent* event) { event->ignore(); }
