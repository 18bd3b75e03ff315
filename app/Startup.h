#pragma once

#include <QString>
#include <memory>

class TAboutDlg;
class TEditForm;
class TNewForm;
class TWaitForm;
class TZemrikForm;

// The program's windows, created in their order: the main window (which reads the settings and
// opens the port), then the cable parameters dialog, the about box, the name dialog and the wait
// box, all owned by the main window and handed to it. Nothing is shown yet.
class ProgramWindows {
public:
    // `portOverride` (zemrik --port PATH) replaces the settings' device for this run when not empty.
    explicit ProgramWindows(const QString& portOverride = QString());
    ~ProgramWindows();
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    TZemrikForm& Form() { return *form_; }
    TWaitForm* WaitForm() const { return waitForm_; }

private:
    std::unique_ptr<TZemrikForm> form_;
    TWaitForm* waitForm_ = nullptr;
};
