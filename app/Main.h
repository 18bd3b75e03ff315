#pragma once

#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <memory>

#include "app/PortSession.h"
#include "app/Settings.h"
#include "cables/CableTable.h"
#include "common/Prompt.h"
#include "measurement/MeasurementDocument.h"

class QAction;
class QComboBox;
class QLabel;
class QListWidget;
class QToolBar;
class QtPrompt;
class TAboutDlg;
class TEditForm;
class TNewForm;
class TWaitForm;

// The main window: the measurement list, the detail panel of the record picked in it, and the
// program's commands. The commands and the list's state live in MeasurementDocument; this class
// binds widgets to it, owns the port and the settings, and keeps every command disabled while
// an exchange with the instrument runs.
class TZemrikForm : public QMainWindow, private zemrik::ExchangeObserver {
    Q_OBJECT
public:
    TZemrikForm();
    ~TZemrikForm() override;

    // The dialogs made after the window; the name dialog answers the rename question from now on.
    void AttachDialogs(TNewForm* newForm, TAboutDlg* about, TEditForm* edit, TWaitForm* wait);
    void SetPortOverride(const QString& path);
    // Opens `path` as Open would (zemrik FILE.zmk); a cable table (FILE.cbl, as a file manager
    // passes it) opens the cable table window with it once the event loop runs. False when the
    // file could not be read.
    bool OpenAtStart(const QString& path);
    // Reads the settings and opens the remembered port.
    void FormCreate();

    zemrik::CableTable& Cables() { return cables_; }
    AppSettings& Settings() { return settings_; }
    PortSession& Port() { return port_; }
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
    void MenuCom1Click();
    void MenuCom2Click();
    void LBClick();
    void LBDblClick();
    void ItemsCBChange(int section);
    void UpdateCommands();

    void ShowMeasurement(int r);
    void ClearMeasurement();

    QToolBar* ToolBar1;
    QAction* MeasMenuOpen;  // also OpenBtn
    QAction* MeasMenuSave;  // also SaveBtn
    QAction* MeasMenuSaveAs;
    QAction* MeasMenuGet;  // also GetBtn
    QAction* MeasMenuPut;  // also PutBtn
    QAction* MeasMenuDel;  // also DelBtn
    QAction* MeasMenuExit;
    QAction* CablesBtn;
    QAction* CablesMenu;
    QAction* MenuCom1;
    QAction* MenuCom2;
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
    bool OpenCom(int n);
    void ComItemClick(int n);
    void CheckComItem(int n);
    void Apply(const zemrik::CommandResult& result);
    void RebuildList();
    std::vector<int> SelectedLines() const;

    // ExchangeObserver
    void ExchangeStarted() override;
    void ReadingStarted(int total) override;
    void RecordRead(int i, int total) override;
    void ExchangeEnded() override;
    // Adds the lines of the records read since the last call and moves the wait box's bar.
    void ShowRecordsRead();

    std::unique_ptr<QtPrompt> qtPrompt_;
    zemrik::Prompt* prompt_;
    zemrik::MeasurementDocument document_;
    zemrik::CableTable cables_;
    PortSession port_;
    AppSettings settings_;
    int checkedCom_ = 1;
    bool listHadFocus_ = false;
    TNewForm* newForm_ = nullptr;
    TAboutDlg* aboutDlg_ = nullptr;
    TWaitForm* waitForm_ = nullptr;
    static constexpr int ListCatchUpMs = 250;
    QTimer listCatchUp_;  // runs while a Get has read records the list does not show yet
    int readTotal_ = 0;
};
