#include "app/NameDialog.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QValidator>

#include "common/CodePage.h"

namespace {

constexpr int MaxNameLength = 14;

// Whether code page 1251, in which names are stored, has this character.
bool InCodePage1251(QChar c) {
    if (c == u'?') return true;
    const QByteArray utf8 = QString(c).toUtf8();
    return zemrik::Utf8ToAnsi(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size()))) !=
           "?";
}

// Refuses a paste that holds characters a stored name cannot keep (they would turn into '?').
class CodePageValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        for (const QChar c : input) {
            if (!InCodePage1251(c)) return Invalid;
        }
        return Acceptable;
    }
};

}  // namespace

NameDialog::NameDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("EditForm"));
    setWindowTitle(QStringLiteral("Редактирование"));

    auto* group = new QGroupBox(QStringLiteral("Имя файла"), this);
    group->setObjectName(QStringLiteral("GroupBox1"));
    group->setGeometry(8, 8, 169, 65);
    nameEdit_ = new QLineEdit(group);
    nameEdit_->setObjectName(QStringLiteral("NameEdit"));
    nameEdit_->setGeometry(8, 24, 153, 21);
    nameEdit_->setMaxLength(MaxNameLength);  // also cuts a longer paste
    nameEdit_->setValidator(new CodePageValidator(nameEdit_));
    nameEdit_->setAccessibleName(QStringLiteral("Имя файла"));
    nameEdit_->installEventFilter(this);

    okBtn_ = new QPushButton(QStringLiteral("OK"), this);
    okBtn_->setObjectName(QStringLiteral("OkBtn"));
    okBtn_->setGeometry(15, 88, 75, 25);
    okBtn_->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    okBtn_->setDefault(true);
    cancelBtn_ = new QPushButton(QStringLiteral("Отмена"), this);
    cancelBtn_->setObjectName(QStringLiteral("CancelBtn"));
    cancelBtn_->setGeometry(95, 88, 75, 25);
    cancelBtn_->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    cancelBtn_->setAutoDefault(false);
    setTabOrder(nameEdit_, okBtn_);
    setTabOrder(okBtn_, cancelBtn_);
    connect(okBtn_, &QPushButton::clicked, this, &NameDialog::OkBtnClick);
    connect(cancelBtn_, &QPushButton::clicked, this, &NameDialog::CancelBtnClick);

    setFixedSize(185, 121);
    setModal(true);
}

void NameDialog::SetName(const QString& name) { nameEdit_->setText(name); }

QString NameDialog::Name() const { return nameEdit_->text(); }

bool NameDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched != nameEdit_ || event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    // Backspace, editing and navigation keys and shortcuts are not typed characters.
    if (text.isEmpty() || !text.front().isPrint() || key->key() == Qt::Key_Backspace) return false;
    if (nameEdit_->text().size() + text.size() >= MaxNameLength + 1 && !nameEdit_->hasSelectedText())
        return true;
    QString typed;
    for (const QChar c : text) {
        const QChar upper = c.toUpper();
        if (InCodePage1251(upper)) typed += upper;
    }
    if (!typed.isEmpty()) nameEdit_->insert(typed);
    return true;
}

void NameDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    nameEdit_->setFocus(Qt::OtherFocusReason);
    nameEdit_->selectAll();
}

void NameDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        CancelBtnClick();
        return;
    }
    QDialog::keyPressEvent(event);
}

void NameDialog::OkBtnClick() {
    if (nameEdit_->text().isEmpty()) {
        closeAllowed_ = false;
        QMessageBox::critical(this, QStringLiteral("Ошибка"), QStringLiteral("Введите имя файла"));
        return;
    }
    closeAllowed_ = true;
    accept();
}

void NameDialog::CancelBtnClick() {
    closeAllowed_ = true;
    QDialog::reject();
}

// Every way of closing (close box, Alt+F4) ends here; it is refused until OK with a name or
// Cancel has allowed it.
void NameDialog::reject() {
    if (closeAllowed_) QDialog::reject();
}
