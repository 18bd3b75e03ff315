#pragma once

class QTranslator;

// The application's names ("Zemrik" on the task bar and for the settings), its icon and Qt's
// Russian texts, so standard buttons read "Да", "Нет", "Отмена" whatever the user's locale.
// `qtTranslation` must live as long as the application uses it. False when Qt's Russian
// translation is not installed (the buttons then stay in English).
bool PrepareApplication(QTranslator& qtTranslation);
