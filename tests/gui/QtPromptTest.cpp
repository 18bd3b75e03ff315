#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/Editdlg.h"
#include "app/QtPrompt.h"
#include "gui/GuiTestSupport.h"

using zemrik::PromptAnswer;
using zemrik::PromptButtons;
using zemrik::PromptIcon;

TEST(QtPrompt, MessageShowsTheBoxAndMapsTheAnswer) {
    struct Row {
        PromptIcon icon;
        PromptButtons buttons;
        QMessageBox::StandardButton press;  // NoButton: Esc
        QMessageBox::Icon shownIcon;
        QMessageBox::StandardButtons shownButtons;
        PromptAnswer answer;
    };
    const Row rows[] = {
        {PromptIcon::Error, PromptButtons::Ok, QMessageBox::Ok, QMessageBox::Critical, QMessageBox::Ok,
         PromptAnswer::Ok},
        {PromptIcon::Information, PromptButtons::Ok, QMessageBox::NoButton, QMessageBox::Information,
         QMessageBox::Ok, PromptAnswer::Ok},
        {PromptIcon::Question, PromptButtons::YesNo, QMessageBox::Yes, QMessageBox::Question,
         QMessageBox::Yes | QMessageBox::No, PromptAnswer::Yes},
        {PromptIcon::Question, PromptButtons::YesNo, QMessageBox::NoButton, QMessageBox::Question,
         QMessageBox::Yes | QMessageBox::No, PromptAnswer::No},
        {PromptIcon::Warning, PromptButtons::YesNoCancel, QMessageBox::No, QMessageBox::Warning,
         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, PromptAnswer::No},
        {PromptIcon::Warning, PromptButtons::YesNoCancel, QMessageBox::NoButton, QMessageBox::Warning,
         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, PromptAnswer::Cancel},
    };
    QWidget owner;
    QtPrompt prompt(&owner, nullptr);
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.press));
        QString caption, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons shown;
        WhenModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            caption = box->windowTitle();
            text = box->text();
            icon = box->icon();
            shown = box->standardButtons();
            if (row.press == QMessageBox::NoButton) {
                QTest::keyClick(box, Qt::Key_Escape);
            } else {
                box->button(row.press)->click();
            }
        });
        EXPECT_EQ(prompt.Message("Записать в прибор?", "Запись", row.icon, row.buttons), row.answer);
        EXPECT_EQ(caption, QStringLiteral("Запись"));
        EXPECT_EQ(text, QStringLiteral("Записать в прибор?"));
        EXPECT_EQ(icon, row.shownIcon);
        EXPECT_EQ(shown, row.shownButtons);
    }
}

TEST(QtPrompt, AskNameGoesThroughTheNameDialog) {
    TEditForm edit;
    QtPrompt prompt(nullptr, &edit);
    WhenModal([](QWidget* modal) {
        auto* form = qobject_cast<TEditForm*>(modal);
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(form->NameEdit()->text(), QStringLiteral("КАБЕЛЬ 1"));
        TypeText(form->NameEdit(), QStringLiteral("ж2"));
        form->OkBtn()->click();
    });
    EXPECT_EQ(prompt.AskName("КАБЕЛЬ 1"), std::optional<std::string>("Ж2"));

    WhenModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    EXPECT_EQ(prompt.AskName("ПАРА"), std::nullopt);
}
