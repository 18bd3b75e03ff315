#include <gtest/gtest.h>

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include "app/CableDialog.h"
#include "app/NameDialog.h"
#include "app/QtPrompt.h"
#include "gui/GuiTestSupport.h"

TEST(NameDialog, KeyFilterUpperCasesAndKeepsFourteenCharacters) {
    NameDialog form;
    form.show();
    QLineEdit* edit = form.NameEdit();
    form.SetName(QStringLiteral("ABCDEFGHIJKLM"));
    edit->end(false);
    TypeText(edit, QStringLiteral("no"));  // 13 -> 14, then swallowed
    EXPECT_EQ(edit->text(), QStringLiteral("ABCDEFGHIJKLMN"));
    edit->setSelection(3, 2);  // a selection is replaced in a full field
    TypeText(edit, QStringLiteral("x"));
    EXPECT_EQ(edit->text(), QStringLiteral("ABCXFGHIJKLMN"));
    form.SetName(QString());
    TypeText(edit, QStringLiteral("жa漢ßb€→"));  // code page 1251 has no room for 漢, ß, →
    EXPECT_EQ(edit->text(), QStringLiteral("ЖAB€"));

    // Pasted text is not upper-cased but is cut to 14 characters.
    form.SetName(QString());
    QApplication::clipboard()->setText(QStringLiteral("пара 1234567890xyz"));
    edit->paste();
    EXPECT_EQ(edit->text(), QStringLiteral("пара 123456789"));
}

// The window logic's message boxes: caption, icon and buttons as asked, and Esc gives the most
// cautious answer (Ok, No, Cancel).
TEST(QtPrompt, BoxesShowCaptionIconAndButtonsAndEscIsCautious) {
    using zemrik::PromptAnswer;
    using zemrik::PromptButtons;
    using zemrik::PromptIcon;
    const std::tuple<PromptIcon, PromptButtons, QMessageBox::Icon, QMessageBox::StandardButtons, PromptAnswer>
        cases[] = {
            {PromptIcon::Error, PromptButtons::Ok, QMessageBox::Critical, QMessageBox::Ok, PromptAnswer::Ok},
            {PromptIcon::Question, PromptButtons::YesNo, QMessageBox::Question,
             QMessageBox::Yes | QMessageBox::No, PromptAnswer::No},
            {PromptIcon::Information, PromptButtons::YesNoCancel, QMessageBox::Information,
             QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, PromptAnswer::Cancel},
            {PromptIcon::Warning, PromptButtons::Ok, QMessageBox::Warning, QMessageBox::Ok, PromptAnswer::Ok},
        };
    QtPrompt prompt(nullptr, nullptr);
    for (const auto& [icon, buttons, boxIcon, boxButtons, onEsc] : cases) {
        WhenModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->windowTitle() + QLatin1Char('|') + box->text(), QStringLiteral("Удаление|Текст"));
            EXPECT_EQ(box->icon(), boxIcon);
            EXPECT_EQ(box->standardButtons(), boxButtons);
            QTest::keyClick(box, Qt::Key_Escape);
        });
        EXPECT_EQ(prompt.Message("Текст", "Удаление", icon, buttons), onEsc);
    }
}

// The file dialog opens or saves as asked, with the filter, suffix and folder given; a save
// dialog confirms an overwrite only when asked to; a cancelled one chooses nothing.
TEST(QtPrompt, FileDialogsFollowTheRequest) {
    using Kind = zemrik::FileDialogRequest::Kind;
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("a.zmk"));
    QFile file(existing);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QtPrompt prompt(nullptr, nullptr);
    for (const Kind kind : {Kind::Open, Kind::Save}) {
        const bool save = kind == Kind::Save;
        SCOPED_TRACE(save ? "save" : "open");
        WhenModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->acceptMode(), save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
            EXPECT_EQ(dialog->fileMode(), save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
            EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("Файлы (*.zmk)")});
            EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("zmk"));
            EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(dir.path()).canonicalPath());
            EXPECT_EQ(dialog->testOption(QFileDialog::DontConfirmOverwrite), !save);
            dialog->selectFile(save ? dir.filePath(QStringLiteral("b.zmk")) : existing);
            QMetaObject::invokeMethod(dialog, "accept");  // as the Open or Save button does
        });
        const auto chosen =
            prompt.ChooseFile({kind, "Файлы (*.zmk)", "zmk", dir.path().toStdString(), save});
        ASSERT_TRUE(chosen.has_value());
        const QFileInfo chosenFile(QString::fromStdString(*chosen));
        EXPECT_EQ(chosenFile.fileName(), save ? QStringLiteral("b.zmk") : QStringLiteral("a.zmk"));
        EXPECT_EQ(chosenFile.dir().canonicalPath(), QDir(dir.path()).canonicalPath());
    }
    WhenModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_EQ(prompt.ChooseFile({Kind::Open, "", "", "", false}), std::nullopt);
}

// The cable dialog: the name across both columns, R above d on the left, C above the material
// on the right.
TEST(CableDialog, BoxesStandInTwoColumns) {
    CableDialog form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(std::vector<int>({form.NameEdit->x(), form.dEdit->x()}), std::vector<int>(2, form.REdit->x()));
    EXPECT_EQ(form.CB->x(), form.CEdit->x());
    EXPECT_EQ(form.NameEdit->geometry().right(), form.CEdit->geometry().right());
    EXPECT_EQ(form.CB->y(), form.dEdit->y());
    EXPECT_GT(form.dEdit->y(), form.REdit->y());
    // Each box's caption stands above it.
    for (QLabel* label : form.findChildren<QLabel*>()) {
        if (label->buddy() == nullptr) continue;
        SCOPED_TRACE(label->text().toStdString());
        EXPECT_EQ(label->x(), label->buddy()->x());
        EXPECT_LE(label->geometry().bottom(), label->buddy()->y());
    }
}
