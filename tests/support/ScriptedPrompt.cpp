#include "support/ScriptedPrompt.h"

#include <gtest/gtest.h>

namespace zemrik::test {
namespace {

// The next scripted answer; a question with none fails the test and gets `fallback`.
template <typename T>
T Next(std::deque<T>& script, T fallback, std::string_view what) {
    if (script.empty()) {
        ADD_FAILURE() << "unscripted " << what;
        return fallback;
    }
    T answer = std::move(script.front());
    script.pop_front();
    return answer;
}

}  // namespace

PromptAnswer ScriptedPrompt::Message(std::string_view text, std::string_view caption, PromptIcon icon,
                                     PromptButtons buttons) {
    messages.push_back({std::string(text), std::string(caption), icon, buttons});
    if (buttons == PromptButtons::Ok) return PromptAnswer::Ok;
    return Next(answers, buttons == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Cancel, text);
}

std::optional<std::string> ScriptedPrompt::ChooseFile(const FileDialogRequest& request) {
    fileRequests.push_back(request);
    return Next<std::optional<std::string>>(files, std::nullopt, "file dialog");
}

std::optional<std::string> ScriptedPrompt::AskName(std::string_view current) {
    nameRequests.emplace_back(current);
    return Next<std::optional<std::string>>(names, std::nullopt, "name dialog");
}

std::vector<std::string> ScriptedPrompt::Texts() const {
    std::vector<std::string> texts;
    for (const Shown& m : messages) texts.push_back(m.text);
    return texts;
}

void PrintTo(const ScriptedPrompt::Shown& shown, std::ostream* out) {
    *out << shown.caption << ": " << shown.text << " [icon " << static_cast<int>(shown.icon) << ", buttons "
         << static_cast<int>(shown.buttons) << "]";
}

}  // namespace zemrik::test
