#pragma once

#include <string>
#include <string_view>

// The two halves of a file path, for titles, messages, dialogs and temporary files. Only '/'
// separates folders here: "10:30 line.zmk" and "a\\b.zmk" are names.
namespace zemrik {

// What follows the last '/' (the whole path without one).
std::string FileNamePart(std::string_view path);

// The folder that holds the file: what precedes the last '/', "/" for a file in the root and "."
// for a bare file name (the current folder).
std::string FolderPart(std::string_view path);

}  // namespace zemrik
