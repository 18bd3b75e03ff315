#pragma once

#include <string>
#include <string_view>

#include "common/MessageTexts.h"

// What the measurement commands say, for the main window and zemrik-cli alike (UTF-8); the
// captions and file texts both windows share are common/MessageTexts.h's. NAME in a text is a
// record's name as the command has it (its name field, or the 14-character name column).
namespace zemrik {

inline constexpr std::string_view AppTitle = "Zemrik";

inline constexpr std::string_view RootTableErrorText = "Ошибка при чтении RootTable.";
inline constexpr std::string_view NoFilesText = "В памяти прибора нет файлов!";
inline constexpr std::string_view NoRoomText = "Нет места для записи!";
inline constexpr std::string_view PutQuestionText = "Записать в прибор?";
inline constexpr std::string_view UnsavedQuestionText = "Файл не сохранен! Сохранить?";

// "Ошибка чтения файла NAME!", "Ошибка записи файла NAME !", "Ошибка удаления файла NAME !".
inline std::string RecordReadErrorText(std::string_view name) {
    return "Ошибка чтения файла " + std::string(name) + "!";
}
inline std::string RecordWriteErrorText(std::string_view name) {
    return "Ошибка записи файла " + std::string(name) + " !";
}
inline std::string RecordDeleteErrorText(std::string_view name) {
    return "Ошибка удаления файла " + std::string(name) + " !";
}

// Captions of the main window's own message boxes.
inline constexpr std::string_view DeleteCaption = "Удаление";
inline constexpr std::string_view UnsavedCaption = "Сообщение";

}  // namespace zemrik
