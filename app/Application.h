#pragma once

#include <functional>

class QTranslator;

// The application's names ("Zemrik" on the task bar and for the settings), its icon and Qt's
// Russian texts, so standard buttons read "Да", "Нет", "Отмена" whatever the user's locale.
// `qtTranslation` must live as long as the application uses it. False when Qt's Russian
// translation is not installed (the buttons then stay in English).
bool PrepareApplication(QTranslator& qtTranslation);

// SIGINT, SIGTERM and SIGHUP run `onStop` on the GUI thread, from the event loop (also inside an
// exchange's byte waits), instead of killing the program with the port still held; the main
// window ends the exchange and closes the way its close box does (unsaved changes are asked
// about, the settings stored, the port closed and released). Call once, after the application
// object exists.
void CloseWindowsOnStopSignals(std::function<void()> onStop);
