#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "app/Settings.h"
#include "gui/GuiTestSupport.h"

// A load says which value is wrong and keeps what it could not read; a failed save says which.
TEST(Settings, ErrorTexts) {
    QTemporaryDir dir;
    struct Row {
        const char* conf;
        SettingsLoad result;
        const char* error;
        AppSettings expected;
    };
    const QString keep = QStringLiteral("keep");
    // clang-format off
    const Row rows[] = {
        {"[General]\nAppPath=/opt/z\nLastCablesTbl=/c.cbl\nComNumber=1\n", SettingsLoad::Loaded, "", {"/opt/z", "/c.cbl", 1}},
        {"[General]\nAppPath=/opt/z\nLastCablesTbl=/c.cbl\n", SettingsLoad::Error, "Failed to get data for 'ComNumber'", {"/opt/z", "/c.cbl", 7}},
        {"[General]\nAppPath=/opt/z\nComNumber=two\n", SettingsLoad::Error, "Invalid data type for 'ComNumber'", {"/opt/z", QString(), 7}},
    };
    // clang-format on
    int folder = 0;
    for (const Row& row : rows) {
        // QSettings caches a file by name, size and time: every row uses a folder of its own.
        const QString path = dir.filePath(QString::number(++folder));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path);
        ASSERT_TRUE(QDir(path).mkpath(QStringLiteral("Zemrik")));
        QFile file(path + QStringLiteral("/Zemrik/Zemrik.conf"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(row.conf);
        file.close();
        AppSettings s{keep, keep, 7};
        QString error = QStringLiteral("stale");
        EXPECT_EQ(LoadSettings(s, error), row.result) << row.conf;
        EXPECT_EQ(error, QString::fromLatin1(row.error));
        EXPECT_EQ(
            s.appPath + s.lastCablesTbl + QString::number(s.comNumber),
            row.expected.appPath + row.expected.lastCablesTbl + QString::number(row.expected.comNumber));
    }
    // A settings folder under a plain file cannot be made, not even by root.
    QFile blocker(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, blocker.fileName());
    QString error;
    EXPECT_FALSE(SaveSettings(AppSettings{}, error));
    EXPECT_EQ(error, QStringLiteral("Failed to set data for 'AppPath'"));
}
