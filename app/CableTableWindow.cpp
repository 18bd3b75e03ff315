#include "app/CableTableWindow.h"

#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QScreen>
#include <QStyle>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/CableDialog.h"
#include "app/WaitDialog.h"

namespace {

constexpr int ClientHeight = 387;
constexpr int RowHeight = 20;

}  // namespace

CableTableWindow::CableTableWindow(QWidget* parent, zemrik::CableWindowContext context, CableDialog& newForm,
                                   WaitDialog* wait)
    : QDialog(parent), document_(context, newForm, QLocale().decimalPoint().toStdString()), wait_(wait) {
    setObjectName("CablesForm");
    ToolBar = new QToolBar(this);
    ToolBar->setIconSize(QSize(24, 24));
    LoadBtn =
        AddTool("LoadBtn", "load", "Загрузить таблицу", QKeySequence::Open, &CableTableWindow::LoadBtnClick);
    SaveBtn =
        AddTool("SaveBtn", "save", "Сохранить таблицу", QKeySequence::Save, &CableTableWindow::SaveBtnClick);
    ToolBar->addSeparator();
    GetBtn = AddTool("GetBtn", "get", "Загрузить таблицу из прибора", QKeySequence(Qt::CTRL | Qt::Key_G),
                     &CableTableWindow::GetBtnClick);
    PutBtn = AddTool("PutBtn", "put", "Сохранить таблицу в прибор", QKeySequence(Qt::CTRL | Qt::Key_P),
                     &CableTableWindow::PutBtnClick);
    ToolBar->addSeparator();
    InsRowBtn =
        AddTool("InsRowBtn", "insrow", "Добавить строку", QKeySequence(), &CableTableWindow::InsRowBtnClick);
    DelRowBtn =
        AddTool("DelRowBtn", "delrow", "Удалить строку", QKeySequence(), &CableTableWindow::DelRowBtnClick);

    CablesGrid = new QTableWidget(this);
    CablesGrid->setObjectName("CablesGrid");
    CablesGrid->setAccessibleName("Таблица кабелей");
    CablesGrid->setColumnCount(zemrik::CableTableDocument::Columns);
    CablesGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    CablesGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    CablesGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CablesGrid->verticalHeader()->hide();
    CablesGrid->verticalHeader()->setDefaultSectionSize(RowHeight);
    CablesGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    CablesGrid->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    CablesGrid->installEventFilter(this);
    connect(CablesGrid, &QTableWidget::cellDoubleClicked, this, &CableTableWindow::CablesGridDblClick);
    connect(CablesGrid, &QTableWidget::currentCellChanged, this, [this](int row) { document_.Select(row); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar);
    layout->addWidget(CablesGrid);

    document_.SetObserver(this);
    if (wait_ != nullptr) connect(wait_, &WaitDialog::CancelRequested, this, [this] { document_.Cancel(); });
    FormCreate();
}

CableTableWindow::~CableTableWindow() {
    if (waitCursor_) QApplication::restoreOverrideCursor();
}

QAction* CableTableWindow::AddTool(const char* name, const char* icon, const QString& hint,
                                   const QKeySequence& key, void (CableTableWindow::*command)()) {
    auto* action = ToolBar->addAction(QIcon(QString(":/icons/%1.png").arg(icon)), hint);
    action->setObjectName(name);
    action->setToolTip(hint);
    // Tool bar buttons take no keyboard focus: the keys are the keyboard's way to every command
    // (Insert, Delete and Enter in the grid for the rows).
    action->setShortcut(key);
    connect(action, &QAction::triggered, this, command);
    QWidget* button = ToolBar->widgetForAction(action);
    button->setObjectName(name);
    button->setAccessibleName(hint);
    return action;
}

void CableTableWindow::FormCreate() {
    CablesGrid->setHorizontalHeaderLabels({"Имя", "R, Ом/км", "C, нФ/км", "d, мм", "Материал"});
    // The name column holds 14 of the widest letters a name may have (a fixed-pitch font may
    // borrow its Cyrillic from a wider one) with the cell's margins, the others 7 letters; no
    // column is narrower than its heading, nor the material column than "Алюминий".
    const QFontMetrics metrics(CablesGrid->font());
    const int cellMargins =
        2 * (CablesGrid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, CablesGrid) + 1) + 1;
    int widest = 0;
    for (const QChar letter : QStringLiteral("WMШЩЖЮФ@"))
        widest = std::max(widest, metrics.horizontalAdvance(QString(14, letter)));
    int clientWidth = 23;
    for (int c = 0; c < zemrik::CableTableDocument::Columns; ++c) {
        int width = c == 0 ? widest + cellMargins : metrics.horizontalAdvance(QString(7, 'W'));
        if (c == 4) width = std::max(width, metrics.horizontalAdvance("Алюминий") + cellMargins);
        width = std::max(width, CablesGrid->horizontalHeader()->sectionSizeHint(c));
        CablesGrid->setColumnWidth(c, width);
        clientWidth += width;
    }
    setFixedSize(clientWidth, ClientHeight);
    if (const QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    document_.Open();
    Refresh();
}

void CableTableWindow::Refresh() {
    const auto& rows = document_.Rows();
    {
        const QSignalBlocker block(CablesGrid);
        CablesGrid->setRowCount(static_cast<int>(rows.size()));
        for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
            for (int c = 0; c < zemrik::CableTableDocument::Columns; ++c) {
                auto* item = new QTableWidgetItem(QString::fromStdString(rows[r][c]));
                item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
                CablesGrid->setItem(r, c, item);
            }
        }
        CablesGrid->setCurrentCell(document_.Selected(), std::max(0, CablesGrid->currentColumn()));
    }
    setWindowTitle(QString::fromStdString(document_.Title()));
    LoadBtn->setEnabled(document_.FilesEnabled());
    SaveBtn->setEnabled(document_.FilesEnabled());
    GetBtn->setEnabled(document_.ExchangeEnabled());
    PutBtn->setEnabled(document_.ExchangeEnabled());
    InsRowBtn->setEnabled(document_.InsertEnabled());
    DelRowBtn->setEnabled(document_.DeleteEnabled());
    if (document_.Busy() != waitCursor_) {
        waitCursor_ = document_.Busy();
        if (waitCursor_)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    }
}

void CableTableWindow::SetInstrument(zemrik::InstrumentCables* instrument) {
    document_.SetInstrument(instrument);
    GetBtn->setEnabled(document_.ExchangeEnabled());
    PutBtn->setEnabled(document_.ExchangeEnabled());
}

void CableTableWindow::Run(void (zemrik::CableTableDocument::*command)()) {
    document_.Select(CablesGrid->currentRow());
    (document_.*command)();
    Refresh();
}

void CableTableWindow::LoadBtnClick() { Run(&zemrik::CableTableDocument::Load); }
void CableTableWindow::SaveBtnClick() {
    document_.Save();
    Refresh();
}
void CableTableWindow::GetBtnClick() {
    waitCaption_ = QStringLiteral("Загрузка");
    Run(&zemrik::CableTableDocument::Get);
}
void CableTableWindow::PutBtnClick() {
    waitCaption_ = QStringLiteral("Запись");
    Run(&zemrik::CableTableDocument::Put);
}

void CableTableWindow::ExchangeStarted() {
    if (wait_ != nullptr) wait_->Begin(waitCaption_);
    Refresh();
}

void CableTableWindow::ExchangeEnded() {
    if (wait_ != nullptr) wait_->hide();
    Refresh();
    Q_EMIT ExchangeFinished();
}
void CableTableWindow::InsRowBtnClick() { Run(&zemrik::CableTableDocument::AddRow); }
void CableTableWindow::DelRowBtnClick() { Run(&zemrik::CableTableDocument::DeleteRow); }
void CableTableWindow::CablesGridDblClick() { Run(&zemrik::CableTableDocument::EditRow); }

bool CableTableWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == CablesGrid && event->type() == QEvent::KeyPress) {
        // Insert and Delete run their commands even while the buttons are disabled; the
        // commands themselves refuse what cannot be done.
        switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Insert:
                InsRowBtnClick();
                return true;
            case Qt::Key_Delete:
                DelRowBtnClick();
                return true;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                CablesGridDblClick();
                return true;
            default:
                break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CableTableWindow::reject() {
    if (document_.CloseQuery()) QDialog::reject();
}
