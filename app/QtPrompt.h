#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/Prompt.h"

class QWidget;
class NameDialog;

// The window logic's questions, answered by the person at the screen: standard message boxes
// (button texts from Qt's Russian translation), the file dialogs and the name dialog.
class QtPrompt final : public zemrik::Prompt {
public:
    // Boxes and dialogs are modal to `parent`; `editForm` is the program's one name dialog.
    QtPrompt(QWidget* parent, NameDialog* editForm);

    zemrik::PromptAnswer Message(std::string_view text, std::string_view caption, zemrik::PromptIcon icon,
                                 zemrik::PromptButtons buttons) override;
    std::optional<std::string> ChooseFile(const zemrik::FileDialogRequest& request) override;
    std::optional<std::string> AskName(std::string_view current) override;

private:
    QWidget* parent_;
    NameDialog* editForm_;
};
