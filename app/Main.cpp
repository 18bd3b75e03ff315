#include "app/Main.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "app/About.h"
#include "app/QtPrompt.h"
#include "app/Resources.h"
#include "app/Waitdlg.h"
#include "cables/CableTableFile.h"
#include "common/FileIO.h"
#include "measurement/MeasurementDisplay.h"

// The cable table window joins the program once it is merged; until then Cables opens nothing.
#if __has_include("cables/Cablesdlg.h")
#include "cables/Cablesdlg.h"
#define ZEMRIK_HAS_CABLE_WINDOW 1
#endif

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string DecimalSeparator() { return QLocale().decimalPoint().toUtf8().toStdString(); }

QLabel* Caption(const QString& text, QWidget* parent) { return new QLabel(text, parent); }

QLabel* Value(const char* name, const QString& caption, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    // A screen reader reads the value with the caption it stands beside.
    label->setAccessibleDescription(caption);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

TZemrikForm::TZemrikForm()
    : qtPrompt_(std::make_unique<QtPrompt>(this, nullptr)), prompt_(qtPrompt_.get()), document_(*prompt_) {
    LoadZemrikResources();  // the tool bar's icons
    setObjectName(QStringLiteral("ZemrikForm"));
    setWindowTitle(QStringLiteral("Zemrik"));
    // A fixed window: minimise and close, no maximise.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    document_.SetObserver(this);
    listCatchUp_.setSingleShot(true);
    listCatchUp_.setInterval(ListCatchUpMs);
    connect(&listCatchUp_, &QTimer::timeout, this, &TZemrikForm::ShowRecordsRead);
    BuildActions();
    BuildPanel();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    ClearMeasurement();
    UpdateCommands();
    // Centred on the desktop, as the program has always opened.
    adjustSize();
    if (const QScreen* desktop = screen()) move(desktop->availableGeometry().center() - rect().center());
}

TZemrikForm::~TZemrikForm() {
    document_.SetObserver(nullptr);
    document_.SetInstrument(nullptr);
}

void TZemrikForm::BuildActions() {
    const auto make = [this](const char* name, const QString& text, const QString& hint, const char* icon,
                             const QKeySequence& keys, void (TZemrikForm::*run)()) {
        auto* action = new QAction(text, this);
        action->setObjectName(QLatin1String(name));
        action->setToolTip(hint);
        action->setStatusTip(hint);
        if (icon != nullptr) action->setIcon(QIcon(QStringLiteral(":/icons/") + QLatin1String(icon)));
        if (!keys.isEmpty()) action->setShortcut(keys);
        connect(action, &QAction::triggered, this, [this, run] { (this->*run)(); });
        return action;
    };
    MeasMenuOpen =
        make("MeasMenuOpen", QStringLiteral("Открыть..."), QStringLiteral("Открыть файл измерений"),
             "open.png", QKeySequence(QStringLiteral("Ctrl+O")), &TZemrikForm::OpenBtnClick);
    MeasMenuSave =
        make("MeasMenuSave", QStringLiteral("Сохранить"), QStringLiteral("Сохранить файл измерений"),
             "save.png", QKeySequence(QStringLiteral("Ctrl+S")), &TZemrikForm::SaveBtnClick);
    MeasMenuSaveAs = make("MeasMenuSaveAs", QStringLiteral("Сохранить как..."),
                          QStringLiteral("Сохранить файл измерений под другим именем"), nullptr, {},
                          &TZemrikForm::MeasMenuSaveAsClick);
    MeasMenuGet =
        make("MeasMenuGet", QStringLiteral("Считать из прибора"), QStringLiteral("Считать из прибора"),
             "get.png", QKeySequence(QStringLiteral("Ctrl+G")), &TZemrikForm::GetBtnClick);
    MeasMenuPut =
        make("MeasMenuPut", QStringLiteral("Записать в прибор"), QStringLiteral("Записать в прибор"),
             "put.png", QKeySequence(QStringLiteral("Ctrl+P")), &TZemrikForm::PutBtnClick);
    MeasMenuDel =
        make("MeasMenuDel", QStringLiteral("Удалить"), QStringLiteral("Удалить из таблицы (прибора)"),
             "delete.png", QKeySequence(QStringLiteral("Ctrl+D")), &TZemrikForm::DelBtnClick);
    MeasMenuExit = make("MeasMenuExit", QStringLiteral("Выход"), QStringLiteral("Выйти из программы"),
                        nullptr, QKeySequence(QStringLiteral("Ctrl+X")), &TZemrikForm::MeasMenuExitClick);
    CablesBtn = make("CablesBtn", QStringLiteral("Таблица кабелей"), QStringLiteral("Таблица кабелей"),
                     "cables.png", {}, &TZemrikForm::CablesBtnClick);
    // The menu bar would show an action's icon in place of its title, so the menu title is an
    // action of its own, run and enabled with the tool button's.
    CablesMenu =
        make("CablesMenu", QStringLiteral("Кабели"), QString(), nullptr, {}, &TZemrikForm::CablesBtnClick);
    HelpMenuAbout =
        make("HelpMenuAbout", QStringLiteral("О программе..."), QStringLiteral("Информация о программе"),
             nullptr, {}, &TZemrikForm::HelpMenuAboutClick);
    MenuCom1 = make("MenuCom1", QStringLiteral("1"), QString(), nullptr, {}, &TZemrikForm::MenuCom1Click);
    MenuCom2 = make("MenuCom2", QStringLiteral("2"), QString(), nullptr, {}, &TZemrikForm::MenuCom2Click);
    MenuCom1->setCheckable(true);
    MenuCom2->setCheckable(true);
    CheckComItem(1);

    // The menu items' own hints differ from the tool bar's for Get and Put; the tool tips are the
    // tool bar's, the menu's travel as status tips (no status line shows them).
    MeasMenuGet->setStatusTip(QStringLiteral("Считать результаты измерений из прибора"));
    MeasMenuPut->setStatusTip(QStringLiteral("Записать результаты измерений в прибор"));

    QMenu* meas = menuBar()->addMenu(QStringLiteral("Измерения"));
    meas->addActions({MeasMenuOpen, MeasMenuSave, MeasMenuSaveAs});
    meas->addSeparator();
    meas->addActions({MeasMenuGet, MeasMenuPut, MeasMenuDel});
    meas->addSeparator();
    meas->addAction(MeasMenuExit);
    menuBar()->addAction(CablesMenu);
    QMenu* setup = menuBar()->addMenu(QStringLiteral("Настройки"));
    QMenu* com = setup->addMenu(QStringLiteral("COM порт"));
    com->setObjectName(QStringLiteral("MenuSetupCOM"));
    com->addActions({MenuCom1, MenuCom2});
    QMenu* help = menuBar()->addMenu(QStringLiteral("?"));
    help->addAction(HelpMenuAbout);

    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(24, 24));
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    const std::pair<QAction*, const char*> buttons[] = {{MeasMenuOpen, "OpenBtn"}, {MeasMenuSave, "SaveBtn"},
                                                        {nullptr, nullptr},        {MeasMenuGet, "GetBtn"},
                                                        {MeasMenuPut, "PutBtn"},   {MeasMenuDel, "DelBtn"},
                                                        {CablesBtn, "CablesBtn"}};
    for (const auto& [action, name] : buttons) {
        if (action == nullptr) {
            ToolBar1->addSeparator();
            continue;
        }
        ToolBar1->addAction(action);
        QWidget* button = ToolBar1->widgetForAction(action);
        button->setObjectName(QLatin1String(name));
        button->setAccessibleName(action->toolTip());
    }
}

void TZemrikForm::BuildPanel() {
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(8, 6, 8, 8);
    auto* panel = new QFrame(central);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    outer->addWidget(panel);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(8, 16, 8, 8);
    row->setSpacing(16);

    LB = new QListWidget(panel);
    LB->setObjectName(QStringLiteral("LB"));
    LB->setAccessibleName(QStringLiteral("Измерения"));
    LB->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    LB->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // One line of fixed-pitch text per record: measuring one item is enough, so a line added
    // during a Get does not lay out (and shape the text of) every line before it again.
    LB->setUniformItemSizes(true);
    LB->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    LB->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A line is 14 name characters, 8 spaces and the two-letter kind.
    const int lineWidth = LB->fontMetrics().horizontalAdvance(QString(25, QLatin1Char('W')));
    LB->setFixedSize(std::max(217, lineWidth + LB->verticalScrollBar()->sizeHint().width() + 8), 313);
    LB->installEventFilter(this);
    connect(LB, &QListWidget::currentRowChanged, this, [this] { LBClick(); });
    connect(LB, &QListWidget::itemClicked, this, [this] { LBClick(); });
    connect(LB, &QListWidget::itemDoubleClicked, this, [this] { LBDblClick(); });
    row->addWidget(LB, 0, Qt::AlignTop);

    auto* detail = new QVBoxLayout();
    detail->setSpacing(2);
    row->addLayout(detail);
    auto* values = new QGridLayout();
    values->setHorizontalSpacing(8);
    values->setVerticalSpacing(0);
    detail->addLayout(values);
    struct Row {
        QLabel** label;
        const char* name;
        QString caption;
    };
    const Row rows[] = {
        {&TypeLbl, "TypeLbl", QStringLiteral("Вид:")},    {&RsLbl, "RsLbl", QStringLiteral("Rs:")},
        {&dRLbl, "dRLbl", QStringLiteral("ΔR:")},         {&CxabLbl, "CxabLbl", QStringLiteral("Cx(AB):")},
        {&CxbcLbl, "CxbcLbl", QStringLiteral("Cx(BC):")}, {&CxacLbl, "CxacLbl", QStringLiteral("Cx(AC):")},
        {&KLbl, "KLbl", QStringLiteral("Cx/Cl:")},        {&RiabLbl, "RiabLbl", QStringLiteral("Ri(AB):")},
        {&RibcLbl, "RibcLbl", QStringLiteral("Ri(BC):")}, {&RiacLbl, "RiacLbl", QStringLiteral("Ri(AC):")},
        {&LxLbl, "LxLbl", QStringLiteral("Lx:")},         {&TLbl, "TLbl", QStringLiteral("t:")},
    };
    int r = 0;
    for (const Row& each : rows) {
        values->addWidget(Caption(each.caption, panel), r, 0);
        *each.label = Value(each.name, each.caption, panel);
        values->addWidget(*each.label, r, 1);
        ++r;
    }
    values->setColumnMinimumWidth(1, 100);

    auto* sections = Caption(QStringLiteral("Секции"), panel);
    detail->addSpacing(6);
    detail->addWidget(sections);
    ItemsCB = new QComboBox(panel);
    ItemsCB->setObjectName(QStringLiteral("ItemsCB"));
    ItemsCB->setEditable(false);
    ItemsCB->setFixedWidth(145);
    sections->setBuddy(ItemsCB);
    // Only the user's pick shows a section; filling the box in ShowMeasurement does not.
    connect(ItemsCB, &QComboBox::activated, this, [this](int s) { ItemsCBChange(s); });
    detail->addWidget(ItemsCB);

    auto* section = new QGridLayout();
    section->setHorizontalSpacing(6);
    section->setVerticalSpacing(6);
    detail->addSpacing(6);
    detail->addLayout(section);
    CLbl = Value("CLbl", QStringLiteral("C:"), panel);
    RLbl = Value("RLbl", QStringLiteral("R:"), panel);
    dLbl = Value("dLbl", QStringLiteral("d:"), panel);
    MaterialLbl = Value("MaterialLbl", QStringLiteral("d:"), panel);
    LLbl = Value("LLbl", QStringLiteral("Длина:"), panel);
    section->addWidget(Caption(QStringLiteral("C:"), panel), 0, 0);
    section->addWidget(CLbl, 0, 1);
    section->addWidget(Caption(QStringLiteral("R:"), panel), 0, 2);
    section->addWidget(RLbl, 0, 3);
    section->addWidget(Caption(QStringLiteral("d:"), panel), 1, 0);
    section->addWidget(dLbl, 1, 1);
    section->addWidget(MaterialLbl, 1, 2, 1, 2);
    section->addWidget(Caption(QStringLiteral("Длина:"), panel), 2, 0, 1, 2);
    section->addWidget(LLbl, 2, 2, 1, 2);
    section->setColumnMinimumWidth(1, 80);
    section->setColumnMinimumWidth(3, 80);
    detail->addStretch(1);

    setCentralWidget(central);
}

void TZemrikForm::AttachDialogs(TNewForm* newForm, TAboutDlg* about, TEditForm* edit, TWaitForm* wait) {
    newForm_ = newForm;
    aboutDlg_ = about;
    waitForm_ = wait;
    const bool ownPrompt = prompt_ == qtPrompt_.get();
    qtPrompt_ = std::make_unique<QtPrompt>(this, edit);
    if (ownPrompt) SetPrompt(nullptr);
}

void TZemrikForm::SetPrompt(zemrik::Prompt* prompt) {
    prompt_ = prompt != nullptr ? prompt : qtPrompt_.get();
    document_.SetPrompt(*prompt_);
}

void TZemrikForm::SetPortOverride(const QString& path) { port_.SetPortOverride(path); }

bool TZemrikForm::OpenAtStart(const QString& path) {
#ifdef ZEMRIK_HAS_CABLE_WINDOW
    const QFileInfo file(path);
    if (file.suffix().compare(FromUtf8(std::string(zemrik::CableFileSuffix)), Qt::CaseInsensitive) == 0) {
        // The cable window shows the table it holds when its file fails to load; a file the user
        // opened says why instead, and the window stays shut.
        const std::string absolute = file.absoluteFilePath().toUtf8().toStdString();
        if (!zemrik::LoadTableFile(absolute, cables_)) {
            prompt_->Error(zemrik::ReadErrorText(absolute), "Ошибка чтения");
            return false;
        }
        settings_.lastCablesTbl = FromUtf8(absolute);
        QTimer::singleShot(0, this, &TZemrikForm::CablesBtnClick);
        return true;
    }
#endif
    const zemrik::CommandResult result = document_.OpenFile(path.toUtf8().toStdString());
    Apply(result);
    return result.linesChanged;
}

void TZemrikForm::FormCreate() {
    QString error;
    bool portTried = false;
    switch (LoadSettings(settings_, error)) {
        case SettingsLoad::NoKey:
            break;
        case SettingsLoad::Error:
            // The rest of the start-up is skipped: no port, no start folder.
            QMessageBox::critical(this, QStringLiteral("Zemrik"), error);
            break;
        case SettingsLoad::Loaded:
            document_.SetStartFolder(MeasurementStartFolder(settings_).toUtf8().toStdString());
            // 0 is what a first run that never picked a port stores: no port to open, and no
            // error box at every start about a port that does not exist.
            if (settings_.comNumber < 1) break;
            portTried = true;
            // The check mark follows the port only for the two numbers the menu offers.
            if (OpenCom(settings_.comNumber) && (settings_.comNumber == 1 || settings_.comNumber == 2))
                CheckComItem(settings_.comNumber);
            break;
    }
    // A device named on the command line is opened for this run even when the settings name no
    // port; the menu's check marks and the stored number stay as they were.
    if (!portTried && port_.HasPortOverride()) OpenCom(1);
    ClearMeasurement();
    UpdateCommands();
}

bool TZemrikForm::OpenCom(int n) {
    QString reason;
    const bool opened = port_.OpenCom(n, reason);
    document_.SetInstrument(opened ? &port_.Instrument() : nullptr);
    UpdateCommands();
    if (!opened) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Ошибка"),
                        QString::fromUtf8(zemrik::PortOpenErrorText), QMessageBox::Ok, this);
        box.setInformativeText(reason);
        box.exec();
    }
    return opened;
}

void TZemrikForm::MenuCom1Click() { ComItemClick(1); }
void TZemrikForm::MenuCom2Click() { ComItemClick(2); }

void TZemrikForm::ComItemClick(int n) {
    // Qt has already toggled the item; its mark is ours to set.
    CheckComItem(checkedCom_);
    if (document_.Busy()) return;
    if (!OpenCom(n)) return;  // the port stays closed, the number and the mark stay
    settings_.comNumber = n;
    CheckComItem(n);
}

void TZemrikForm::CheckComItem(int n) {
    checkedCom_ = n;
    MenuCom1->setChecked(n == 1);
    MenuCom2->setChecked(n == 2);
}

void TZemrikForm::OpenBtnClick() { Apply(document_.Open()); }

void TZemrikForm::SaveBtnClick() {
    document_.Save();
    Apply({});
}

void TZemrikForm::MeasMenuSaveAsClick() {
    document_.SaveAs();
    Apply({});
}

void TZemrikForm::GetBtnClick() { Apply(document_.Get()); }

void TZemrikForm::PutBtnClick() {
    document_.Put(SelectedLines());
    Apply({});
}

void TZemrikForm::DelBtnClick() { Apply(document_.Delete(SelectedLines())); }

void TZemrikForm::CablesBtnClick() {
    if (document_.Busy()) return;
#ifdef ZEMRIK_HAS_CABLE_WINDOW
    if (newForm_ == nullptr) return;
    std::string lastTable = settings_.lastCablesTbl.toUtf8().toStdString();
    zemrik::CableWindowContext context{cables_, port_.IsOpen() ? &port_.Instrument() : nullptr, lastTable,
                                       document_.OpenFolder(), *prompt_};
    {
        TCablesForm form(this, context, *newForm_);
        form.exec();
    }
    settings_.lastCablesTbl = FromUtf8(lastTable);
#endif
    UpdateCommands();
}

void TZemrikForm::HelpMenuAboutClick() {
    if (aboutDlg_ != nullptr && !document_.Busy()) aboutDlg_->exec();
}

void TZemrikForm::MeasMenuExitClick() { close(); }

void TZemrikForm::LBClick() {
    if (document_.Busy() || document_.Count() == 0) return;
    const int r = LB->currentRow();
    if (r >= 0 && r < document_.Count()) ShowMeasurement(r);
}

void TZemrikForm::LBDblClick() {
    const int r = LB->currentRow();
    if (r < 0 || !document_.Rename(r)) return;
    LB->item(r)->setText(FromUtf8(document_.Line(r)));
    UpdateCommands();
}

void TZemrikForm::ItemsCBChange(int section) {
    const int r = LB->currentRow();
    if (document_.Busy() || r < 0 || r >= document_.Count() || section < 0) return;
    const zemrik::SectionTexts t = zemrik::SectionItemTexts(document_.Record(r), section, DecimalSeparator());
    CLbl->setText(FromUtf8(t.CLbl));
    RLbl->setText(FromUtf8(t.RLbl));
    dLbl->setText(FromUtf8(t.dLbl));
    MaterialLbl->setText(FromUtf8(t.MaterialLbl));
    LLbl->setText(FromUtf8(t.LLbl));
}

void TZemrikForm::ShowMeasurement(int r) {
    const zemrik::MeasurementTexts t = zemrik::ShowMeasurement(document_.Record(r), DecimalSeparator());
    const std::pair<QLabel*, const std::string*> texts[] = {
        {TypeLbl, &t.TypeLbl},   {RsLbl, &t.RsLbl},
        {dRLbl, &t.dRLbl},       {CxabLbl, &t.CxabLbl},
        {CxbcLbl, &t.CxbcLbl},   {CxacLbl, &t.CxacLbl},
        {KLbl, &t.KLbl},         {RiabLbl, &t.RiabLbl},
        {RibcLbl, &t.RibcLbl},   {RiacLbl, &t.RiacLbl},
        {LxLbl, &t.LxLbl},       {TLbl, &t.TLbl},
        {CLbl, &t.section.CLbl}, {RLbl, &t.section.RLbl},
        {dLbl, &t.section.dLbl}, {MaterialLbl, &t.section.MaterialLbl},
        {LLbl, &t.section.LLbl}};
    for (const auto& [label, text] : texts) label->setText(FromUtf8(*text));
    ItemsCB->clear();
    for (const std::string& item : t.items) ItemsCB->addItem(FromUtf8(item));
    ItemsCB->setCurrentIndex(t.selectedItem);
}

void TZemrikForm::ClearMeasurement() {
    for (QLabel* label : {TypeLbl, RsLbl, dRLbl, CxabLbl, CxbcLbl, CxacLbl, KLbl, RiabLbl, RibcLbl, RiacLbl,
                          LxLbl, TLbl, CLbl, RLbl, dLbl, MaterialLbl, LLbl})
        label->clear();
    ItemsCB->clear();
}

void TZemrikForm::UpdateCommands() {
    const zemrik::CommandStates s = document_.Commands(port_.IsOpen());
    MeasMenuOpen->setEnabled(s.open);
    MeasMenuSave->setEnabled(s.save);
    MeasMenuSaveAs->setEnabled(s.save);
    MeasMenuGet->setEnabled(s.get);
    MeasMenuPut->setEnabled(s.put);
    MeasMenuDel->setEnabled(s.del);
    MeasMenuExit->setEnabled(s.exit);
    CablesMenu->setEnabled(s.cables);
    CablesBtn->setEnabled(s.cables);
    MenuCom1->setEnabled(s.comPort);
    MenuCom2->setEnabled(s.comPort);
    HelpMenuAbout->setEnabled(s.about);
    // The list and the panel take no input while an exchange works on the list.
    const bool idle = !document_.Busy();
    LB->setEnabled(idle);
    ItemsCB->setEnabled(idle);
}

void TZemrikForm::closeEvent(QCloseEvent* event) {
    if (!document_.CloseQuery()) {
        event->ignore();
        return;
    }
    QString error;
    if (!SaveSettings(settings_, error)) QMessageBox::critical(this, QStringLiteral("Zemrik"), error);
    document_.SetInstrument(nullptr);
    port_.Close();
    event->accept();
}

bool TZemrikForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LB && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Delete) {
            DelBtnClick();
            return true;
        }
        // The keyboard's way to the rename a double click starts.
        if (key == Qt::Key_F2 || key == Qt::Key_Return || key == Qt::Key_Enter) {
            LBDblClick();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TZemrikForm::Apply(const zemrik::CommandResult& result) {
    if (result.linesChanged) RebuildList();
    switch (result.panel) {
        case zemrik::PanelAction::ShowFirst:
            LB->clearSelection();
            {
                const QSignalBlocker quiet(LB);
                LB->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
            }
            ShowMeasurement(0);
            break;
        case zemrik::PanelAction::Clear:
            ClearMeasurement();
            break;
        case zemrik::PanelAction::Leave:
            break;
    }
    setWindowTitle(FromUtf8(document_.Title()));
    UpdateCommands();
}

void TZemrikForm::RebuildList() {
    const QSignalBlocker quiet(LB);
    LB->clear();
    for (const std::string& line : document_.Lines()) LB->addItem(FromUtf8(line));
}

std::vector<int> TZemrikForm::SelectedLines() const {
    std::vector<int> lines;
    for (int i = 0; i < LB->count(); ++i)
        if (LB->item(i)->isSelected()) lines.push_back(i);
    return lines;
}

void TZemrikForm::ExchangeStarted() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Disabling the list takes the keyboard focus from it; it comes back once the exchange ends.
    listHadFocus_ = LB->hasFocus();
    UpdateCommands();
}

void TZemrikForm::ReadingStarted(int total) {
    {
        const QSignalBlocker quiet(LB);
        LB->clear();
    }
    readTotal_ = total;
    if (waitForm_ != nullptr) {
        waitForm_->SetProgress(0, total);
        waitForm_->show();
    }
}

void TZemrikForm::RecordRead(int /*i*/, int /*total*/) {
    // Records come about ten a second; showing them a few times a second looks the same and
    // spares a repaint of the list and the wait box for each one.
    if (!listCatchUp_.isActive()) listCatchUp_.start();
}

void TZemrikForm::ShowRecordsRead() {
    {
        const QSignalBlocker quiet(LB);
        for (int i = LB->count(); i < document_.Count(); ++i) LB->addItem(FromUtf8(document_.Line(i)));
    }
    if (waitForm_ != nullptr) waitForm_->SetProgress(LB->count(), readTotal_);
}

void TZemrikForm::ExchangeEnded() {
    if (listCatchUp_.isActive()) {
        listCatchUp_.stop();
        ShowRecordsRead();
    }
    if (waitForm_ != nullptr) waitForm_->hide();
    QApplication::restoreOverrideCursor();
    UpdateCommands();
    if (listHadFocus_) LB->setFocus();
}
