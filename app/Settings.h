#pragma once

#include <QString>

// The per-user settings through QSettings in its native form, organisation and application
// "Zemrik": on Linux the INI file $XDG_CONFIG_HOME/Zemrik/Zemrik.conf (default ~/.config), on
// Windows the registry key Software\Zemrik. No file, no settings key.
struct AppSettings {
    QString appPath;
    QString lastCablesTbl;
    int comNumber = 0;
    // The stable path of the serial device chosen from the menu ("PortDevice"); empty when a COM
    // item is the choice. It wins over comNumber, which keeps its value beside it.
    QString portDevice;
};

enum class SettingsLoad {
    Loaded,  // every value read; the help file is registered
    NoKey,   // no settings yet (first start): nothing was set
    Error    // "ComNumber" missing or not a number: errorText says which; values read before it stay
};

// Reads AppPath, LastCablesTbl, ComNumber and PortDevice in that order. On Loaded the application
// property "helpFile" holds AppPath + "/Zemrik.hlp" (registered, never opened).
SettingsLoad LoadSettings(AppSettings& s, QString& errorText);

// Writes AppPath, ComNumber and LastCablesTbl, then PortDevice (removed when empty); other keys of
// the file (Ports/...) stay. False with errorText "Failed to set data for 'AppPath'" when the file
// could not be written.
bool SaveSettings(const AppSettings& s, QString& errorText);

// The device of COM port n: the settings key "Ports/COMn" when present, else /dev/ttyS(n-1).
QString ComDevicePath(int n);

// The start folder of the measurement file dialogs: AppPath + "/Meas" when that folder exists,
// else empty (the dialog's own default).
QString MeasurementStartFolder(const AppSettings& s);
