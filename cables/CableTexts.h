#pragma once

#include <string>
#include <string_view>

#include "common/MessageTexts.h"
#include "common/Paths.h"

// What the cable table window and the cable parameters dialog say, for the window and
// zemrik-cli's cable commands alike (UTF-8); the captions and file texts both windows share are
// common/MessageTexts.h's.
namespace zemrik {

inline constexpr std::string_view CablesTitle = "Кабели";
// "Кабели [NAME]" for a table in its file NAME.
inline std::string CablesTitleFor(std::string_view path) {
    return std::string(CablesTitle) + " [" + FileNamePart(path) + "]";
}

inline constexpr std::string_view CableFileFilter = "Файлы кабелей (*.cbl)";
inline constexpr std::string_view CableFileSuffix = "cbl";

inline constexpr std::string_view CableReadErrorText = "Ошибка чтения таблицы кабелей!";
inline constexpr std::string_view CableWriteErrorText = "Ошибка записи!";
inline constexpr std::string_view CableNoRoomText = "Нет места для таблицы!";
inline constexpr std::string_view CablePutQuestionText = "Записать таблицу в прибор?";

// "Таблица NAME не сохранена! Сохранить?" with the caption "Сохранение"; NAME is empty for a
// table without a file.
inline std::string CableUnsavedQuestionText(std::string_view name) {
    return "Таблица " + std::string(name) + " не сохранена! Сохранить?";
}
inline constexpr std::string_view CableUnsavedCaption = "Сохранение";

// The cable parameters dialog's refusals.
inline constexpr std::string_view BadValueText = "Некорректные данные!";
inline constexpr std::string_view OutOfRangeText = "Значение вне диапазона!";

}  // namespace zemrik
