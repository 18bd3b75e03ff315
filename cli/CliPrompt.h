#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli/Commands.h"
#include "common/Prompt.h"
#include "measurement/MeasurementDocument.h"

// The main window's command logic run from the command line: the commands' messages become
// error lines of the report, their questions take the answer the command line gave, and Get
// shows its progress on a terminal.
namespace zemrik::cli {

class CliPrompt : public Prompt {
public:
    // `savePath`: the answer of the save dialog (get's -o); no other file dialog is answered.
    explicit CliPrompt(Report& report, std::string savePath = {})
        : report_(report), savePath_(std::move(savePath)) {}

    // A message box is an error line (its text only, made safe for a terminal); a question
    // (Put's "Записать в прибор?") is answered Yes: running the command was the user's yes.
    PromptAnswer Message(std::string_view text, std::string_view caption, PromptIcon icon,
                         PromptButtons buttons) override;
    std::optional<std::string> ChooseFile(const FileDialogRequest& request) override;
    // No command renames a record.
    std::optional<std::string> AskName(std::string_view) override { return std::nullopt; }

    // Messages shown so far: every one of them means the command did not do its job.
    int MessagesShown() const { return shown_; }

private:
    Report& report_;
    std::string savePath_;
    int shown_ = 0;
};

// "\rЧтение 37/200" on stderr while Get reads, only when a person is watching stderr. The line
// ends when the exchange does, so a message after it starts on a line of its own.
class ProgressLine : public MeasurementObserver {
public:
    ProgressLine();
    ~ProgressLine() override { ExchangeEnded(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void ReadingStarted(int total) override { Show(0, total); }
    void RecordRead(int i, int total) override { Show(i + 1, total); }
    void ExchangeEnded() override;

private:
    void Show(int done, int total);

    bool shown_;
    bool pending_ = false;
};

}  // namespace zemrik::cli
