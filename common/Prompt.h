#pragma once

#include <optional>
#include <string>
#include <string_view>

// How the window logic of the core talks to the person at the screen. The Qt windows answer
// with QMessageBox, QFileDialog and the name dialog; the tests answer from a script; the
// command-line tool answers without asking. Every text here is UTF-8; names stored in code
// page 1251 are converted before they reach a prompt.
namespace zemrik {

enum class PromptIcon { None, Information, Question, Warning, Error };
enum class PromptButtons { Ok, YesNo, YesNoCancel };
// Closing a box without a button counts as Cancel for Yes/No/Cancel, as No for Yes/No.
enum class PromptAnswer { Ok, Yes, No, Cancel };

struct FileDialogRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    std::string filter;         // as shown, e.g. "Measure Results(*.zmk)"
    std::string defaultSuffix;  // without the dot, e.g. "zmk"
    std::string startFolder;    // empty: the dialog's own default
    bool confirmOverwrite = false;
};

class Prompt {
public:
    virtual ~Prompt() = default;

    // A modal message box; returns the button pressed.
    virtual PromptAnswer Message(std::string_view text, std::string_view caption, PromptIcon icon,
                                 PromptButtons buttons) = 0;

    // A file dialog; the chosen path, or nullopt when the user cancelled.
    virtual std::optional<std::string> ChooseFile(const FileDialogRequest& request) = 0;

    // The file-name dialog for renaming a record: the new name (UTF-8, at most 14 characters
    // the dialog let through), or nullopt when the user cancelled.
    virtual std::optional<std::string> AskName(std::string_view current) = 0;

    // Shows `text` with an OK button and the error icon: the common case of Message.
    void Error(std::string_view text, std::string_view caption) {
        Message(text, caption, PromptIcon::Error, PromptButtons::Ok);
    }
};

}  // namespace zemrik
