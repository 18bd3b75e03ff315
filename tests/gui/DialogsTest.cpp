#include <gtest/gtest.h>

#include <QClipboard>
#include <QLineEdit>

#include "app/NameDialog.h"
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
