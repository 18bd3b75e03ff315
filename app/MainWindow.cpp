#include "app/MainWindow.h"

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
#include <QSocketNotifier>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "app/AboutDialog.h"
#include "app/CableTableWindow.h"
#include "app/QtPrompt.h"
#include "app/ReportDialog.h"
#include "app/Resources.h"
#include "app/WaitDialog.h"
#include "cables/CableTableFile.h"
#include "cables/CableTexts.h"
#include "common/MessageTexts.h"
#include "measurement/MeasurementDisplay.h"

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

MainWindow::MainWindow()
    : qtPrompt_(std::make_unique<QtPrompt>(this, nullptr)),
      prompt_(qtPrompt_.get()),
      document_(*prompt_),
      connection_(pump_.Calls(), pump_.Step()) {
    LoadZemrikResources();  // the tool bar's icons
    setObjectName(QStringLiteral("ZemrikForm"));
    setWindowTitle(QStringLiteral("Zemrik"));
    // A fixed window: minimise and close, no maximise.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    document_.SetObserver(this);
    listCatchUp_.setSingleShot(true);
    listCatchUp_.setInterval(ListCatchUpMs);
    connect(&listCatchUp_, &QTimer::timeout, this, &MainWindow::ShowRecordsRead);
    BuildActions();
    BuildPanel();
    // The port is the status line's permanent part, so passing messages (showMessage, the menu
    // items' status tips) come beside it instead of over it.
    statusBar()->setSizeGripEnabled(false);
    PortStatus = new QLabel(statusBar());
    PortStatus->setObjectName(QStringLiteral("PortStatus"));
    statusBar()->addPermanentWidget(PortStatus, 1);
    connect(statusBar(), &QStatusBar::messageChanged, this, [this] { ShowPortStatus(); });
    // The workers tell of a vanished device from inside their own call; the port can only be
    // closed once that call is over.
    connection_.SetOnDeviceGone([this] {
        QMetaObject::invokeMethod(
            this, [this] { DeviceGone(); }, Qt::QueuedConnection);
    });
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    ClearMeasurement();
    RepaintPort();
    // Centred on the desktop, as the program has always opened.
    adjustSize();
    fixedWidth_ = width();
    ShowPortStatus();
    if (const QScreen* desktop = screen()) move(desktop->availableGeometry().center() - rect().center());
}

MainWindow::~MainWindow() {
    connection_.SetOnDeviceGone(nullptr);
    document_.SetObserver(nullptr);
    document_.SetInstrument(nullptr);
}

void MainWindow::BuildActions() {
    const auto make = [this](const char* name, const QString& text, const QString& hint, const char* icon,
                             const QKeySequence& keys, void (MainWindow::*run)()) {
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
             "open.png", QKeySequence(QStringLiteral("Ctrl+O")), &MainWindow::OpenBtnClick);
    MeasMenuSave =
        make("MeasMenuSave", QStringLiteral("Сохранить"), QStringLiteral("Сохранить файл измерений"),
             "save.png", QKeySequence(QStringLiteral("Ctrl+S")), &MainWindow::SaveBtnClick);
    MeasMenuSaveAs = make("MeasMenuSaveAs", QStringLiteral("Сохранить как..."),
                          QStringLiteral("Сохранить файл измерений под другим именем"), nullptr, {},
                          &MainWindow::MeasMenuSaveAsClick);
    MeasMenuGet =
        make("MeasMenuGet", QStringLiteral("Считать из прибора"), QStringLiteral("Считать из прибора"),
             "get.png", QKeySequence(QStringLiteral("Ctrl+G")), &MainWindow::GetBtnClick);
    MeasMenuPut =
        make("MeasMenuPut", QStringLiteral("Записать в прибор"), QStringLiteral("Записать в прибор"),
             "put.png", QKeySequence(QStringLiteral("Ctrl+P")), &MainWindow::PutBtnClick);
    MeasMenuDel =
        make("MeasMenuDel", QStringLiteral("Удалить"), QStringLiteral("Удалить из таблицы (прибора)"),
             "delete.png", QKeySequence(QStringLiteral("Ctrl+D")), &MainWindow::DelBtnClick);
    MeasMenuReport = make("MeasMenuReport", QStringLiteral("Отчет..."),
                          QStringLiteral("Протокол измерений: PDF, печать, просмотр"), nullptr, {},
                          &MainWindow::MeasMenuReportClick);
    MeasMenuExport = make("MeasMenuExport", QStringLiteral("Экспорт CSV..."),
                          QStringLiteral("Записать измерения в файл CSV для таблиц"), nullptr, {},
                          &MainWindow::MeasMenuExportClick);
    MeasMenuExit = make("MeasMenuExit", QStringLiteral("Выход"), QStringLiteral("Выйти из программы"),
                        nullptr, QKeySequence(QStringLiteral("Ctrl+X")), &MainWindow::MeasMenuExitClick);
    CablesBtn = make("CablesBtn", QStringLiteral("Таблица кабелей"), QStringLiteral("Таблица кабелей"),
                     "cables.png", {}, &MainWindow::CablesBtnClick);
    // The menu bar would show an action's icon in place of its title, so the menu title is an
    // action of its own, run and enabled with the tool button's.
    CablesMenu =
        make("CablesMenu", QStringLiteral("Кабели"), QString(), nullptr, {}, &MainWindow::CablesBtnClick);
    HelpMenuAbout =
        make("HelpMenuAbout", QStringLiteral("О программе..."), QStringLiteral("Информация о программе"),
             nullptr, {}, &MainWindow::HelpMenuAboutClick);
    MenuCom1 = make("MenuCom1", QStringLiteral("1"), QString(), nullptr, {}, &MainWindow::MenuCom1Click);
    MenuCom2 = make("MenuCom2", QStringLiteral("2"), QString(), nullptr, {}, &MainWindow::MenuCom2Click);
    MenuCom1->setCheckable(true);
    MenuCom2->setCheckable(true);

    // The menu items' own hints differ from the tool bar's for Get and Put; the tool tips are the
    // tool bar's, the menu's travel as status tips (the status line shows them while the pointer
    // is on the item).
    MeasMenuGet->setStatusTip(QStringLiteral("Считать результаты измерений из прибора"));
    MeasMenuPut->setStatusTip(QStringLiteral("Записать результаты измерений в прибор"));

    QMenu* meas = menuBar()->addMenu(QStringLiteral("Измерения"));
    meas->addActions({MeasMenuOpen, MeasMenuSave, MeasMenuSaveAs});
    meas->addSeparator();
    meas->addActions({MeasMenuGet, MeasMenuPut, MeasMenuDel});
    meas->addSeparator();
    meas->addActions({MeasMenuReport, MeasMenuExport});
    meas->addSeparator();
    meas->addAction(MeasMenuExit);
    menuBar()->addAction(CablesMenu);
    QMenu* setup = menuBar()->addMenu(QStringLiteral("Настройки"));
    MenuSetupCOM = setup->addMenu(QStringLiteral("COM порт"));
    MenuSetupCOM->setObjectName(QStringLiteral("MenuSetupCOM"));
    MenuSetupCOM->addActions({MenuCom1, MenuCom2});
    // The devices found follow the separator; where no events come, opening the menu finds them.
    MenuSetupCOM->addSeparator();
    connect(MenuSetupCOM, &QMenu::aboutToShow, this, [this] {
        if (follower_) Carry(follower_->MenuOpening());
    });
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

void MainWindow::BuildPanel() {
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
    // The material stands beside d without a caption of its own; a screen reader still names it.
    MaterialLbl = Value("MaterialLbl", QStringLiteral("Материал"), panel);
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

void MainWindow::AttachDialogs(CableDialog* newForm, AboutDialog* about, NameDialog* edit, WaitDialog* wait) {
    newForm_ = newForm;
    aboutDlg_ = about;
    waitForm_ = wait;
    if (wait != nullptr) connect(wait, &WaitDialog::CancelRequested, this, &MainWindow::CancelExchange);
    const bool ownPrompt = prompt_ == qtPrompt_.get();
    qtPrompt_ = std::make_unique<QtPrompt>(this, edit);
    if (ownPrompt) SetPrompt(nullptr);
}

void MainWindow::SetPrompt(zemrik::Prompt* prompt) {
    prompt_ = prompt != nullptr ? prompt : qtPrompt_.get();
    document_.SetPrompt(*prompt_);
}

bool MainWindow::OpenAtStart(const QString& path) {
    const QFileInfo file(path);
    if (file.suffix().compare(FromUtf8(std::string(zemrik::CableFileSuffix)), Qt::CaseInsensitive) == 0) {
        // The cable window shows the table it holds when its file fails to load; a file the user
        // opened says why instead, and the window stays shut.
        const std::string absolute = file.absoluteFilePath().toUtf8().toStdString();
        if (!zemrik::LoadTableFile(absolute, cables_)) {
            prompt_->Error(zemrik::ReadErrorText(absolute), zemrik::ReadErrorCaption);
            return false;
        }
        settings_.lastCablesTbl = FromUtf8(absolute);
        QTimer::singleShot(0, this, &MainWindow::CablesBtnClick);
        return true;
    }
    const zemrik::CommandResult result = document_.OpenFile(path.toUtf8().toStdString());
    Apply(result);
    return result.linesChanged;
}

void MainWindow::FormCreate() {
    StartFollowingPorts();
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
            portTried = StartPort();
            break;
    }
    // A device named on the command line is opened for this run even when the settings name no
    // port; the menu's check marks and the stored choice stay as they were.
    if (!portTried && !portOverride_.isEmpty()) Carry(follower_->ChooseCom(0, portOverride_.toStdString()));
    ClearMeasurement();
    RepaintPort();
}

void MainWindow::StartFollowingPorts() {
    if (follower_) return;
    if (!monitor_) monitor_ = zemrik::OpenPortMonitor();
    follower_ = std::make_unique<zemrik::PortFollower>(*monitor_);
    if (monitor_->Fd() >= 0) {
        monitorNotifier_ = std::make_unique<QSocketNotifier>(monitor_->Fd(), QSocketNotifier::Read);
        connect(monitorNotifier_.get(), &QSocketNotifier::activated, this, [this] { MonitorReadable(); });
    }
    RebuildDeviceItems();
    // Where udev does not run, devices still come and go, only with less said about them: said
    // once on stderr, and kept in the port's tool tip.
    const std::string notice = follower_->TakeNotice();
    if (!notice.empty()) std::fprintf(stderr, "%s\n", notice.c_str());
    portNotice_ = FromUtf8(notice);
}

bool MainWindow::StartPort() {
    // zemrik --port PATH stands in for the stored COM number this run; a remembered device waits.
    if (!portOverride_.isEmpty()) {
        if (settings_.comNumber < 1) return false;
        Carry(follower_->Start({}, settings_.comNumber, portOverride_.toStdString()));
        return true;
    }
    // 0 is what a first run that never picked a port stores: no port to open, and no error box at
    // every start about a port that does not exist.
    if (settings_.portDevice.isEmpty() && settings_.comNumber < 1) return false;
    const QString comPath = settings_.comNumber > 0 ? ComDevicePath(settings_.comNumber) : QString();
    Carry(follower_->Start(settings_.portDevice.toStdString(), settings_.comNumber, comPath.toStdString()));
    return true;
}

bool MainWindow::Carry(const zemrik::PortStep& step) {
    if (step.listChanged) RebuildDeviceItems();
    bool opened = false;
    if (step.action != zemrik::PortStep::Action::None && ExchangeRunning()) {
        deferredStep_ = step;
        deferredStep_->listChanged = false;
    } else if (step.action == zemrik::PortStep::Action::Close) {
        connection_.Close();
        document_.SetInstrument(nullptr);
        if (cableWindow_ != nullptr) cableWindow_->SetInstrument(nullptr);
    } else if (step.action == zemrik::PortStep::Action::Open) {
        const zemrik::DeviceError error = connection_.Open(zemrik::kPathPortNumber, step.path);
        opened = error == zemrik::DeviceError::None;
        const zemrik::PortStep after = follower_->Opened(opened);
        if (after.remember) settings_.portDevice = FromUtf8(*after.remember);
        document_.SetInstrument(OpenInstrument());
        if (cableWindow_ != nullptr) cableWindow_->SetInstrument(OpenInstrument());
        // The menu and the status line say how it ended before the box does.
        RepaintPort();
        if (!opened && step.reportFailure) {
            QMessageBox box(QMessageBox::Critical, QStringLiteral("Ошибка"),
                            QString::fromUtf8(zemrik::PortOpenErrorText), QMessageBox::Ok, this);
            box.setInformativeText(FromUtf8(zemrik::PortOpenReason(error, step.path)));
            box.exec();
        }
    }
    RepaintPort();
    return opened;
}

void MainWindow::RunDeferredPortStep() {
    if (!deferredStep_ || ExchangeRunning()) return;
    const zemrik::PortStep step = *deferredStep_;
    deferredStep_.reset();
    Carry(step);
}

void MainWindow::MonitorReadable() {
    if (follower_) Carry(follower_->MonitorReadable());
}

void MainWindow::DeviceGone() {
    // Queued: by now the port may have been closed, or opened again on a device that is there.
    if (follower_ && connection_.DeviceGone()) Carry(follower_->PortGone());
}

void MainWindow::RebuildDeviceItems() {
    // Later, not now: the item may be the one whose click led here.
    for (QAction* item : MenuDevices) {
        MenuSetupCOM->removeAction(item);
        item->deleteLater();
    }
    MenuDevices.clear();
    if (!follower_) return;
    const auto& devices = follower_->Devices();
    for (std::size_t i = 0; i < devices.size(); ++i) {
        QString text = FromUtf8(devices[i].MenuText());
        auto* item = new QAction(text.replace(QLatin1Char('&'), QStringLiteral("&&")), MenuSetupCOM);
        item->setObjectName(QStringLiteral("MenuDevice%1").arg(i));
        item->setCheckable(true);
        connect(item, &QAction::triggered, this, [this, i] { MenuDeviceClick(i); });
        MenuSetupCOM->addAction(item);
        MenuDevices.push_back(item);
    }
}

void MainWindow::RepaintPort() {
    const int com = follower_ ? follower_->CheckedCom() : 1;
    MenuCom1->setChecked(com == 1);
    MenuCom2->setChecked(com == 2);
    const std::optional<std::size_t> device = follower_ ? follower_->CheckedDevice() : std::nullopt;
    for (std::size_t i = 0; i < MenuDevices.size(); ++i) MenuDevices[i]->setChecked(device == i);
    portText_ = follower_ ? FromUtf8(follower_->StatusText()) : QStringLiteral("Порт не выбран");
    ShowPortStatus();
    UpdateCommands();
}

void MainWindow::ShowPortStatus() {
    if (fixedWidth_ == 0) return;
    // The window keeps its size: the port gets what the line has left beside a passing message,
    // shortened in the middle when that is not enough (a path's end and the speed stay), and
    // whole in its tool tip.
    const QString message = statusBar()->currentMessage();
    int room = fixedWidth_ - 16;
    if (!message.isEmpty()) room -= statusBar()->fontMetrics().horizontalAdvance(message) + 16;
    room = std::max(room, 48);
    PortStatus->setMaximumWidth(room);
    PortStatus->setText(PortStatus->fontMetrics().elidedText(portText_, Qt::ElideMiddle, room));
    PortStatus->setToolTip(portNotice_.isEmpty() ? portText_ : portText_ + QLatin1Char('\n') + portNotice_);
}

bool MainWindow::ExchangeRunning() const {
    return document_.Busy() || (cableWindow_ != nullptr && cableWindow_->Document().Busy());
}

zemrik::InstrumentProtocol* MainWindow::OpenInstrument() {
    return connection_.IsOpen() && (!follower_ || follower_->IsOpen()) ? &connection_.Device() : nullptr;
}

void MainWindow::MenuCom1Click() { ComItemClick(1); }
void MainWindow::MenuCom2Click() { ComItemClick(2); }

void MainWindow::ComItemClick(int n) {
    // Qt has already toggled the item; its mark is ours to set.
    RepaintPort();
    if (document_.Busy() || !follower_) return;
    const QString path = portOverride_.isEmpty() ? ComDevicePath(n) : portOverride_;
    // The port stays closed, the number and the mark stay, when it does not open.
    if (Carry(follower_->ChooseCom(n, path.toStdString()))) settings_.comNumber = n;
}

void MainWindow::MenuDeviceClick(std::size_t i) {
    RepaintPort();
    if (document_.Busy() || !follower_) return;
    Carry(follower_->ChooseDevice(i));
}

void MainWindow::OpenBtnClick() { Apply(document_.Open()); }

void MainWindow::SaveBtnClick() {
    document_.Save();
    Apply({});
}

void MainWindow::MeasMenuSaveAsClick() {
    document_.SaveAs();
    Apply({});
}

void MainWindow::GetBtnClick() {
    waitCaption_ = QStringLiteral("Загрузка");
    Apply(document_.Get());
}

void MainWindow::PutBtnClick() {
    waitCaption_ = QStringLiteral("Запись");
    Apply(document_.Put(SelectedLines()));
}

void MainWindow::DelBtnClick() {
    waitCaption_ = QStringLiteral("Удаление");
    Apply(document_.Delete(SelectedLines()));
}

void MainWindow::CablesBtnClick() {
    if (document_.Busy()) return;
    if (newForm_ == nullptr) return;
    std::string lastTable = settings_.lastCablesTbl.toUtf8().toStdString();
    zemrik::CableWindowContext context{cables_, OpenInstrument(), lastTable, document_.OpenFolder(),
                                       *prompt_};
    {
        CableTableWindow form(this, context, *newForm_, waitForm_);
        // The port follows the devices while the window shows, and the window follows the port.
        cableWindow_ = &form;
        connect(&form, &CableTableWindow::ExchangeFinished, this, &MainWindow::RunDeferredPortStep,
                Qt::QueuedConnection);
        form.exec();
        cableWindow_ = nullptr;
    }
    RunDeferredPortStep();
    settings_.lastCablesTbl = FromUtf8(lastTable);
    UpdateCommands();
}

void MainWindow::CancelExchange() {
    document_.Cancel();
    if (cableWindow_ != nullptr) cableWindow_->Document().Cancel();
}

void MainWindow::StopRequested() {
    // A stop signal inside an exchange would find the windows refusing to close: end the
    // exchange first, then close as the close box does once nothing runs.
    CancelExchange();
    CloseWhenIdle();
}

void MainWindow::CloseWhenIdle() {
    if (ExchangeRunning()) {
        QTimer::singleShot(IdleCheckMs, this, &MainWindow::CloseWhenIdle);
        return;
    }
    QApplication::closeAllWindows();
}

void MainWindow::HelpMenuAboutClick() {
    if (aboutDlg_ != nullptr && !document_.Busy()) aboutDlg_->exec();
}

void MainWindow::MeasMenuExitClick() { close(); }

void MainWindow::MeasMenuReportClick() {
    if (!document_.Busy()) ShowReportDialog(document_, SelectedLines(), this);
}

void MainWindow::MeasMenuExportClick() {
    if (!document_.Busy()) ExportCsvFromWindow(document_, SelectedLines(), this);
}

void MainWindow::LBClick() {
    if (document_.Busy() || document_.Count() == 0) return;
    const int r = LB->currentRow();
    if (r >= 0 && r < document_.Count()) ShowMeasurement(r);
}

void MainWindow::LBDblClick() {
    const int r = LB->currentRow();
    if (r < 0 || !document_.Rename(r)) return;
    LB->item(r)->setText(FromUtf8(document_.Line(r)));
    UpdateCommands();
}

void MainWindow::ItemsCBChange(int section) {
    const int r = LB->currentRow();
    if (document_.Busy() || r < 0 || r >= document_.Count() || section < 0) return;
    const zemrik::SectionTexts t = zemrik::SectionItemTexts(document_.Record(r), section, DecimalSeparator());
    CLbl->setText(FromUtf8(t.CLbl));
    RLbl->setText(FromUtf8(t.RLbl));
    dLbl->setText(FromUtf8(t.dLbl));
    MaterialLbl->setText(FromUtf8(t.MaterialLbl));
    LLbl->setText(FromUtf8(t.LLbl));
}

void MainWindow::ShowMeasurement(int r) {
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

void MainWindow::ClearMeasurement() {
    for (QLabel* label : {TypeLbl, RsLbl, dRLbl, CxabLbl, CxbcLbl, CxacLbl, KLbl, RiabLbl, RibcLbl, RiacLbl,
                          LxLbl, TLbl, CLbl, RLbl, dLbl, MaterialLbl, LLbl})
        label->clear();
    ItemsCB->clear();
}

void MainWindow::UpdateCommands() {
    const zemrik::CommandStates s = document_.Commands(OpenInstrument() != nullptr);
    MeasMenuOpen->setEnabled(s.open);
    MeasMenuSave->setEnabled(s.save);
    MeasMenuSaveAs->setEnabled(s.save);
    MeasMenuGet->setEnabled(s.get);
    MeasMenuPut->setEnabled(s.put);
    MeasMenuDel->setEnabled(s.del);
    MeasMenuExit->setEnabled(s.exit);
    MeasMenuReport->setEnabled(s.report);
    MeasMenuExport->setEnabled(s.report);
    CablesMenu->setEnabled(s.cables);
    CablesBtn->setEnabled(s.cables);
    MenuCom1->setEnabled(s.comPort);
    MenuCom2->setEnabled(s.comPort);
    for (QAction* item : MenuDevices) item->setEnabled(s.comPort);
    HelpMenuAbout->setEnabled(s.about);
    // The list and the panel take no input while an exchange works on the list.
    const bool idle = !document_.Busy();
    LB->setEnabled(idle);
    ItemsCB->setEnabled(idle);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!document_.CloseQuery()) {
        event->ignore();
        return;
    }
    QString error;
    if (!SaveSettings(settings_, error)) QMessageBox::critical(this, QStringLiteral("Zemrik"), error);
    document_.SetInstrument(nullptr);
    connection_.Close();
    event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
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

void MainWindow::Apply(const zemrik::CommandResult& result) {
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
    if (!result.status.empty()) statusBar()->showMessage(FromUtf8(result.status));
    UpdateCommands();
}

void MainWindow::RebuildList() {
    const QSignalBlocker quiet(LB);
    LB->clear();
    for (const std::string& line : document_.Lines()) LB->addItem(FromUtf8(line));
}

std::vector<int> MainWindow::SelectedLines() const {
    std::vector<int> lines;
    for (int i = 0; i < LB->count(); ++i)
        if (LB->item(i)->isSelected()) lines.push_back(i);
    return lines;
}

void MainWindow::ExchangeStarted() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Disabling the list takes the keyboard focus from it; it comes back once the exchange ends.
    listHadFocus_ = LB->hasFocus();
    readArrived_ = readShown_ = 0;
    if (waitForm_ != nullptr) waitForm_->Begin(waitCaption_);
    UpdateCommands();
}

void MainWindow::ReadingStarted(int total) {
    readTotal_ = total;
    if (waitForm_ != nullptr) waitForm_->SetProgress(0, total);
}

void MainWindow::RecordRead(int i, int /*total*/) {
    readArrived_ = i + 1;
    // Records come about ten a second; showing them a few times a second looks the same and
    // spares a repaint of the list and the wait box for each one.
    if (!listCatchUp_.isActive()) listCatchUp_.start();
}

void MainWindow::ShowRecordsRead() {
    {
        const QSignalBlocker quiet(LB);
        // The old lines stay until the first record is in: a Get that reads none keeps them.
        if (readShown_ == 0 && readArrived_ > 0) LB->clear();
        for (; readShown_ < readArrived_; ++readShown_) LB->addItem(FromUtf8(document_.Line(readShown_)));
    }
    if (waitForm_ != nullptr) waitForm_->SetProgress(readShown_, readTotal_);
}

void MainWindow::Progress(int done, int total) {
    if (waitForm_ != nullptr) waitForm_->SetProgress(done, total);
}

void MainWindow::ExchangeEnded() {
    if (deferredStep_)
        QMetaObject::invokeMethod(this, &MainWindow::RunDeferredPortStep, Qt::QueuedConnection);
    if (listCatchUp_.isActive()) {
        listCatchUp_.stop();
        ShowRecordsRead();
    }
    if (waitForm_ != nullptr) waitForm_->hide();
    QApplication::restoreOverrideCursor();
    UpdateCommands();
    if (listHadFocus_) LB->setFocus();
}
