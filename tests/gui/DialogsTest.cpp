#include <gtest/gtest.h>

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "app/About.h"
#include "app/Editdlg.h"
#include "app/Waitdlg.h"
#include "gui/GuiTestSupport.h"

TEST(TEditForm, KeyFilterUpperCasesAndKeepsFourteenCharacters) {
    struct Row {
        const char* start;
        int selStart, selLength;  // selLength 0: cursor at the end, nothing selected
        const char* typed;        // "\b" is Backspace
        const char* result;
    };
    const Row rows[] = {
        {"ABCDEFGHIJKLM", 0, 0, "no", "ABCDEFGHIJKLMN"},  // 13 -> 14, then swallowed
        {"ABCDEFGHIJKLMN", 3, 2, "x", "ABCXFGHIJKLMN"},   // a selection is replaced in a full field
        {"ABCDEFGHIJKLMN", 0, 0, "\b", "ABCDEFGHIJKLM"},
        {"", 0, 0, "abc 1-z", "ABC 1-Z"},
        {"", 0, 0, "жёя", "ЖЁЯ"},
        {"", 0, 0, "a漢ßb€→", "AB€"},  // code page 1251 has no room for 漢, ß, →
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
        const QString typed = QString::fromUtf8(row.typed);
        if (typed == QStringLiteral("\b")) {
            QTest::keyClick(edit, Qt::Key_Backspace);
        } else {
            TypeText(edit, typed);
        }
        EXPECT_EQ(edit->text(), QString::fromUtf8(row.result));
    }

    // Pasted text is not upper-cased but is cut to 14 characters; a paste of characters the name
    // cannot hold is refused.
    form.SetName(QString());
    QApplication::clipboard()->setText(QStringLiteral("пара 1234567890xyz"));
    edit->paste();
    EXPECT_EQ(edit->text(), QStringLiteral("пара 123456789"));
    form.SetName(QString());
    QApplication::clipboard()->setText(QStringLiteral("漢字"));
    edit->paste();
    EXPECT_EQ(edit->text(), QString());
}

TEST(TEditForm, ClosesOnlyAfterOkWithANameOrCancel) {
    TEditForm form;
    form.show();
    EXPECT_FALSE(form.CloseAllowed());
    form.close();  // the close box right after start-up
    EXPECT_TRUE(form.isVisible());

    // OK on an empty field: the error box, and the dialog stays.
    form.SetName(QString());
    QString text, caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    WhenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        text = box->text();
        caption = box->windowTitle();
        icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    form.OkBtn()->click();
    EXPECT_EQ(text, QStringLiteral("Введите имя файла"));
    EXPECT_EQ(caption, QStringLiteral("Ошибка"));
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.CloseAllowed());

    // Esc is Cancel.
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_TRUE(form.CloseAllowed());

    // Next showing: OK with a name closes with the result OK; the close box works from then on.
    form.show();
    form.SetName(QStringLiteral("ОБРЫВ"));
    form.OkBtn()->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);
    form.show();
    form.close();
    EXPECT_FALSE(form.isVisible());
}

TEST(TWaitForm, UserCannotCloseItAndItShowsProgress) {
    TWaitForm wait;
    wait.show();
    EXPECT_FALSE(wait.isModal());
    EXPECT_FALSE(wait.windowFlags() & Qt::WindowCloseButtonHint);
    wait.close();
    QTest::keyClick(&wait, Qt::Key_Escape);
    EXPECT_TRUE(wait.isVisible());
    wait.SetProgress(3, 8);
    EXPECT_EQ(wait.ProgressBar()->value(), 3);
    EXPECT_EQ(wait.ProgressBar()->maximum(), 8);
}

// The pictures come from the library's resources, which a static link could leave behind.
TEST(TAboutDlg, ShowsItsPicturesAndTexts) {
    TAboutDlg about;
    for (const char* name : {"Image1", "Image2"}) {
        auto* picture = about.findChild<QLabel*>(QLatin1String(name));
        ASSERT_NE(picture, nullptr) << name;
        EXPECT_FALSE(picture->pixmap().isNull()) << name;
    }
    EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("L3"))->text(), QStringLiteral("Ver. 0.1   3/06/2002"));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("О программе"));
    EXPECT_TRUE(about.font().bold());
}
