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
        {"[General]\nAppPath=/opt/z\nLastCablesTbl=/c.cbl\nComNumber=1\n", SettingsLoad::Loaded, "", {"/opt/z", "/c.cbl", 1, ""}},
        {"[General]\nAppPath=/opt/z\nLastCablesTbl=/c.cbl\n", SettingsLoad::Error, "Failed to get data for 'ComNumber'", {"/opt/z", "/c.cbl", 7, "keep"}},
        {"[General]\nAppPath=/opt/z\nComNumber=two\n", SettingsLoad::Error, "Invalid data type for 'ComNumber'", {"/opt/z", QString(), 7, "keep"}},
        {"[General]\nComNumber=2\nPortDevice=/dev/a, /dev/b\n", SettingsLoad::Error, "Invalid data type for 'PortDevice'", {"", "", 2, "keep"}},
        {"[General]\nComNumber=0\nPortDevice=/dev/serial/by-id/x\n", SettingsLoad::Loaded, "", {"", "", 0, "/dev/serial/by-id/x"}},
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
        AppSettings s{keep, keep, 7, keep};
        QString error = QStringLiteral("stale");
        EXPECT_EQ(LoadSettings(s, error), row.result) << row.conf;
        EXPECT_EQ(error, QString::fromLatin1(row.error));
        EXPECT_EQ(s.appPath + s.lastCablesTbl + QString::number(s.comNumber) + s.portDevice,
                  row.expected.appPath + row.expected.lastCablesTbl +
                      QString::number(row.expected.comNumber) + row.expected.portDevice);
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

// No device chosen, no PortDevice key: a file that never had one stays as it was.
TEST(Settings, PortDeviceRoundTrip) {
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    const QString device = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A, B-if00-port0");
    AppSettings read;
    QString error;
    ASSERT_TRUE(SaveSettings(AppSettings{QStringLiteral("/opt/z"), QString(), 2, device}, error));
    ASSERT_EQ(LoadSettings(read, error), SettingsLoad::Loaded);
    EXPECT_EQ(read.portDevice + QString::number(read.comNumber), device + QStringLiteral("2"));
    read.portDevice.clear();
    ASSERT_TRUE(SaveSettings(read, error));
    QFile file(dir.filePath(QStringLiteral("Zemrik/Zemrik.conf")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("[General]\nAppPath=/opt/z\nComNumber=2\nLastCablesTbl=\n"));
}
