#include "cli/CliPrompt.h"

#include <unistd.h>

#include <cstdio>

#include "cli/CliCommon.h"

namespace zemrik::cli {

PromptAnswer CliPrompt::Message(std::string_view text, std::string_view, PromptIcon, PromptButtons buttons) {
    if (buttons != PromptButtons::Ok) return PromptAnswer::Yes;
    // Names in the texts come from the instrument or a file: control characters become '?'.
    report_.Error(PrintableText(std::string(text)));
    ++shown_;
    return PromptAnswer::Ok;
}

std::optional<std::string> CliPrompt::ChooseFile(const FileDialogRequest& request) {
    if (request.kind != FileDialogRequest::Kind::Save || savePath_.empty()) return std::nullopt;
    return savePath_;
}

ProgressLine::ProgressLine() : shown_(::isatty(STDERR_FILENO) == 1) {}

void ProgressLine::Show(int done, int total) {
    if (!shown_) return;
    std::fprintf(stderr, "\rЧтение %d/%d", done, total);
    std::fflush(stderr);
    pending_ = true;
}

void ProgressLine::ExchangeEnded() {
    if (!pending_) return;
    std::fputc('\n', stderr);
    std::fflush(stderr);
    pending_ = false;
}

}  // namespace zemrik::cli
