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
    using I = PromptIcon;
    using P = PromptButtons;
    using R = PromptAnswer;
    const QStringList yn{"Да", "Нет"}, ync{"Да", "Нет", "Отмена"};
    // press NoButton: Esc
    const std::tuple<I, P, B::StandardButton, B::Icon, QStringList, R> rows[] = {
        {I::Error, P::Ok, B::NoButton, B::Critical, {"OK"}, R::Ok},
        {I::Question, P::YesNo, B::Yes, B::Question, yn, R::Yes},
        {I::Question, P::YesNo, B::NoButton, B::Question, yn, R::No},
        {I::Warning, P::YesNoCancel, B::No, B::Warning, ync, R::No},
        {I::Information, P::YesNoCancel, B::NoButton, B::Information, ync, R::Cancel},
    };
    QTranslator translation;
    ASSERT_TRUE(PrepareApplication(translation));
    QWidget owner;
    QtPrompt prompt(&owner, nullptr);
    for (const auto& [icon, buttons, press, shownIcon, shownTexts, answer] : rows) {
        B::Icon gotIcon = B::NoIcon;
        QStringList texts;
        WhenModal([&, press = press](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            gotIcon = box->icon();
            for (auto button : {B::Yes, B::No, B::Cancel, B::Ok})
                if (box->button(button)) texts << box->button(button)->text().remove(QLatin1Char('&'));
            if (press == B::NoButton)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->button(press)->click();
        });
        EXPECT_EQ(prompt.Message("Записать?", "Запись", icon, buttons), answer)
            << shownTexts.join(' ').toStdString();
        EXPECT_EQ(gotIcon, shownIcon);
        EXPECT_EQ(texts, shownTexts);
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

// The request sets up the dialog; a start folder that is gone leaves the dialog's own default.
TEST(QtPrompt, ChooseFileSetsUpTheDialog) {
    QTemporaryDir dir;
    QtPrompt prompt(nullptr, nullptr);
    for (const QString& start : {dir.path(), dir.filePath(QStringLiteral("gone"))}) {
        QString setUp;
        WhenModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            setUp = dialog->nameFilters().value(0) + dialog->defaultSuffix() +
                    (dialog->testOption(QFileDialog::DontConfirmOverwrite) ? "" : "?") +
                    (dialog->directory().absolutePath() == start ? "=" : "");
            dialog->reject();
        });
        const zemrik::FileDialogRequest request{zemrik::FileDialogRequest::Kind::Save, "Results(*.zmk)",
                                                "zmk", start.toStdString(), true};
        EXPECT_EQ(prompt.ChooseFile(request), std::nullopt);
        EXPECT_EQ(setUp, start == dir.path() ? "Results(*.zmk)zmk?=" : "Results(*.zmk)zmk?");
    }
}
