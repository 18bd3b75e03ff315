#include "app/CableDialog.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <QValidator>

namespace {

// Text pasted into the name box loses what code page 1251 cannot hold, as typed text does.
class CodePage1251Validator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override {
        const QString kept = QString::fromStdString(zemrik::KeepCodePage1251(input.toStdString()));
        if (kept != input) {
            pos = std::max(0, static_cast<int>(pos - (input.size() - kept.size())));
            input = kept;
        }
        return Acceptable;
    }
};

QLabel* BuddyLabel(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

}  // namespace

CableDialog::CableDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("NewForm");
    setWindowTitle("Параметры кабеля");
    sep_ = QLocale().decimalPoint().toStdString();

    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    NameEdit = new QLineEdit(panel);
    REdit = new QLineEdit(panel);
    CEdit = new QLineEdit(panel);
    dEdit = new QLineEdit(panel);
    CB = new QComboBox(panel);
    CB->addItems({"Медь", "Алюминий"});  // not editable: exactly these two
    NameEdit->setObjectName("NameEdit");
    REdit->setObjectName("REdit");
    CEdit->setObjectName("CEdit");
    dEdit->setObjectName("dEdit");
    CB->setObjectName("CB");
    NameEdit->installEventFilter(this);
    NameEdit->setValidator(new CodePage1251Validator(NameEdit));

    auto* grid = new QGridLayout(panel);
    grid->addWidget(BuddyLabel("&Имя:", NameEdit, panel), 0, 0, 1, 2);
    grid->addWidget(NameEdit, 1, 0, 1, 2);
    grid->addWidget(BuddyLabel("&R, Ом/км", REdit, panel), 2, 0);
    grid->addWidget(BuddyLabel("&C, нФ/км", CEdit, panel), 2, 1);
    grid->addWidget(REdit, 3, 0);
    grid->addWidget(CEdit, 3, 1);
    grid->addWidget(BuddyLabel("&d, мм", dEdit, panel), 4, 0);
    grid->addWidget(BuddyLabel("&Материал жил", CB, panel), 4, 1);
    grid->addWidget(dEdit, 5, 0);
    grid->addWidget(CB, 5, 1);

    OkBtn = new QPushButton("OK", this);
    OkBtn->setObjectName("OkBtn");
    OkBtn->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    OkBtn->setDefault(true);
    CancelBtn = new QPushButton("Отмена", this);
    CancelBtn->setObjectName("CancelBtn");
    CancelBtn->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    connect(OkBtn, &QPushButton::clicked, this, &CableDialog::OkBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &CableDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addLayout(buttons);
    setTabOrder(NameEdit, REdit);
    setTabOrder(REdit, CEdit);
    setTabOrder(CEdit, dEdit);
    setTabOrder(dEdit, CB);
    setTabOrder(CB, OkBtn);
    setTabOrder(OkBtn, CancelBtn);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

std::optional<zemrik::CableDialogTexts> CableDialog::Run(const zemrik::CableDialogTexts& texts,
                                                         std::string_view sep, zemrik::Prompt& prompt) {
    sep_ = std::string(sep);
    prompt_ = &prompt;
    FillDialog(texts);
    const bool ok = exec() == QDialog::Accepted;
    prompt_ = nullptr;
    if (!ok) return std::nullopt;
    return Texts();
}

void CableDialog::FillDialog(const zemrik::CableDialogTexts& texts) {
    NameEdit->setText(QString::fromStdString(texts.name));
    REdit->setText(QString::fromStdString(texts.r));
    CEdit->setText(QString::fromStdString(texts.c));
    dEdit->setText(QString::fromStdString(texts.d));
    CB->setCurrentIndex(texts.material == 0 ? 0 : 1);
}

zemrik::CableDialogTexts CableDialog::Texts() const {
    return {NameEdit->text().toStdString(), REdit->text().toStdString(), CEdit->text().toStdString(),
            dEdit->text().toStdString(), CB->currentIndex()};
}

void CableDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    NameEdit->setFocus();
}

bool CableDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == NameEdit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString typed = key->text();
        // Control keys (Backspace, Enter, Esc, shortcuts) keep their usual meaning.
        if (!typed.isEmpty() && typed[0].isPrint() &&
            !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
            return NameEditKeyPress(typed);
    }
    return QDialog::eventFilter(watched, event);
}

bool CableDialog::NameEditKeyPress(const QString& typed) {
    if (const auto passed = zemrik::FilterNameKey(NameEdit->text().toStdString(), typed.toStdString()))
        NameEdit->insert(QString::fromStdString(*passed));
    return true;
}

void CableDialog::OkBtnClick() {
    const auto check = zemrik::CheckValues(REdit->text().toStdString(), CEdit->text().toStdString(),
                                           dEdit->text().toStdString(), sep_);
    if (check.Ok()) {
        accept();
        return;
    }
    QLineEdit* box = check.field == zemrik::CableField::R   ? REdit
                     : check.field == zemrik::CableField::C ? CEdit
                                                            : dEdit;
    const QString text =
        QString::fromUtf8(check.Message().data(), static_cast<qsizetype>(check.Message().size()));
    if (prompt_ != nullptr)
        prompt_->Error(check.Message(), "Ошибка");
    else
        QMessageBox::critical(this, "Ошибка", text);
    box->setFocus();
}
