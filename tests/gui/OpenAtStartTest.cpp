#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <string>
#include <vector>

#include "app/CableDialog.h"
#include "app/CableTableWindow.h"
#include "app/MainWindow.h"
#include "cables/CableTableFile.h"
#include "gui/GuiTestSupport.h"
#include "support/RecordBuilders.h"
#include "support/ScriptedPrompt.h"

namespace {

// zemrik FILE.cbl, as a file manager starts it: the cable table window opens on the file, named
// relative to the folder the program runs in; a file it cannot load is refused with a message
// and opens no window, and the remembered table stays as it was.
TEST(OpenAtStart, CableTableFileOpensTheCableWindow) {
    struct Case {
        const char* file;
        int records;  // -1: no file at all
        bool opened;
        const char* title;  // of the cable window, "" when none may open
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"линии.cbl", 2, true, "Кабели [линии.cbl]", {}},
        {"ЗАПАС.CBL", 1, true, "Кабели [ЗАПАС.CBL]", {}},
        {"большая.cbl", 65, false, "", {"Не могу открыть файл большая.cbl !"}},
        {"нет.cbl", -1, false, "", {"Не могу открыть файл нет.cbl !"}},
    };
    zemrik::test::TempFolder dir;
    const QString savedFolder = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.Path())));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = dir.File(c.file);
        if (c.records >= 0) {
            std::ofstream out(path, std::ios::binary);
            for (int i = 0; i < c.records; ++i) {
                const zemrik::CableRecord r =
                    zemrik::test::MakeCable("ТПП " + std::to_string(i + 1), 0, 45.0f, 278.0f, 40);
                out.write(reinterpret_cast<const char*>(r.data()), static_cast<std::streamsize>(r.size()));
            }
        }
        zemrik::test::ScriptedPrompt prompt;
        CableDialog newForm;
        MainWindow form;
        form.AttachDialogs(&newForm, nullptr, nullptr, nullptr);
        form.SetPrompt(&prompt);
        form.Settings().lastCablesTbl = QStringLiteral("/elsewhere/old.cbl");

        EXPECT_EQ(form.OpenAtStart(QString::fromUtf8(c.file)), c.opened);
        QString title;
        int rows = -1;
        QString lastName;
        bool probed = false;
        // Runs inside the cable window's own event loop when one opened.
        QTimer::singleShot(0, [&] {
            probed = true;
            auto* window = qobject_cast<CableTableWindow*>(QApplication::activeModalWidget());
            if (window == nullptr) return;
            title = window->windowTitle();
            rows = window->CablesGrid->rowCount();
            lastName = window->CablesGrid->item(rows - 1, 0)->text();
            window->close();
        });
        ASSERT_TRUE(QTest::qWaitFor([&] { return probed; }));
        EXPECT_EQ(title, QString::fromUtf8(c.title));
        ASSERT_EQ(prompt.Texts(), c.messages);
        if (c.opened) {
            EXPECT_EQ(rows, c.records);
            EXPECT_EQ(lastName, QString::fromStdString("ТПП " + std::to_string(c.records)));
            EXPECT_EQ(form.Settings().lastCablesTbl, QString::fromStdString(path));
            EXPECT_EQ(form.LB->count(), 0);  // not read as a measurement file
        } else {
            EXPECT_EQ(prompt.messages[0].caption, "Ошибка чтения");
            EXPECT_EQ(form.Settings().lastCablesTbl, QStringLiteral("/elsewhere/old.cbl"));
        }
    }
    QDir::setCurrent(savedFolder);
}

}  // namespace
