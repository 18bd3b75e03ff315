#include <gtest/gtest.h>

#include <QClipboard>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

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
