#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "app/Settings.h"
#include "gui/GuiTestSupport.h"

namespace {

class SettingsTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        UseFolder(QStringLiteral("settings"));
        qApp->setProperty("helpFile", QVariant());
    }
    // QSettings caches a file by name, size and time: every row uses a folder of its own.
    void UseFolder(const QString& name) {
        folder_ = dir_.filePath(name);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder_);
    }
    void WriteConf(const QByteArray& text) {
        ASSERT_TRUE(QDir(folder_).mkpath(QStringLiteral("Zemrik")));
        QFile file(folder_ + QStringLiteral("/Zemrik/Zemrik.conf"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QTemporaryDir dir_;
    QString folder_;
};

}  // namespace

TEST_F(SettingsTest, LoadReadsTheThreeValuesOrSaysWhatIsWrong) {
    struct Row {
        const char* conf;  // nullptr: no settings file
        SettingsLoad result;
        const char* error;
        AppSettings expected;
    };
    const QString keep = QStringLiteral("keep");
    // clang-format off
    const Row rows[] = {
        {nullptr, SettingsLoad::NoKey, "", {keep, keep, 7}},
        {"[General]\nAppPath=/opt/z\nLastCablesTbl=/c.cbl\nComNumber=1\n", SettingsLoad::Loaded, "", {"/opt/z", "/c.cbl", 1}},
        {"[General]\nAppPath=\nLastCablesTbl=\nComNumber=2\n", SettingsLoad::Loaded, "", {QString(), QString(), 2}},
        {"[General]\nAppPath=/opt/z\nLastCablesTbl=/c.cbl\n", SettingsLoad::Error, "Failed to get data for 'ComNumber'", {"/opt/z", "/c.cbl", 7}},
        {"[General]\nAppPath=/opt/z\nComNumber=two\n", SettingsLoad::Error, "Invalid data type for 'ComNumber'", {"/opt/z", QString(), 7}},
    };
    // clang-format on
    int folder = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.conf ? row.conf : "no file");
        UseFolder(QString::number(++folder));
        if (row.conf) WriteConf(row.conf);
        qApp->setProperty("helpFile", QVariant());
        AppSettings s{keep, keep, 7};
        QString error = QStringLiteral("stale");
        EXPECT_EQ(LoadSettings(s, error), row.result);
        EXPECT_EQ(error, QString::fromLatin1(row.error));
        EXPECT_EQ(s.appPath, row.expected.appPath);
        EXPECT_EQ(s.lastCablesTbl, row.expected.lastCablesTbl);
        EXPECT_EQ(s.comNumber, row.expected.comNumber);
        // Only a complete load registers the help file.
        EXPECT_EQ(qApp->property("helpFile").toString(),
                  row.result == SettingsLoad::Loaded ? row.expected.appPath + "/Zemrik.hlp" : QString());
    }
}

// Save keeps the port mappings and loads back; a save that cannot write says which value failed.
TEST_F(SettingsTest, SaveKeepsPortMappingsOrSaysWhatFailed) {
    WriteConf("[General]\nComNumber=1\n[Ports]\nCOM1=/tmp/zemrik-tty\n");
    const AppSettings saved{dir_.path(), QStringLiteral("/home/t/Кабели, новые.cbl"), 3};
    QString error;
    ASSERT_TRUE(SaveSettings(saved, error)) << error.toStdString();
    AppSettings loaded;
    ASSERT_EQ(LoadSettings(loaded, error), SettingsLoad::Loaded);
    EXPECT_EQ(loaded.lastCablesTbl, saved.lastCablesTbl);
    EXPECT_EQ(loaded.comNumber, 3);
    EXPECT_EQ(ComDevicePath(1), QStringLiteral("/tmp/zemrik-tty"));
    EXPECT_EQ(ComDevicePath(2), QStringLiteral("/dev/ttyS1"));
    EXPECT_EQ(MeasurementStartFolder(loaded), QString());  // AppPath/Meas only when it is there
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("Meas")));
    EXPECT_EQ(MeasurementStartFolder(loaded), dir_.path() + QStringLiteral("/Meas"));

    // A settings folder under a plain file cannot be made, not even by root.
    QFile blocker(dir_.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, blocker.fileName());
    EXPECT_FALSE(SaveSettings(AppSettings{}, error));
    EXPECT_EQ(error, QStringLiteral("Failed to set data for 'AppPath'"));
}
