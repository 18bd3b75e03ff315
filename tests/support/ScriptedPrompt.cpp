#include "support/ScriptedPrompt.h"

#include <gtest/gtest.h>

namespace zemrik::test {

PromptAnswer ScriptedPrompt::Message(std::string_view text, std::string_view caption, PromptIcon icon,
                                     PromptButtons buttons) {
    messages.push_back({std::string(text), std::string(caption), icon, buttons});
    if (buttons == PromptButtons::Ok) return PromptAnswer::Ok;
    if (answers.empty()) {
        ADD_FAILURE() << "unscripted question: " << text;
        return buttons == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Cancel;
    }
    PromptAnswer answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<std::string> ScriptedPrompt::ChooseFile(const FileDialogRequest& request) {
    fileRequests.push_back(request);
    if (files.empty()) {
        ADD_FAILURE() << "unscripted file dialog";
        return std::nullopt;
    }
    std::optional<std::string> file = files.front();
    files.pop_front();
    return file;
}

std::optional<std::string> ScriptedPrompt::AskName(std::string_view current) {
    nameRequests.emplace_back(current);
    if (names.empty()) {
        ADD_FAILURE() << "unscripted name dialog";
        return std::nullopt;
    }
    std::optional<std::string> name = names.front();
    names.pop_front();
    return name;
}

std::vector<std::string> ScriptedPrompt::Texts() const {
    std::vector<std::string> texts;
    for (const Shown& m : messages) texts.push_back(m.text);
    return texts;
}

}  // namespace zemrik::test
