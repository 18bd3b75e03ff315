#include "common/Paths.h"

namespace zemrik {

std::string FileNamePart(std::string_view path) {
    const auto cut = path.rfind('/');
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string FolderPart(std::string_view path) {
    const auto cut = path.rfind('/');
    if (cut == std::string_view::npos) return ".";
    if (cut == 0) return "/";
    return std::string(path.substr(0, cut));
}

}  // namespace zemrik
