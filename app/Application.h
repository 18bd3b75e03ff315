#pragma once

class QTranslator;

// The application's names ("Zemrik" on the task bar and for the settings), its icon and Qt's
// Russian texts, so standard buttons read "Да", "Нет", "Отмена" whatever the user's locale.
// `qtTranslation` must live as long as the application uses it. False when Qt's Russian
// translation is not installed (the buttons then stay in English).
bool PrepareApplication(QTranslator& qtTranslation);

// SIGINT, SIGTERM and SIGHUP close the program's windows the way the close box does (unsaved
// changes are asked about, the settings stored, the port closed and released) instead of
// killing it with the port still held. Call once, after the application object exists.
void CloseWindowsOnStopSignals();
