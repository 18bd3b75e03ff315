#pragma once

#include <string>
#include <string_view>

#include "common/Paths.h"

// What both windows and zemrik-cli say alike (UTF-8): the captions their message boxes share,
// and the texts of a file that cannot be read or written, whichever kind it is.
namespace zemrik {

inline constexpr std::string_view ErrorCaption = "Ошибка";
inline constexpr std::string_view InformationCaption = "Информация";
inline constexpr std::string_view WriteCaption = "Запись";  // writing into the instrument
inline constexpr std::string_view ReadErrorCaption = "Ошибка чтения";
inline constexpr std::string_view WriteErrorCaption = "Ошибка записи";

// "Не могу открыть файл NAME !" and "Не могу записать файл NAME !", NAME being the path's file
// name part.
inline std::string ReadErrorText(std::string_view path) {
    return "Не могу открыть файл " + FileNamePart(path) + " !";
}
inline std::string WriteErrorText(std::string_view path) {
    return "Не могу записать файл " + FileNamePart(path) + " !";
}

}  // namespace zemrik
