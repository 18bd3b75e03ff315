#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "common/Prompt.h"

// A prompt answered from a script. Every question is recorded, so a test checks both what was
// asked and what followed; a question with no scripted answer fails the test.
namespace zemrik::test {

class ScriptedPrompt : public Prompt {
public:
    struct Shown {
        std::string text;
        std::string caption;
        PromptIcon icon;
        PromptButtons buttons;
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

    // Texts of the messages shown so far, in order.
    std::vector<std::string> Texts() const;
};

}  // namespace zemrik::test
