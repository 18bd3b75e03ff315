#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

#include "app/Application.h"
#include "app/Editdlg.h"
#include "app/QtPrompt.h"
#include "gui/GuiTestSupport.h"

using zemrik::PromptAnswer;
using zemrik::PromptButtons;
using zemrik::PromptIcon;

// Icons and buttons as asked, in Russian once the application is prepared; Esc gives the most
// cautious answer.
TEST(QtPrompt, MessageShowsTheBoxAndMapsTheAnswer) {
    using B = QMessageBox;
    struct Row {
        PromptIcon icon;
        PromptButtons buttons;
        B::StandardButton press;  // NoButton: Esc
        B::Icon shownIcon;
        QStringList shownTexts;
        PromptAnswer answer;
    };
    const Row rows[] = {
        {PromptIcon::Error, PromptButtons::Ok, B::NoButton, B::Critical, {"OK"}, PromptAnswer::Ok},
        {PromptIcon::Question, PromptButtons::YesNo, B::Yes, B::Question, {"Да", "Нет"}, PromptAnswer::Yes},
        {PromptIcon::Question,
         PromptButtons::YesNo,
         B::NoButton,
         B::Question,
         {"Да", "Нет"},
         PromptAnswer::No},
        {PromptIcon::Warning,
         PromptButtons::YesNoCancel,
         B::No,
         B::Warning,
         {"Да", "Нет", "Отмена"},
         PromptAnswer::No},
        {PromptIcon::Information,
         PromptButtons::YesNoCancel,
         B::NoButton,
         B::Information,
         {"Да", "Нет", "Отмена"},
         PromptAnswer::Cancel},
    };
    QTranslator translation;
    ASSERT_TRUE(PrepareApplication(translation));
    QWidget owner;
    QtPrompt prompt(&owner, nullptr);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.shownTexts.join(' ').toStdString());
        QString caption, text;
        B::Icon icon = B::NoIcon;
        QStringList texts;
        WhenModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            caption = box->windowTitle();
            text = box->text();
            icon = box->icon();
            for (auto button : {B::Yes, B::No, B::Cancel, B::Ok}) {
                if (box->button(button)) texts << box->button(button)->text().remove(QLatin1Char('&'));
            }
            if (row.press == B::NoButton) {
                QTest::keyClick(box, Qt::Key_Escape);
            } else {
                box->button(row.press)->click();
            }
        });
        EXPECT_EQ(prompt.Message("Записать в прибор?", "Запись", row.icon, row.buttons), row.answer);
        EXPECT_EQ(caption, QStringLiteral("Запись"));
        EXPECT_EQ(text, QStringLiteral("Записать в прибор?"));
        EXPECT_EQ(icon, row.shownIcon);
        EXPECT_EQ(texts, row.shownTexts);
    }
    QCoreApplication::removeTranslator(&translation);
}

TEST(QtPrompt, AskNameGoesThroughTheNameDialog) {
    TEditForm edit;
    QtPrompt prompt(nullptr, &edit);
    WhenModal([](QWidget* modal) {
        auto* form = qobject_cast<TEditForm*>(modal);
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(form->NameEdit()->text(), QStringLiteral("КАБЕЛЬ 1"));
        TypeText(form->NameEdit(), QStringLiteral("ж2"));  // replaces the name, selected on showing
        form->OkBtn()->click();
    });
    EXPECT_EQ(prompt.AskName("КАБЕЛЬ 1"), std::optional<std::string>("Ж2"));

    WhenModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    EXPECT_EQ(prompt.AskName("ПАРА"), std::nullopt);
}

TEST(QtPrompt, ChooseFileSetsUpTheDialog) {
    QTemporaryDir dir;
    const QString gone = dir.filePath(QStringLiteral("Meas"));
    QtPrompt prompt(nullptr, nullptr);
    using Kind = zemrik::FileDialogRequest::Kind;
    for (const auto& [kind, start, overwrite] :
         {std::tuple{Kind::Save, dir.path(), true}, {Kind::Open, gone, false}}) {
        QString folder, filter, suffix;
        bool asksOverwrite = false;
        WhenModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            folder = dialog->directory().absolutePath();
            filter = dialog->nameFilters().value(0);
            suffix = dialog->defaultSuffix();
            asksOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
            dialog->reject();
        });
        EXPECT_EQ(prompt.ChooseFile({kind, "Measure Results(*.zmk)", "zmk", start.toStdString(), overwrite}),
                  std::nullopt);
        EXPECT_EQ(filter, QStringLiteral("Measure Results(*.zmk)"));
        EXPECT_EQ(suffix, QStringLiteral("zmk"));
        EXPECT_EQ(asksOverwrite, overwrite);
        // A start folder that is gone leaves the dialog in its own default.
        if (start == gone) {
            EXPECT_NE(folder, gone);
        } else {
            EXPECT_EQ(folder, start);
        }
    }
}
