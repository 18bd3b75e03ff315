#include <gtest/gtest.h>

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "app/About.h"
#include "app/Editdlg.h"
#include "gui/GuiTestSupport.h"

TEST(TEditForm, KeyFilterUpperCasesAndKeepsFourteenCharacters) {
    TEditForm form;
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

// The close box works only after OK with a name or Cancel; OK on an empty name says so and stays.
TEST(TEditForm, ClosesOnlyAfterOkWithANameOrCancel) {
    TEditForm form;
    form.show();
    form.close();  // the close box right after start-up
    EXPECT_TRUE(form.isVisible());
    form.SetName(QString());
    QString text;
    WhenModal([&](QWidget* modal) {
        text = static_cast<QMessageBox*>(modal)->text();
        modal->close();
    });
    form.OkBtn()->click();
    EXPECT_EQ(text, QStringLiteral("Введите имя файла"));
    EXPECT_TRUE(form.isVisible());
    form.SetName(QStringLiteral("ОБРЫВ"));
    form.OkBtn()->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    form.show();
    form.close();
    EXPECT_FALSE(form.isVisible());
}

// The pictures come from the library's resources, which a static link could leave behind.
TEST(TAboutDlg, ShowsItsPictures) {
    TAboutDlg about;
    for (const char* name : {"Image1", "Image2"}) {
        auto* picture = about.findChild<QLabel*>(QLatin1String(name));
        ASSERT_NE(picture, nullptr) << name;
        EXPECT_FALSE(picture->pixmap().isNull()) << name;
    }
}
