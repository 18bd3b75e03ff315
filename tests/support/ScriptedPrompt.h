#pragma once

#include <deque>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/Prompt.h"

// A prompt answered from a script; every question is recorded, an unscripted one fails the test.
namespace zemrik::test {

class ScriptedPrompt : public Prompt {
public:
    struct Shown {
        std::string text, caption;
        PromptIcon icon;
        PromptButtons buttons;
        bool operator==(const Shown&) const = default;
    };

    std::deque<PromptAnswer> answers;              // for Message
    std::deque<std::optional<std::string>> files;  // for ChooseFile
    std::deque<std::optional<std::string>> names;  // for AskName

    std::vector<Shown> messages;
    std::vector<FileDialogRequest> fileRequests;
    std::vector<std::string> nameRequests;

    PromptAnswer Message(std::string_view text, std::string_view caption, PromptIcon icon,
                         PromptButtons buttons) override;
    std::optional<std::string> ChooseFile(const FileDialogRequest& request) override;
    std::optional<std::string> AskName(std::string_view current) override;
    std::vector<std::string> Texts() const;  // of the messages shown, in order
};

// "caption: text [icon, buttons]" in a failed comparison.
void PrintTo(const ScriptedPrompt::Shown& shown, std::ostream* out);

}  // namespace zemrik::test
