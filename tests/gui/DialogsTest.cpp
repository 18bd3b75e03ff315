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
    struct Row {
        const char* start;
        int selStart, selLength;  // selLength 0: cursor at the end, nothing selected
        const char* typed;
        const char* result;
    };
    const Row rows[] = {
        {"ABCDEFGHIJKLM", 0, 0, "no", "ABCDEFGHIJKLMN"},  // 13 -> 14, then swallowed
        {"ABCDEFGHIJKLMN", 3, 2, "x", "ABCXFGHIJKLMN"},   // a selection is replaced in a full field
        {"", 0, 0, "жa漢ßb€→", "ЖAB€"},                   // code page 1251 has no room for 漢, ß, →
    };
    TEditForm form;
    form.show();
    QLineEdit* edit = form.NameEdit();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed);
        form.SetName(QString::fromUtf8(row.start));
        if (row.selLength > 0) {
            edit->setSelection(row.selStart, row.selLength);
        } else {
            edit->end(false);
        }
        TypeText(edit, QString::fromUtf8(row.typed));
        EXPECT_EQ(edit->text(), QString::fromUtf8(row.result));
    }

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
