#include "main_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTime>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "Files.h"
#include "about_box.h"
#include "device_tree.h"
#include "graph_page.h"
#include "help_viewer.h"
#include "koefs_window.h"
#include "link_page.h"
#include "message_box.h"
#include "pass_window.h"
#include "ports_window.h"
#include "programmer_page.h"
#include "pvi_window.h"
#include "regulator_page.h"
#include "rele_window.h"
#include "settings_window.h"
#include "start_window.h"
#include "th_search.h"
#include "trend_recorder.h"
#include "ui_fill_guard.h"
#include "ui_read_button.h"

namespace zorvat {
namespace {

constexpr int kPortCount = 10;
constexpr int kMinimumWidth = 800;
// What the window keeps between runs, in the settings file.
constexpr std::string_view kWindowSection = "Window";
constexpr std::string_view kRecordsSection = "Records";
// The tree's width: at least this, and at most this when it is made to fit
// its texts (the pages scroll rather than give more).
constexpr int kTreeMinimumWidth = 150;
constexpr int kTreeWidestFit = 320;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

int Level(const QTreeWidgetItem* item) {
    return TDeviceTree::Level(item);
}

int Value(const QTreeWidgetItem* item) {
    return TDeviceTree::Value(item);
}

std::uint8_t U8(int value) {
    return static_cast<std::uint8_t>(value);
}

}  // namespace

QString TMainWindow::BaseTitle() {
    return QStringLiteral("Настройка приборов ЗОРВАТ-7X (ver 1.00)");
}

TMainWindow::TMainWindow(MainWindowOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)) {
    setObjectName("MainWindow");
    recorder_ = std::make_unique<TTrendRecorder>();
    recorder_->SetReporter(
        [this](const std::string& message) { surfaces_.AddErrorLine(TimeText() + " " + message); });
    ReadRecordsSettings();
    model_ = std::make_unique<TModel>(surfaces_, MakeRecordingPortJobs(*recorder_));
    ops_ = std::make_unique<TOperations>(*model_);
    projectFile_ = ProgramFile(options_.programDir, "Default.prj");

    BuildMenus();

    tree_ = new TDeviceTree;

    pages_ = new QTabWidget;
    pages_->setObjectName("RzPageControl1");
    linkPage_ = new TLinkPage;
    regPage_ = new TRegulatorPage(*model_, *ops_, surfaces_);
    regPage_->setObjectName("Tabsets");
    progPage_ = new TProgrammerPage(*model_, *ops_, surfaces_);
    progPage_->setObjectName("TabProgr");
    graphPage_ = new TGraphPage(*model_);
    graphPage_->setObjectName("TabSheet6");
    graphPage_->SetRecordsFolder(Q(RecordsFolder()));
    // Pages that need more room than a window at its narrowest gives
    // scroll there instead of being squeezed.
    auto scrolled = [](QWidget* page, const char* name) {
        auto* scroll = new QScrollArea;
        scroll->setObjectName(name);
        scroll->setWidget(page);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        return scroll;
    };
    pages_->addTab(scrolled(linkPage_, "TabSheet1Scroll"), "Связь");
    pages_->addTab(scrolled(regPage_, "TabsetsScroll"), "Параметры");
    pages_->addTab(scrolled(progPage_, "TabProgrScroll"), "Программатор");
    pages_->addTab(graphPage_, "График");
    SetPagesEnabled(false);

    splitter_ = new QSplitter(Qt::Horizontal);
    splitter_->setObjectName("Splitter1");
    splitter_->addWidget(tree_);
    splitter_->addWidget(pages_);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setChildrenCollapsible(false);
    splitter_->setSizes({256, 780});

    auto* bottom = new QWidget;
    bottom->setObjectName("Panel2");
    auto* bottomLayout = new QVBoxLayout(bottom);
    bottomLayout->setContentsMargins(4, 2, 4, 2);
    bottomLayout->setSpacing(2);
    bottomLayout->addWidget(new QLabel("Окно ошибок обмена:"));
    errorLog_ = new QPlainTextEdit;
    errorLog_->setObjectName("ErrorLog");
    errorLog_->setReadOnly(true);
    errorLog_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    errorLog_->setMaximumBlockCount(5000);
    bottomLayout->addWidget(errorLog_);

    vertical_ = new QSplitter(Qt::Vertical);
    vertical_->setObjectName("Splitter2");
    vertical_->addWidget(splitter_);
    vertical_->addWidget(bottom);
    vertical_->setStretchFactor(0, 1);
    vertical_->setStretchFactor(1, 0);
    vertical_->setSizes({430, 110});
    setCentralWidget(vertical_);

    BuildStatusBar();
    surfaces_.Attach(*model_, {errorLog_, statusMsg_, progress_, projectMsg_, tree_, regPage_,
                               progPage_, graphPage_, this});
    ConnectSignals();
    SetTitle();

    setMinimumWidth(kMinimumWidth);
    QSize size(1036, 538 + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        // A small screen (800 x 600) takes the window whole.
        const QRect area = screen->availableGeometry();
        size = size.boundedTo(area.size());
        resize(size);
        move(area.center() - rect().center());
    } else {
        resize(size);
    }
    ClearDevices();
}

TMainWindow::~TMainWindow() {
    // Workers and jobs still running are stopped and waited for, none of
    // them left waiting for this thread meanwhile; nothing they report is
    // shown any more. The model goes first: it waits for the workers, which
    // use the operations.
    surfaces_.Close();
    model_.reset();
    ops_.reset();
    // What the jobs queued last is written and synced.
    recorder_.reset();
}

// ---------------------------------------------------------------------------
// Construction

void TMainWindow::BuildMenus() {
    // The underlined letters open the menus with Alt (Alt+Ф: "Файл").
    fileMenu_ = menuBar()->addMenu("&Файл");
    fileMenu_->setObjectName("File_Menu");
    auto add = [](QMenu* menu, const char* text, const char* name, QKeySequence key, auto slot) {
        QAction* action = menu->addAction(text, slot);
        action->setObjectName(name);
        action->setShortcut(key);
        return action;
    };
    add(fileMenu_, "&Новый", "NewItem", QKeySequence::New, [this] { NewProject(); });
    add(fileMenu_, "&Открыть", "OpenItem", QKeySequence::Open, [this] { OpenProject(); });
    add(fileMenu_, "Сохранить &как...", "SaveAsItem", QKeySequence::SaveAs,
        [this] { SaveProjectAs(); });
    add(fileMenu_, "&Сохранить", "SaveItem", QKeySequence::Save, [this] { SaveProject(); });
    fileMenu_->addSeparator();
    add(fileMenu_, "&Порты...", "PortsItem", {}, [this] {
        TPortsWindow ports(options_.programDir, this);
        ports.exec();
    });
    fileMenu_->addSeparator();
    add(fileMenu_, "В&ыход", "ExitItem", {}, [this] { close(); });

    BuildRecordsMenu();

    settingsMenu_ = menuBar()->addMenu("&Параметры");
    settingsMenu_->setObjectName("Settings_Menu");
    add(settingsMenu_, "&Параметры выбранного прибора", "ElMenuItem2", {},
        [this] { OpenSettingsDialog(); });
    settingsMenuAction_ = settingsMenu_->menuAction();
    settingsMenuAction_->setVisible(false);

    QMenu* help = menuBar()->addMenu("По&мощь");
    help->setObjectName("Help_Menu");
    add(help, "&О программе", "AboutItem", {}, [this] { ShowAbout(); });
    add(help, "&Помощь", "HelpItem", QKeySequence::HelpContents, [this] { ShowHelp(); });
}

void TMainWindow::BuildRecordsMenu() {
    QMenu* records = menuBar()->addMenu("&Запись");
    records->setObjectName("Records_Menu");
    recordingAction_ =
        records->addAction("&Записывать опрос", this, [this](bool on) { SetRecording(on); });
    recordingAction_->setObjectName("RecordingItem");
    recordingAction_->setCheckable(true);
    recordingAction_->setChecked(recorder_->Enabled());
    QAction* open =
        records->addAction("&Открыть папку записей", this, [this] { OpenRecordsFolder(); });
    open->setObjectName("OpenRecordsItem");
    QAction* choose =
        records->addAction("&Выбрать папку записей...", this, [this] { ChooseRecordsFolder(); });
    choose->setObjectName("ChooseRecordsItem");
}

std::string TMainWindow::RecordsFolder() const {
    if (!recordsFolder_.empty()) return recordsFolder_;
    if (!options_.recordsFolder.empty()) return options_.recordsFolder;
    return ProgramFile(options_.programDir, "records");
}

void TMainWindow::ReadRecordsSettings() {
    bool on = true;
    for (const auto& [key, value] : ReadSettingsSection(options_.programDir, kRecordsSection)) {
        if (key == "On") on = value != "0";
        if (key == "Folder") recordsFolder_ = value;
    }
    recorder_->SetFolder(RecordsFolder());
    recorder_->SetEnabled(on);
}

void TMainWindow::SaveRecordsSettings() {
    WriteSettingsSection(options_.programDir, kRecordsSection,
                         {{"On", recorder_->Enabled() ? "1" : "0"}, {"Folder", recordsFolder_}});
}

void TMainWindow::SetRecording(bool on) {
    recorder_->SetEnabled(on);
    if (recordingAction_ != nullptr && recordingAction_->isChecked() != on) {
        recordingAction_->setChecked(on);
    }
    SaveRecordsSettings();
}

void TMainWindow::SetRecordsFolder(const std::string& folder) {
    // The default folder chosen again is the default again.
    recordsFolder_.clear();
    if (folder != RecordsFolder()) recordsFolder_ = folder;
    recorder_->SetFolder(RecordsFolder());
    if (graphPage_ != nullptr) graphPage_->SetRecordsFolder(Q(RecordsFolder()));
    SaveRecordsSettings();
}

void TMainWindow::OpenRecordsFolder() {
    const QString folder = Q(RecordsFolder());
    QDir().mkpath(folder);
    ShowFolder(folder);
}

void TMainWindow::ChooseRecordsFolder() {
    const QString chosen = ChooseFile({.parent = this,
                                       .choice = FileChoice::Folder,
                                       .caption = "Папка записей опроса",
                                       .folder = Q(RecordsFolder())});
    if (chosen.isEmpty()) return;
    SetRecordsFolder(QDir::toNativeSeparators(chosen).toStdString());
}

void TMainWindow::SetFileMenuEnabled(bool enabled) {
    // Its commands' keys (Ctrl+N, Ctrl+O, Ctrl+S) go with it.
    fileMenu_->menuAction()->setEnabled(enabled);
    for (QAction* action : fileMenu_->actions())
        action->setEnabled(enabled);
}

void TMainWindow::BuildStatusBar() {
    clock_ = new QLabel(QTime::currentTime().toString("hh:mm:ss"));
    clock_->setObjectName("Clock");
    clock_->setMinimumWidth(70);
    clock_->setAlignment(Qt::AlignCenter);
    progress_ = new QProgressBar;
    progress_->setObjectName("MainProgressBar");
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setMaximumWidth(200);
    progress_->setTextVisible(false);
    statusMsg_ = new QLabel;
    statusMsg_->setObjectName("Status_Msg");
    statusMsg_->setMinimumWidth(260);
    projectMsg_ = new QLabel(kProjectUnchanged);
    projectMsg_->setObjectName("Project_msg");
    statusBar()->addWidget(clock_);
    statusBar()->addWidget(progress_);
    statusBar()->addWidget(statusMsg_, 1);
    statusBar()->addPermanentWidget(projectMsg_);

    clockTimer_ = new QTimer(this);
    connect(clockTimer_, &QTimer::timeout, this,
            [this] { clock_->setText(QTime::currentTime().toString("hh:mm:ss")); });
    clockTimer_->start(1000);
}

void TMainWindow::ConnectSignals() {
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this] {
        if (!tree_->Filling()) ShowSelection();
    });
    connect(tree_, &QTreeWidget::itemChanged, this, &TMainWindow::TreeItemChanged);
    tree_->viewport()->installEventFilter(this);
    connect(pages_, &QTabWidget::currentChanged, this, [this](int page) {
        if (!showingPage_) PageChangedByOperator(page);
    });
    connect(linkPage_->SearchButton(), &QPushButton::clicked, this, &TMainWindow::SearchClicked);
    connect(linkPage_->ReadOneButton(), &QPushButton::clicked, this,
            [this](bool down) { ReadClicked(linkPage_->ReadOneButton(), down); });
    connect(linkPage_->ReadAllButton(), &QPushButton::clicked, this,
            [this](bool down) { ReadClicked(linkPage_->ReadAllButton(), down); });
    QAbstractButton* pageRead = regPage_->ReadButton();
    connect(pageRead, &QAbstractButton::clicked, this,
            [this, pageRead](bool down) { ReadClicked(pageRead, down); });
    connect(linkPage_->CheckLinkButton(), &QPushButton::clicked, this,
            &TMainWindow::CheckLinkClicked);
    connect(regPage_, &TRegulatorPage::regulatorChosen, this, &TMainWindow::RegulatorButton);
    connect(progPage_, &TProgrammerPage::regulatorChosen, this, &TMainWindow::RegulatorButton);
    connect(graphPage_, &TGraphPage::autoUpdateChanged, this,
            [this](bool on) { surfaces_.SetAutoUpdate(on); });
    surfaces_.SetAutoUpdate(graphPage_->AutoUpdate());
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event) {
    // A click into the tree while nothing is selected selects the first port.
    if (watched == tree_->viewport() && event->type() == QEvent::MouseButtonPress &&
        tree_->currentItem() == nullptr && tree_->topLevelItemCount() > 0) {
        tree_->setCurrentItem(tree_->topLevelItem(0));
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Start and the project commands

void TMainWindow::Start() {
    const StartProject start = OpenStartProject(*model_, options_.programDir);
    projectFile_ = start.projectFile;
    SetTitle();
    BuildDeviceTree();
    surfaces_.SetProjectChanged(false);
    graphPage_->AutoScaleGraph();
    RestoreWindowState();
    if (options_.showStartWindow) {
        int width = 0;
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            width = screen->geometry().width();
        TStartW::ShowFor(this, width, 4000);
    }
}

void TMainWindow::SetTitle() {
    setWindowTitle(BaseTitle() + Q(ProjectTitlePart(projectFile_)) + Q(options_.titleTail));
}

void TMainWindow::RestoreWindowState() {
    for (const auto& [key, value] : ReadSettingsSection(options_.programDir, kWindowSection)) {
        const QByteArray state = QByteArray::fromBase64(QByteArray::fromStdString(value));
        if (key == "Geometry") restoreGeometry(state);
        if (key == "Splitter") splitter_->restoreState(state);
        if (key == "Vertical") vertical_->restoreState(state);
        if (key == "TreeColumns") tree_->header()->restoreState(state);
    }
}

void TMainWindow::SaveWindowState() {
    auto text = [](const QByteArray& state) { return state.toBase64().toStdString(); };
    WriteSettingsSection(options_.programDir, kWindowSection,
                         {{"Geometry", text(saveGeometry())},
                          {"Splitter", text(splitter_->saveState())},
                          {"Vertical", text(vertical_->saveState())},
                          {"TreeColumns", text(tree_->header()->saveState())}});
}

void TMainWindow::FitTreeWidth() {
    // The first column takes the width its texts need, as far as the pages
    // leave room: the tree is never made narrower than that, by the
    // splitter or by the window; the operator can still drag it wider.
    const int needed = std::min(tree_->WholeWidth(), kTreeWidestFit);
    tree_->setMinimumWidth(std::max(needed, kTreeMinimumWidth));
    const QList<int> sizes = splitter_->sizes();
    if (sizes.size() != 2 || sizes[0] >= needed) return;
    const int total = sizes[0] + sizes[1];
    splitter_->setSizes({needed, total - needed});
}

void TMainWindow::NewProject() {
    if (projectMsg_->text() == kProjectChanged) {
        const auto answer =
            ShowMessage({this,
                         MessageKind::Warning,
                         {},
                         "         Текущий проект был изменён.\nХотите открыть новый проект с "
                         "потерей всех данных?",
                         QMessageBox::Yes | QMessageBox::No,
                         QMessageBox::No});
        if (answer != QMessageBox::Yes) return;
    }
    projectFile_ = ProgramFile(options_.programDir, "New.prj");
    SetTitle();
    WriteSettingsFile(options_.programDir, projectFile_);
    tree_->Clear();
    ClearDevices();
}

void TMainWindow::OpenProject() {
    const QString chosen = ChooseFile({this, FileChoice::Open, "Открыть проект",
                                       Q(options_.programDir), "Файлы проектов (*.prj)"});
    if (chosen.isEmpty()) return;
    LoadedProject loaded;
    surfaces_.WaitForWorkers([&] { loaded = LoadProject(*model_, chosen.toStdString()); });
    if (loaded.loaded) {
        // The pages showed instruments that are gone.
        ClearPages();
        projectFile_ = chosen.toStdString();
        BuildDeviceTree();
        if (!loaded.reason.empty()) Inform(this, Q(loaded.reason), MessageKind::Warning);
    } else {
        Inform(this, "Не удалось прочитать файл проекта:\n" + chosen + "\n" + Q(loaded.reason),
               MessageKind::Warning);
    }
    WriteSettingsFile(options_.programDir, projectFile_);
    SetTitle();
    surfaces_.SetProjectChanged(false);
}

void TMainWindow::SaveProjectAs() {
    QString chosen = ChooseFile({this, FileChoice::Save, "Сохранить проект как",
                                 Q(options_.programDir), "Файлы проектов (*.prj)"});
    if (chosen.isEmpty()) return;
    if (QFileInfo(chosen).suffix().isEmpty()) chosen += ".prj";
    std::string reason;
    if (!::zorvat::SaveProject(*model_, chosen.toStdString(), &reason)) {
        Inform(this, "Нет доступа к файлу.\n" + Q(reason), MessageKind::Error);
        return;
    }
    projectFile_ = chosen.toStdString();
    WriteSettingsFile(options_.programDir, projectFile_);
    SetTitle();
    surfaces_.SetProjectChanged(false);
}

void TMainWindow::SaveProject() {
    std::string reason;
    if (::zorvat::SaveProject(*model_, projectFile_, &reason)) {
        surfaces_.SetProjectChanged(false);
    } else {
        Inform(this, "Нет доступа к файлу.\n" + Q(reason), MessageKind::Error);
    }
}

void TMainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The smallest window is 800 pixels wide with its frame, so that it fits
    // a screen of 800 x 600; the frame is known once the window is shown.
    const int frame = frameGeometry().width() - width();
    if (frame > 0 && frame < kMinimumWidth) {
        setMinimumWidth(kMinimumWidth - frame);
        if (const QScreen* s = screen();
            s != nullptr && frameGeometry().width() > s->availableGeometry().width())
            resize(s->availableGeometry().width() - frame, height());
    }
}

void TMainWindow::closeEvent(QCloseEvent* event) {
    if (exitConfirmed_) {
        event->accept();
        return;
    }
    const auto answer = ShowMessage({this,
                                     MessageKind::Warning,
                                     {},
                                     "Вы действительно хотите закрыть программу?",
                                     QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No});
    if (answer != QMessageBox::Yes) {
        event->ignore();
        return;
    }
    // The project holds the operator's programs: a save that failed is said,
    // and the operator decides whether to leave without it.
    std::string reason;
    if (!::zorvat::SaveProject(*model_, projectFile_, &reason)) {
        const auto leave =
            ShowMessage({this,
                         MessageKind::Error,
                         {},
                         "Нет доступа к файлу.\n" + Q(projectFile_) + "\n" + Q(reason) +
                             "\n\nПроект не сохранён. Закрыть программу без сохранения?",
                         QMessageBox::Yes | QMessageBox::No,
                         QMessageBox::No});
        if (leave != QMessageBox::Yes) {
            event->ignore();
            return;
        }
    }
    WriteSettingsFile(options_.programDir, projectFile_);
    SaveWindowState();
    hide();
    ClearDevices();
    exitConfirmed_ = true;
    event->accept();
}

// ---------------------------------------------------------------------------
// The tree

void TMainWindow::BuildDeviceTree() {
    tree_->Build(*model_);
    if (model_->DeviceList.Empty()) {
        linkPage_->ReadAllButton()->setEnabled(false);
        return;
    }
    if (tree_->topLevelItemCount() > 0) {
        const QSignalBlocker quiet(tree_);
        tree_->setCurrentItem(tree_->topLevelItem(0));
    }
    FitTreeWidth();
    SetSettingsMenuVisible(false);
    linkPage_->SetMemo({"Информация о приборах загружена.", "Дерево приборов сформировано.",
                        "Прочитайте параметры из приборов.", "Сделайте выбор в дереве."});
    surfaces_.SetSelected(std::nullopt);

    linkPage_->ReadAllButton()->setEnabled(true);
    linkPage_->ShowNoInstrumentsPanel(false);
    ShowPage(0);
    linkPage_->ReadOneButton()->setEnabled(false);
    linkPage_->CheckLinkButton()->setEnabled(false);
    SetPagesEnabled(false);
}

void TMainWindow::ShowSelection() {
    if (model_->DeviceList.Empty()) {
        ClearDevices();
        return;
    }
    QTreeWidgetItem* item = tree_->currentItem();
    if (item == nullptr) return;
    const int level = Level(item);
    linkPage_->ShowLineStats(level == 0 ? TDeviceTree::PortName(item) : QString());
    if (level == 0) {
        surfaces_.SetSelected(std::nullopt);
        linkPage_->SetMemo({item->childCount() > 0 ? "На этом порте есть приборы."
                                                   : "На этом порте нет приборов."});
        linkPage_->ShowNoInstrumentsPanel(false);
        ShowPage(0);
        linkPage_->ReadOneButton()->setEnabled(false);
        linkPage_->CheckLinkButton()->setEnabled(false);
        SetPagesEnabled(false);
        SetSettingsMenuVisible(false);
        return;
    }
    const auto d = U8(level == 1 ? Value(item) : Value(item->parent()));
    const TDevice* device = model_->Device(d);
    if (device == nullptr || !device->Present) {
        surfaces_.SetSelected(std::nullopt);
        linkPage_->SetMemo({"Прибор не найден."});
        ShowPage(0);
        SetPagesEnabled(false);
        SetSettingsMenuVisible(false);
        return;
    }
    auto enablePages = [this] {
        pages_->setTabEnabled(1, options_.startSwitch != 'd');
        regPage_->setEnabled(options_.startSwitch != 'd');
        pages_->setTabEnabled(2, true);
        progPage_->setEnabled(true);
        pages_->setTabEnabled(3, true);
        graphPage_->setEnabled(true);
        SetSettingsMenuVisible(options_.startSwitch == kServiceSwitch);
    };
    if (level == 1) {
        surfaces_.SetSelected(std::nullopt);
        linkPage_->SetMemo({Q("Найден прибор " + device->Name), Q("Порт: " + device->ParentPort),
                            Q("Адрес: " + device->Address),
                            QString("Скорость: %1").arg(device->Baudrate),
                            QString("Версия ПО: %1").arg(device->POversion)});
        if (!pageChangeMark_) ShowPage(0);
        linkPage_->ShowNoInstrumentsPanel(false);
        linkPage_->ReadOneButton()->setEnabled(true);
        linkPage_->CheckLinkButton()->setEnabled(true);
        enablePages();
        return;
    }

    const int number = Value(item);
    const RegulatorRef ref{d, U8(number)};
    surfaces_.SetSelected(ref);
    enablePages();
    graphPage_->ShowRegulator(ref);
    const TParams* second = model_->Regulator(d, 2);
    const bool two = second != nullptr && second->Present;
    regPage_->SetRegulator2Visible(two);
    progPage_->SetRegulator2Visible(two);
    const int page = pages_->currentIndex();
    if (page == 0 && !pageChangeMark_) ShowPage(1);
    RegulatorButton(number);
}

void TMainWindow::RegulatorButton(int number) {
    QTreeWidgetItem* item = tree_->currentItem();
    if (item == nullptr || Level(item) == 0) return;
    const auto d = tree_->SelectedDevice();
    if (!d) return;
    const int level = Level(item);
    if (level == 1 || Value(item) != number) {
        QTreeWidgetItem* device = level == 1 ? item : item->parent();
        if (number < 1 || number > device->childCount()) return;
        // The selection rules run for the regulator's node and show it.
        tree_->setCurrentItem(device->child(number - 1));
        return;
    }
    const RegulatorRef ref{*d, U8(number)};
    if (!Exists(ref)) return;
    regPage_->ShowRegulator(ref);
    progPage_->ShowRegulator(ref);
}

void TMainWindow::PageChangedByOperator(int page) {
    if (model_->DeviceList.Empty()) return;
    if (tree_->currentItem() == nullptr && tree_->topLevelItemCount() > 0)
        tree_->setCurrentItem(tree_->topLevelItem(0));
    QTreeWidgetItem* item = tree_->currentItem();
    if (item == nullptr) return;
    const int level = Level(item);
    if (level == 1 && page != 0 && item->childCount() > 0) {
        pageChangeMark_ = true;
        tree_->setCurrentItem(item->child(0));
    } else if (level == 2 && page == 0) {
        tree_->setCurrentItem(item->parent());
    } else if (level == 2) {
        // Another page of the same regulator: the page shows it.
        RegulatorButton(Value(item));
    }
    if (tree_->currentItem() != nullptr) tree_->scrollToItem(tree_->currentItem());
    pageChangeMark_ = false;
}

void TMainWindow::TreeItemChanged(QTreeWidgetItem* item, int column) {
    if (tree_->Filling() || column != 0 || Level(item) != 2) return;
    const RegulatorRef ref{U8(Value(item->parent())), U8(Value(item))};
    const bool on = item->checkState(0) == Qt::Checked;
    if (tree_->currentItem() != item) tree_->setCurrentItem(item);
    regPage_->SwitchFromTree(ref, on);
}

void TMainWindow::ClearPages() {
    graphPage_->Clear();
    regPage_->Clear();
    progPage_->Clear();
    surfaces_.SetSelected(std::nullopt);
}

void TMainWindow::ClearDevices() {
    ClearPages();
    surfaces_.WaitForWorkers([this] { model_->ClearDevices(); });
    linkPage_->ClearMemo();
    linkPage_->ShowNoInstrumentsPanel(true);
    linkPage_->ShowLineStats({});
    ShowPage(0);
    SetPagesEnabled(false);
    linkPage_->ReadAllButton()->setEnabled(false);
    SetSettingsMenuVisible(false);
}

// ---------------------------------------------------------------------------
// Window state helpers

void TMainWindow::ShowPage(int page) {
    FillGuard guard(showingPage_);
    pages_->setCurrentIndex(page);
}

void TMainWindow::SetPagesEnabled(bool enabled) {
    for (int page = 1; page <= 3; ++page) {
        pages_->setTabEnabled(page, enabled);
        pages_->widget(page)->setEnabled(enabled);
    }
}

void TMainWindow::SetSettingsMenuVisible(bool visible) {
    settingsMenuAction_->setVisible(visible);
}

bool TMainWindow::Exists(RegulatorRef regulator) const {
    const TParams* reg = model_->Regulator(regulator.device, regulator.regulator);
    return reg != nullptr && reg->Present;
}

QAbstractButton* TMainWindow::ReadButtonOf(Operation op) const {
    switch (op) {
        case Operation::ReadOne:
            return linkPage_->ReadOneButton();
        case Operation::ReadAll:
            return linkPage_->ReadAllButton();
        case Operation::ReadRegulator:
            return regPage_->ReadButton();
        default:
            return nullptr;
    }
}

bool TMainWindow::OtherOperationRuns(Operation op) const {
    const bool read =
        op == Operation::ReadOne || op == Operation::ReadAll || op == Operation::ReadRegulator;
    return (op != Operation::Search && model_->SearchThread) || (!read && model_->ReadThread) ||
           (op != Operation::Write && model_->WriteThread);
}

void TMainWindow::SetReadForm(Operation op, bool running) {
    // The page "Параметры" shows its own button's form.
    if (op == Operation::ReadOne) ShowReadForm(linkPage_->ReadOneButton(), running);
    if (op == Operation::ReadAll) ShowReadForm(linkPage_->ReadAllButton(), running, ReadScope::All);
    // A read that ends while a search has begun leaves the search's state alone.
    if (running || !OtherOperationRuns(op)) {
        SetReadButtonsEnabled(!running, ReadButtonOf(op));
        SetFileMenuEnabled(!running);
    }
}

void TMainWindow::SetSearchForm(bool running) {
    linkPage_->SetSearchForm(running);
    tree_->setEnabled(!running);
    SetFileMenuEnabled(!running && !OtherOperationRuns(Operation::Search));
}

void TMainWindow::SetReadButtonsEnabled(bool enabled, QAbstractButton* except) {
    for (QAbstractButton* b :
         {static_cast<QAbstractButton*>(linkPage_->ReadOneButton()),
          static_cast<QAbstractButton*>(linkPage_->ReadAllButton()), regPage_->ReadButton()}) {
        if (b != except) b->setEnabled(enabled);
    }
}

// ---------------------------------------------------------------------------
// Buttons of the page "Связь" and the menus

void TMainWindow::SearchClicked() {
    if (linkPage_->SearchFormRunning()) {
        ops_->Stop();
        return;
    }
    if (model_->SearchThread) return;
    regPage_->SetRefreshEnabled(false);
    model_->StopFlag = false;
    ClearDevices();
    tree_->Clear();
    const SearchRange range = linkPage_->Range();
    surfaces_.WaitForWorkers([&] { ops_->StartSearch(range); });
}

void TMainWindow::ReadClicked(QAbstractButton* button, bool down) {
    SetFileMenuEnabled(false);
    if (down) {
        std::optional<std::uint8_t> device;
        Operation op = Operation::ReadAll;
        if (button == linkPage_->ReadOneButton()) {
            op = Operation::ReadOne;
            device = tree_->SelectedDevice();
        } else if (button != linkPage_->ReadAllButton()) {
            op = Operation::ReadRegulator;
            device = tree_->SelectedDevice();
        } else {
            device = 0;
        }
        if (model_->ReadThread || !device) {
            const QSignalBlocker block(button);
            button->setChecked(false);
            if (!model_->ReadThread) SetFileMenuEnabled(true);
            return;
        }
        model_->StopFlag = false;
        if (!ops_->StartRead(op, *device)) {
            const QSignalBlocker block(button);
            button->setChecked(false);
        }
        return;
    }
    model_->StopFlag = true;
    if (model_->ReadThread) {
        const QSignalBlocker block(button);
        button->setChecked(true);
    }
}

void TMainWindow::CheckLinkClicked() {
    const auto d = tree_->SelectedDevice();
    if (!d) return;
    linkPage_->CheckLinkButton()->setEnabled(false);
    ops_->StartCheckLink(*d);
}

void TMainWindow::OpenSettingsDialog() {
    const auto d = tree_->SelectedDevice();
    if (!d) return;
    const TDevice* device = model_->Device(*d);
    if (device == nullptr || !device->Present) return;
    if (settingsWindow_ == nullptr) {
        settingsWindow_ = new TSettingsWindow(*model_, this);
        settingsWindow_->openSubDialog = [this](const TSettingsWindow::SubDialogRequest& r) {
            OpenSubDialog(r);
        };
    }
    settingsWindow_->OpenForDevice(*d);
}

void TMainWindow::OpenSubDialog(const TSettingsWindow::SubDialogRequest& request) {
    // Each dialog is made once and lives as long as the window.
    QWidget* owner = settingsWindow_ != nullptr ? static_cast<QWidget*>(settingsWindow_) : this;
    switch (request.which) {
        case TSettingsWindow::SubDialog::Koefs:
            if (koefsWindow_ == nullptr) koefsWindow_ = new TKoefsWindow(*model_, owner);
            koefsWindow_->OpenForDevice(request.device);
            break;
        case TSettingsWindow::SubDialog::Relays:
            if (releWindow_ == nullptr) releWindow_ = new TFormRELE(*model_, owner);
            releWindow_->OpenForDevice(request.device, request.channelMask, request.relayMask);
            break;
        case TSettingsWindow::SubDialog::Passwords:
            if (passWindow_ == nullptr) passWindow_ = new TPassWindow(*model_, owner);
            passWindow_->OpenForDevice(request.device);
            break;
        case TSettingsWindow::SubDialog::AnalogOutput:
            if (pviWindow_ == nullptr) pviWindow_ = new TPVIWindow(*model_, owner);
            pviWindow_->OpenForDevice(request.device, request.output);
            break;
    }
}

void TMainWindow::ShowAbout() {
    if (aboutBox_ == nullptr) aboutBox_ = new TForm1(this);
    aboutBox_->exec();
}

void TMainWindow::ShowHelp() {
    OpenHelp(this, Q(options_.programDir));
}

// ---------------------------------------------------------------------------
// The window's share of the reports, on its own thread

QString TMainWindow::AccessDeniedText(const QString& port, const QString& user) {
    return "Нет прав на открытие порта " + port +
           ".\n\nПоследовательные порты доступны участникам группы dialout. Добавьте "
           "учётную запись в эту группу командой\n\n    sudo usermod -aG dialout " +
           (user.isEmpty() ? QStringLiteral("$USER") : user) + "\n\nи войдите в систему заново.";
}

void TMainWindow::PortAccessDenied(const std::string& port, const std::string& /*detail*/) {
    if (accessDeniedShown_) return;
    accessDeniedShown_ = true;
    // Shown once the reports queue has been drained, not inside it.
    const QString text = AccessDeniedText(Q(port), qEnvironmentVariable("USER"));
    QTimer::singleShot(0, this, [this, text] { Inform(this, text, MessageKind::Warning); });
}

void TMainWindow::FoundMemo(const std::vector<std::string>& lines) {
    foundMemo_ = lines;
    linkPage_->SetMemoLines(lines);
}

void TMainWindow::OperationStarted(Operation op) {
    switch (op) {
        case Operation::Search:
            SetSearchForm(true);
            foundMemo_.clear();
            break;
        case Operation::ReadOne:
        case Operation::ReadAll:
        case Operation::ReadRegulator:
            SetReadForm(op, true);
            break;
        case Operation::Write:
            SetFileMenuEnabled(false);
            SetReadButtonsEnabled(false);
            break;
        case Operation::CheckLink:
            linkPage_->CheckLinkButton()->setEnabled(false);
            break;
        case Operation::Switch:
        case Operation::Autotune:
        case Operation::Program:
            break;
    }
}

void TMainWindow::OperationFinished(Operation op, Outcome /*outcome*/) {
    switch (op) {
        case Operation::Search: {
            const std::vector<std::string> memo = foundMemo_;
            if (!model_->DeviceList.Empty()) {
                if (tree_->topLevelItemCount() > 0) tree_->setCurrentItem(tree_->topLevelItem(0));
                linkPage_->SetMemoLines(memo);
                FitTreeWidth();
                linkPage_->ShowNoInstrumentsPanel(false);
                linkPage_->ReadOneButton()->setEnabled(false);
                linkPage_->ReadAllButton()->setEnabled(true);
                linkPage_->CheckLinkButton()->setEnabled(false);
                ShowPage(0);
                SetPagesEnabled(false);
            } else {
                linkPage_->ReadAllButton()->setEnabled(false);
            }
            SetSearchForm(false);
            progress_->setValue(0);
            regPage_->SetRefreshEnabled(true);
            break;
        }
        case Operation::ReadOne:
        case Operation::ReadAll:
        case Operation::ReadRegulator:
            SetReadForm(op, false);
            break;
        case Operation::Write:
            if (!OtherOperationRuns(op)) {
                SetReadButtonsEnabled(true);
                SetFileMenuEnabled(true);
            }
            break;
        case Operation::CheckLink:
            linkPage_->CheckLinkButton()->setEnabled(true);
            break;
        case Operation::Switch:
        case Operation::Autotune:
        case Operation::Program:
            break;
    }
}

}  // namespace zorvat
