#pragma once

#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "app/QtMessagePump.h"
#include "app/Settings.h"
#include "cables/CableTable.h"
#include "common/Prompt.h"
#include "measurement/MeasurementDocument.h"
#include "port/PortFollower.h"
#include "port/PortMonitor.h"
#include "protocol/InstrumentConnection.h"

class QAction;
class QComboBox;
class QLabel;
class QListWidget;
class QMenu;
class QSocketNotifier;
class QToolBar;
class QtPrompt;
class CableTableWindow;
class AboutDialog;
class CableTableWindow;
class NameDialog;
class CableDialog;
class WaitDialog;

// The main window: the measurement list, the detail panel of the record picked in it, and the
// program's commands. The commands and the list's state live in MeasurementDocument; this class
// binds widgets to it, owns the port and the settings, and keeps every command disabled while
// an exchange with the instrument runs. Which serial device it holds, and what to do as devices
// come and go, is PortFollower's: the window carries out its steps and shows its state in the
// "COM порт" menu and the status line.
class MainWindow : public QMainWindow, private zemrik::MeasurementObserver {
    Q_OBJECT
public:
    MainWindow();
    ~MainWindow() override;

    // The dialogs made after the window; the name dialog answers the rename question from now on.
    void AttachDialogs(CableDialog* newForm, AboutDialog* about, NameDialog* edit, WaitDialog* wait);
    // Every later port switch opens `path` whatever the number (zemrik --port PATH); not stored.
    void SetPortOverride(const QString& path) { portOverride_ = path; }
    // Devices come from `monitor` instead of the system's (tests); before FormCreate.
    void SetPortMonitor(std::unique_ptr<zemrik::PortMonitor> monitor) { monitor_ = std::move(monitor); }
    // Opens `path` as Open would (zemrik FILE.zmk); a cable table (FILE.cbl, as a file manager
    // passes it) opens the cable table window with it once the event loop runs. False when the
    // file could not be read.
    bool OpenAtStart(const QString& path);
    // Reads the settings and opens the remembered port, or waits for the remembered device.
    void FormCreate();

    zemrik::CableTable& Cables() { return cables_; }
    AppSettings& Settings() { return settings_; }
    zemrik::InstrumentConnection& Connection() { return connection_; }
    zemrik::Prompt& Prompt() { return *prompt_; }
    zemrik::MeasurementDocument& Document() { return document_; }
    // Answers the window's questions through `prompt` (tests); nullptr goes back to the dialogs.
    void SetPrompt(zemrik::Prompt* prompt);

    // Commands, as the actions, the list and the menu run them.
    void OpenBtnClick();
    void SaveBtnClick();
    void MeasMenuSaveAsClick();
    void GetBtnClick();
    void PutBtnClick();
    void DelBtnClick();
    void CablesBtnClick();
    void HelpMenuAboutClick();
    void MeasMenuExitClick();
    void MeasMenuReportClick();
    void MeasMenuExportClick();
    void MenuCom1Click();
    void MenuCom2Click();
    // The device item `i` of the COM menu (MenuDevices[i]).
    void MenuDeviceClick(std::size_t i);
    void LBClick();
    void LBDblClick();
    void ItemsCBChange(int section);
    void UpdateCommands();
    // "Отмена" in the wait box: the running Get, Put or Delete (or the cable window's Get or Put)
    // ends at its next byte wait.
    void CancelExchange();
    // SIGINT, SIGTERM, SIGHUP: cancels a running exchange, then closes as the close box does.
    void StopRequested();

    void ShowMeasurement(int r);
    void ClearMeasurement();

    QToolBar* ToolBar1;
    QAction* MeasMenuOpen;  // also OpenBtn
    QAction* MeasMenuSave;  // also SaveBtn
    QAction* MeasMenuSaveAs;
    QAction* MeasMenuGet;  // also GetBtn
    QAction* MeasMenuPut;  // also PutBtn
    QAction* MeasMenuDel;  // also DelBtn
    QAction* MeasMenuReport;
    QAction* MeasMenuExport;
    QAction* MeasMenuExit;
    QAction* CablesBtn;
    QAction* CablesMenu;
    QMenu* MenuSetupCOM;
    QAction* MenuCom1;
    QAction* MenuCom2;
    std::vector<QAction*> MenuDevices;  // after the separator, in the order of the devices found
    QLabel* PortStatus;                 // the status line's permanent part: the port
    // What PortStatus says in full (it shortens the text to fit the window).
    QString PortStatusText() const { return portText_; }
    QAction* HelpMenuAbout;
    QListWidget* LB;
    QComboBox* ItemsCB;
    QLabel *TypeLbl, *RsLbl, *dRLbl, *CxabLbl, *CxbcLbl, *CxacLbl, *KLbl, *RiabLbl, *RibcLbl, *RiacLbl,
        *LxLbl, *TLbl, *CLbl, *RLbl, *dLbl, *MaterialLbl, *LLbl;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildActions();
    void BuildPanel();
    void ComItemClick(int n);
    // Ports: start following devices; carry out one step of the follower; what comes in.
    void StartFollowingPorts();
    bool StartPort();
    bool Carry(const zemrik::PortStep& step);
    void RunDeferredPortStep();
    void MonitorReadable();
    void DeviceGone();
    void RebuildDeviceItems();
    void RepaintPort();
    void ShowPortStatus();
    bool ExchangeRunning() const;
    zemrik::InstrumentProtocol* OpenInstrument();
    void Apply(const zemrik::CommandResult& result);
    void RebuildList();
    std::vector<int> SelectedLines() const;

    // MeasurementObserver
    void ExchangeStarted() override;
    void ReadingStarted(int total) override;
    void RecordRead(int i, int total) override;
    void Progress(int done, int total) override;
    void ExchangeEnded() override;
    void CloseWhenIdle();
    // Adds the lines of the records read since the last call and moves the wait box's bar.
    void ShowRecordsRead();

    std::unique_ptr<QtPrompt> qtPrompt_;
    zemrik::Prompt* prompt_;
    zemrik::MeasurementDocument document_;
    zemrik::CableTable cables_;
    QtMessagePump pump_;
    zemrik::InstrumentConnection connection_;
    QString portOverride_;
    AppSettings settings_;
    std::unique_ptr<zemrik::PortMonitor> monitor_;
    std::unique_ptr<zemrik::PortFollower> follower_;  // made in FormCreate, over monitor_
    std::unique_ptr<QSocketNotifier> monitorNotifier_;
    // A step that came while an exchange ran: closing the port under it would leave the exchange
    // to wait out its time-outs, so the step runs once the exchange is over.
    std::optional<zemrik::PortStep> deferredStep_;
    CableTableWindow* cableWindow_ = nullptr;  // while it shows
    QString portText_;                         // the whole text of the status line's port part
    QString portNotice_;                       // where udev does not run, the monitor's word on it
    int fixedWidth_ = 0;                       // the window's, measured once
    bool listHadFocus_ = false;
    CableDialog* newForm_ = nullptr;
    AboutDialog* aboutDlg_ = nullptr;
    WaitDialog* waitForm_ = nullptr;
    static constexpr int ListCatchUpMs = 250;
    QTimer listCatchUp_;  // runs while a Get has read records the list does not show yet
    int readTotal_ = 0;
    int readArrived_ = 0;  // records the running Get has read
    int readShown_ = 0;    // of those, the lines the list shows
    QString waitCaption_;  // of the wait box for the command that runs
    static constexpr int IdleCheckMs = 20;
};
