#pragma once

#include <QDialog>

#include "cables/CableTableDocument.h"

class QAction;
class QKeySequence;
class QTableWidget;
class QToolBar;
class CableDialog;
class WaitDialog;

// The cable table window: the table as a grid of five columns, a tool bar for files, the
// instrument and rows. Made for one showing; the table and the last table path outlive it.
class CableTableWindow : public QDialog, private zemrik::ExchangeObserver {
    Q_OBJECT

public:
    // Loads the remembered table file (or shows the table the program holds) at once. `wait`, the
    // program's wait box, shows while the table is read or written, with its "Отмена".
    CableTableWindow(QWidget* parent, zemrik::CableWindowContext context, CableDialog& newForm,
                     WaitDialog* wait = nullptr);
    ~CableTableWindow() override;

    zemrik::CableTableDocument& Document() { return document_; }
    // The port opened or closed while the window shows: Get and Put follow it.
    void SetInstrument(zemrik::InstrumentCables* instrument);

    QToolBar* ToolBar;
    QAction* LoadBtn;
    QAction* SaveBtn;
    QAction* GetBtn;
    QAction* PutBtn;
    QAction* InsRowBtn;
    QAction* DelRowBtn;
    QTableWidget* CablesGrid;

public Q_SLOTS:
    void reject() override;  // Esc and the close box: the close question first

Q_SIGNALS:
    // An exchange with the instrument is over (its message, if any, still to come).
    void ExchangeFinished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    QAction* AddTool(const char* name, const char* icon, const QString& hint, const QKeySequence& key,
                     void (CableTableWindow::*command)());
    void LoadBtnClick();
    void SaveBtnClick();
    void GetBtnClick();
    void PutBtnClick();
    void InsRowBtnClick();
    void DelRowBtnClick();
    void CablesGridDblClick();
    void Run(void (zemrik::CableTableDocument::*command)());
    void Refresh();

    // ExchangeObserver: the commands are disabled and the cursor waits while the table is read
    // or written.
    void ExchangeStarted() override;
    void ExchangeEnded() override;

    zemrik::CableTableDocument document_;
    WaitDialog* wait_;
    QString waitCaption_;
    bool waitCursor_ = false;
};
