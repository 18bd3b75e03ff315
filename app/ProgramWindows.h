#pragma once

#include <QString>
#include <memory>

class AboutDialog;
class NameDialog;
class CableDialog;
class WaitDialog;
class MainWindow;

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

    MainWindow& Form() { return *form_; }

private:
    std::unique_ptr<MainWindow> form_;
};
