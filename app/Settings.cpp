#include "app/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>
#include <memory>

namespace {

std::unique_ptr<QSettings> Store() {
    return std::make_unique<QSettings>(QStringLiteral("Zemrik"), QStringLiteral("Zemrik"));
}

// A text value; a value the file holds as a list (an unquoted comma) is not a text.
bool ReadText(QSettings& store, const QString& key, QString& out) {
    const QVariant v = store.value(key);
    if (!v.isValid()) {
        out.clear();
        return true;
    }
    if (v.typeId() == QMetaType::QStringList) return false;
    out = v.toString();
    return true;
}

}  // namespace

SettingsLoad LoadSettings(AppSettings& s, QString& errorText) {
    errorText.clear();
    const auto settings = Store();
    QSettings& store = *settings;
    if (!QFileInfo::exists(store.fileName()) || store.status() == QSettings::AccessError)
        return SettingsLoad::NoKey;

    const auto fail = [&](const char* format, const char* key) {
        errorText = QString::fromLatin1(format).arg(QLatin1String(key));
        return SettingsLoad::Error;
    };
    if (!ReadText(store, QStringLiteral("AppPath"), s.appPath))
        return fail("Invalid data type for '%1'", "AppPath");
    if (!ReadText(store, QStringLiteral("LastCablesTbl"), s.lastCablesTbl)) {
        return fail("Invalid data type for '%1'", "LastCablesTbl");
    }
    const QVariant com = store.value(QStringLiteral("ComNumber"));
    if (!com.isValid()) return fail("Failed to get data for '%1'", "ComNumber");
    bool ok = false;
    const int number = com.typeId() == QMetaType::QStringList ? 0 : com.toString().trimmed().toInt(&ok);
    if (!ok) return fail("Invalid data type for '%1'", "ComNumber");
    s.comNumber = number;
    if (!ReadText(store, QStringLiteral("PortDevice"), s.portDevice))
        return fail("Invalid data type for '%1'", "PortDevice");

    // Registered for a help viewer to find; the program itself never opens it.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->setProperty("helpFile", s.appPath + QStringLiteral("/Zemrik.hlp"));
    }
    return SettingsLoad::Loaded;
}

bool SaveSettings(const AppSettings& s, QString& errorText) {
    errorText.clear();
    const auto settings = Store();
    QSettings& store = *settings;
    store.setValue(QStringLiteral("AppPath"), s.appPath);
    store.setValue(QStringLiteral("ComNumber"), s.comNumber);
    store.setValue(QStringLiteral("LastCablesTbl"), s.lastCablesTbl);
    // A file that never had a device chosen stays as it was.
    if (s.portDevice.isEmpty())
        store.remove(QStringLiteral("PortDevice"));
    else
        store.setValue(QStringLiteral("PortDevice"), s.portDevice);
    store.sync();
    if (store.status() != QSettings::NoError) {
        errorText = QStringLiteral("Failed to set data for 'AppPath'");
        return false;
    }
    return true;
}

QString ComDevicePath(int n) {
    const QString path = Store()->value(QStringLiteral("Ports/COM%1").arg(n)).toString();
    if (!path.isEmpty()) return path;
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
}

QString MeasurementStartFolder(const AppSettings& s) {
    const QString folder = s.appPath + QStringLiteral("/Meas");
    return QFileInfo(folder).isDir() ? folder : QString();
}
