#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/ExchangeResult.h"
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

inline constexpr std::string_view PortClosedText = "COM порт не открыт!";
inline constexpr std::string_view InstrumentChangedText =
    "Записи в приборе изменились после чтения. Считайте записи заново.";

// What a Get, Put or Delete did, for the status line and zemrik-cli: "Считано записей: 8",
// "Записано 2 из 5: нет места", "Удалено записей: 2", ...
inline std::string CountText(std::string_view verb, int done) {
    return std::string(verb) + " записей: " + std::to_string(done);
}
inline std::string StoppedText(std::string_view verb, int done, int total, std::string_view why) {
    return std::string(verb) + " " + std::to_string(done) + " из " + std::to_string(total) + ": " +
           std::string(why);
}
inline constexpr std::string_view CancelledWhy = "отменено";
inline std::string ReadDoneText(int read) { return CountText("Считано", read); }
inline std::string ReadStoppedText(int read, int total, bool cancelled) {
    return StoppedText("Считано", read, total, cancelled ? CancelledWhy : "ошибка чтения");
}
inline std::string PutDoneText(int written) { return CountText("Записано", written); }
// `answer`: the write's refusal (ExchangeResult's Failed or NoRoom), nullopt when cancelled.
inline std::string PutStoppedText(int written, int total, std::optional<std::uint8_t> answer) {
    return StoppedText("Записано", written, total,
                       !answer                     ? CancelledWhy
                       : *answer == result::NoRoom ? "нет места"
                                                   : "ошибка записи");
}
inline std::string DeleteDoneText(int deleted) { return CountText("Удалено", deleted); }
inline std::string DeleteStoppedText(int deleted, int total, bool cancelled) {
    return StoppedText("Удалено", deleted, total, cancelled ? CancelledWhy : "ошибка удаления");
}

// Captions of the main window's own message boxes.
inline constexpr std::string_view DeleteCaption = "Удаление";
inline constexpr std::string_view UnsavedCaption = "Сообщение";

}  // namespace zemrik
