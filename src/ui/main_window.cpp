#include "main_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
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
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <QTime>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <condition_variable>

#include "Files.h"
#include "about_box.h"
#include "graph_page.h"
#include "help_viewer.h"
#include "koefs_window.h"
#include "message_box.h"
#include "pass_window.h"
#include "programmer_page.h"
#include "pvi_window.h"
#include "regulator_page.h"
#include "rele_window.h"
#include "settings_window.h"
#include "start_window.h"

namespace zorvat {
namespace {

constexpr int kValueRole = Qt::UserRole;     // node value: 0, device index, regulator number
constexpr int kPortRole = Qt::UserRole + 1;  // port name of port and instrument nodes
constexpr int kPortCount = 10;

const char* const kSearchCaption = "Найти приборы";
const char* const kStopSearchCaption = "Остановить поиск";
const char* const kReadOneCaption = "Прочитать параметры из прибора";
const char* const kReadAllCaption = "Прочитать параметры всех приборов";
const char* const kStopReadCaption = "Остановить чтение";
const char* const kNoChanges = "Нет изменений";
const char* const kChanged = "Проект изменён";

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

int Level(const QTreeWidgetItem* item) {
    int level = 0;
    for (const QTreeWidgetItem* p = item->parent(); p != nullptr; p = p->parent())
        ++level;
    return level;
}

int Value(const QTreeWidgetItem* item) {
    return item->data(0, kValueRole).toInt();
}

std::uint8_t U8(int value) {
    return static_cast<std::uint8_t>(value);
}

}  // namespace

struct TMainWindow::UiTask {
    const std::function<void()>* fn = nullptr;
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;
};

QString TMainWindow::BaseTitle() {
    return QStringLiteral("Настройка приборов ЗОРВАТ-7X (ver 1.00)");
}

TMainWindow::TMainWindow(MainWindowOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)) {
    setObjectName("MainWindow");
    model_ = std::make_unique<TModel>(*this);
    ops_ = std::make_unique<TOperations>(*model_);
    projectFile_ = ProgramFile(options_.programDir, "Default.prj");

    BuildMenus();

    tree_ = new QTreeWidget;
    tree_->setObjectName("Tree");
    tree_->setColumnCount(2);
    tree_->setHeaderLabels({"Найденные приборы", "Измерение"});
    tree_->setIndentation(14);
    tree_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    tree_->header()->setSectionResizeMode(1, QHeaderView::Interactive);
    tree_->header()->setStretchLastSection(false);
    tree_->header()->resizeSection(1, 74);
    tree_->setMinimumWidth(150);

    pages_ = new QTabWidget;
    pages_->setObjectName("RzPageControl1");
    QWidget* linkPage = BuildLinkPage();
    regPage_ = new TRegulatorPage(*model_, *ops_, *this);
    regPage_->setObjectName("Tabsets");
    progPage_ = new TProgrammerPage(*model_, *ops_, *this);
    progPage_->setObjectName("TabProgr");
    graphPage_ = new TGraphPage(*model_);
    graphPage_->setObjectName("TabSheet6");
    pages_->addTab(linkPage, "Связь");
    // The regulator page needs more room than a window at its narrowest
    // gives: it scrolls sideways there instead of being squeezed.
    auto* regScroll = new QScrollArea;
    regScroll->setObjectName("TabsetsScroll");
    regScroll->setWidget(regPage_);
    regScroll->setWidgetResizable(true);
    regScroll->setFrameShape(QFrame::NoFrame);
    pages_->addTab(regScroll, "Параметры");
    pages_->addTab(progPage_, "Программатор");
    pages_->addTab(graphPage_, "График");
    SetPagesEnabled(false);

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->setObjectName("Splitter1");
    splitter->addWidget(tree_);
    splitter->addWidget(pages_);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({256, 780});

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

    auto* vertical = new QSplitter(Qt::Vertical);
    vertical->addWidget(splitter);
    vertical->addWidget(bottom);
    vertical->setStretchFactor(0, 1);
    vertical->setStretchFactor(1, 0);
    vertical->setSizes({430, 110});
    setCentralWidget(vertical);

    BuildStatusBar();
    ConnectSignals();
    SetTitle();

    setMinimumWidth(800);
    resize(1036, 538 + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    ClearDevices();
}

TMainWindow::~TMainWindow() {
    closing_ = true;
    queue_.Close();
    // Workers and jobs still running are stopped and waited for; none of
    // them may be left waiting for this thread meanwhile.
    // The model goes first: it waits for the workers, which use the handlers.
    WaitForWorkers([this] {
        model_->StopFlag = true;
        model_.reset();
        ops_.reset();
    });
}

// ---------------------------------------------------------------------------
// Construction

void TMainWindow::BuildMenus() {
    fileMenu_ = menuBar()->addMenu("Файл");
    fileMenu_->setObjectName("File_Menu");
    fileMenu_->addAction("Новый", this, &TMainWindow::NewProject)->setObjectName("NewItem");
    fileMenu_->addAction("Открыть", this, &TMainWindow::OpenProject)->setObjectName("OpenItem");
    fileMenu_->addAction("Сохранить как...", this, &TMainWindow::SaveProjectAs)
        ->setObjectName("SaveAsItem");
    fileMenu_->addAction("Сохранить", this, &TMainWindow::SaveProject)->setObjectName("SaveItem");
    fileMenu_->addSeparator();
    fileMenu_->addAction("Выход", this, &QWidget::close)->setObjectName("ExitItem");

    settingsMenu_ = menuBar()->addMenu("Параметры");
    settingsMenu_->setObjectName("Settings_Menu");
    settingsMenu_->addAction("Параметры выбранного прибора", this, &TMainWindow::OpenSettingsDialog)
        ->setObjectName("ElMenuItem2");
    settingsMenuAction_ = settingsMenu_->menuAction();
    settingsMenuAction_->setVisible(false);

    QMenu* help = menuBar()->addMenu("Помощь");
    help->setObjectName("Help_Menu");
    help->addAction("О программе", this, &TMainWindow::ShowAbout)->setObjectName("AboutItem");
    help->addAction("Помощь", this, &TMainWindow::ShowHelp)->setObjectName("HelpItem");
}

QWidget* TMainWindow::BuildLinkPage() {
    auto* page = new QWidget;
    page->setObjectName("TabSheet1");
    auto* layout = new QHBoxLayout(page);

    auto* search = new QGroupBox("Поиск приборов ZURURU-71");
    search->setObjectName("ElGroupBox1");
    auto* grid = new QGridLayout(search);
    auto* heading = new QLabel("<b>Диапазон поиска</b>");
    grid->addWidget(heading, 0, 0, 1, 4);

    QStringList ports;
    for (int n = 1; n <= kPortCount; ++n)
        ports << QString("COM%1").arg(n);
    auto portList = [&](const char* name, int index) {
        auto* box = new QComboBox;
        box->setObjectName(name);
        box->addItems(ports);
        box->setCurrentIndex(index);
        return box;
    };
    auto addressEdit = [](const char* name, int value) {
        auto* edit = new QSpinBox;
        edit->setObjectName(name);
        edit->setRange(1, 255);
        edit->setValue(value);
        return edit;
    };
    // A row "<caption> от [first] до [second]".
    auto range = [grid](int row, const char* caption, QWidget* first, QWidget* second) {
        grid->addWidget(new QLabel(caption), row, 0);
        grid->addWidget(first, row, 1);
        grid->addWidget(new QLabel("до"), row, 2);
        grid->addWidget(second, row, 3);
    };
    comMin_ = portList("COMmin", 0);
    comMax_ = portList("COMmax", 1);
    range(1, "По портам:   от", comMin_, comMax_);
    minAddr_ = addressEdit("MinAddr", 1);
    maxAddr_ = addressEdit("MaxAddr", 5);
    range(2, "По адресам: от", minAddr_, maxAddr_);

    baud_ = new QComboBox;
    baud_->setObjectName("cmbBaudIptv");
    baud_->addItems({"300", "600", "1200", "2400", "4800", "9600", "19200"});
    baud_->setCurrentText("9600");
    grid->addWidget(new QLabel("Скорость, бод"), 3, 0);
    grid->addWidget(baud_, 3, 1);

    searchBtn_ = new QPushButton(kSearchCaption);
    searchBtn_->setObjectName("RzBitBtn1");
    searchBtn_->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    searchBtn_->setMinimumHeight(32);
    grid->addWidget(searchBtn_, 4, 0, 1, 4);

    readAllBtn_ = new QPushButton(kReadAllCaption);
    readAllBtn_->setObjectName("ReadAllPar_Btn");
    readAllBtn_->setCheckable(true);
    readAllBtn_->setEnabled(false);
    readAllBtn_->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    readAllBtn_->setMinimumHeight(32);
    grid->addWidget(readAllBtn_, 5, 0, 1, 4);
    grid->setRowStretch(6, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    layout->addWidget(search, 1);

    // The found instrument, with a panel over it while nothing was found.
    auto* stack = new QStackedWidget;
    devInfoStack_ = stack;
    auto* info = new QGroupBox("Найденный прибор");
    info->setObjectName("DevInfoPanel");
    devInfoPanel_ = info;
    auto* infoLayout = new QVBoxLayout(info);
    memo_ = new QPlainTextEdit;
    memo_->setObjectName("FindedDevmem");
    memo_->setReadOnly(true);
    memo_->setPlainText("Прибор не найден");
    infoLayout->addWidget(memo_, 1);
    checkLinkBtn_ = new QPushButton("Проверить связь");
    checkLinkBtn_->setObjectName("CheckConnectBtn");
    checkLinkBtn_->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    readOneBtn_ = new QPushButton(kReadOneCaption);
    readOneBtn_->setObjectName("Read_sets_Btn");
    readOneBtn_->setCheckable(true);
    readOneBtn_->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    infoLayout->addWidget(checkLinkBtn_);
    infoLayout->addWidget(readOneBtn_);

    devInfoHide_ = new QFrame;
    devInfoHide_->setObjectName("DevInfoPanelHide");
    devInfoHide_->setFrameShape(QFrame::StyledPanel);
    auto* hideLayout = new QVBoxLayout(devInfoHide_);
    auto* none = new QLabel("Приборы не найдены");
    none->setAlignment(Qt::AlignCenter);
    QFont big = none->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    big.setBold(true);
    none->setFont(big);
    hideLayout->addWidget(none);

    stack->addWidget(info);
    stack->addWidget(devInfoHide_);
    layout->addWidget(stack, 1);
    return page;
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
    projectMsg_ = new QLabel(kNoChanges);
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
        if (!building_) ShowSelection();
    });
    connect(tree_, &QTreeWidget::itemChanged, this, &TMainWindow::TreeItemChanged);
    tree_->viewport()->installEventFilter(this);
    connect(pages_, &QTabWidget::currentChanged, this, [this](int page) {
        if (!showingPage_) PageChangedByOperator(page);
    });
    connect(searchBtn_, &QPushButton::clicked, this, &TMainWindow::SearchClicked);
    connect(readOneBtn_, &QPushButton::clicked, this,
            [this](bool down) { ReadClicked(readOneBtn_, down); });
    connect(readAllBtn_, &QPushButton::clicked, this,
            [this](bool down) { ReadClicked(readAllBtn_, down); });
    QAbstractButton* pageRead = regPage_->ReadButton();
    connect(pageRead, &QAbstractButton::clicked, this,
            [this, pageRead](bool down) { ReadClicked(pageRead, down); });
    connect(checkLinkBtn_, &QPushButton::clicked, this, &TMainWindow::CheckLinkClicked);
    connect(regPage_, &TRegulatorPage::regulatorChosen, this, &TMainWindow::RegulatorButton);
    connect(progPage_, &TProgrammerPage::regulatorChosen, this, &TMainWindow::RegulatorButton);
    connect(graphPage_, &TGraphPage::autoUpdateChanged, this,
            [this](bool on) { autoUpdate_ = on; });
    autoUpdate_ = graphPage_->AutoUpdate();
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
    SetProjectChanged(false);
    graphPage_->AutoScaleGraph();
    if (options_.showStartWindow) {
        int width = 0;
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            width = screen->geometry().width();
        TStartW::ShowFor(this, width, 4000);
    }
}

void TMainWindow::SetTitle() {
    setWindowTitle(BaseTitle() + Q(ProjectTitlePart(projectFile_)));
}

void TMainWindow::NewProject() {
    if (projectMsg_->text() == kChanged) {
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
    tree_->clear();
    ClearDevices();
}

void TMainWindow::OpenProject() {
    const QString chosen = ChooseFile({this, FileChoice::Open, "Открыть проект",
                                       Q(options_.programDir), "Файлы проектов (*.prj)"});
    if (chosen.isEmpty()) return;
    LoadedProject loaded;
    WaitForWorkers([&] { loaded = LoadProject(*model_, chosen.toStdString()); });
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
    SetProjectChanged(false);
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
    SetProjectChanged(false);
}

void TMainWindow::SaveProject() {
    std::string reason;
    if (::zorvat::SaveProject(*model_, projectFile_, &reason)) {
        SetProjectChanged(false);
    } else {
        Inform(this, "Нет доступа к файлу.\n" + Q(reason), MessageKind::Error);
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
    hide();
    ClearDevices();
    exitConfirmed_ = true;
    event->accept();
}

// ---------------------------------------------------------------------------
// The tree

QTreeWidgetItem* TMainWindow::PortNode(const QString& port) const {
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree_->topLevelItem(i);
        if (item->data(0, kPortRole).toString() == port) return item;
    }
    return nullptr;
}

QTreeWidgetItem* TMainWindow::DeviceNode(std::uint8_t device) const {
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* port = tree_->topLevelItem(i);
        for (int j = 0; j < port->childCount(); ++j) {
            if (Value(port->child(j)) == device) return port->child(j);
        }
    }
    return nullptr;
}

QTreeWidgetItem* TMainWindow::RegulatorNode(RegulatorRef regulator) const {
    QTreeWidgetItem* device = DeviceNode(regulator.device);
    if (device == nullptr) return nullptr;
    for (int k = 0; k < device->childCount(); ++k) {
        if (Value(device->child(k)) == regulator.regulator) return device->child(k);
    }
    return nullptr;
}

void TMainWindow::BuildDeviceTree() {
    building_ = true;
    tree_->setUpdatesEnabled(false);
    tree_->clear();
    if (model_->DeviceList.Empty()) {
        readAllBtn_->setEnabled(false);
        tree_->setUpdatesEnabled(true);
        building_ = false;
        return;
    }
    const std::size_t count = model_->DeviceList.Count();
    for (int n = 1; n <= kPortCount; ++n) {
        const std::string port = "COM" + std::to_string(n);
        QTreeWidgetItem* root = nullptr;
        for (std::size_t d = 0; d < count; ++d) {
            const TDevice* device = model_->Device(d);
            if (device == nullptr || device->ParentPort != port) continue;
            if (root == nullptr) {
                root = new QTreeWidgetItem(tree_, {Q(port)});
                root->setFlags(root->flags() & ~Qt::ItemIsUserCheckable);
                root->setData(0, kValueRole, 0);
                root->setData(0, kPortRole, Q(port));
            }
            auto* node = new QTreeWidgetItem(root, {Q(device->Name + "(" + device->Address + ")")});
            node->setToolTip(0, node->text(0));
            node->setFlags(node->flags() & ~Qt::ItemIsUserCheckable);
            node->setData(0, kValueRole, static_cast<int>(d));
            node->setData(0, kPortRole, Q(port));
            for (int r = 1; r <= 2; ++r) {
                const TParams* reg = model_->Regulator(d, r);
                if (reg == nullptr || (r == 2 && !reg->Present)) continue;
                auto* regNode = new QTreeWidgetItem(node, {QString("Регулятор %1").arg(r)});
                regNode->setData(0, kValueRole, r);
                regNode->setFlags(regNode->flags() | Qt::ItemIsUserCheckable);
                regNode->setCheckState(0, reg->RegOn ? Qt::Checked : Qt::Unchecked);
            }
        }
    }
    tree_->expandAll();
    if (tree_->topLevelItemCount() > 0) tree_->setCurrentItem(tree_->topLevelItem(0));
    SetMemo({"Информация о приборах загружена.", "Дерево приборов сформировано.",
             "Прочитайте параметры из приборов.", "Сделайте выбор в дереве."});
    tree_->setUpdatesEnabled(true);
    building_ = false;
    SetSelectedMirror(std::nullopt);

    readAllBtn_->setEnabled(true);
    ShowNoInstrumentsPanel(false);
    ShowPage(0);
    readOneBtn_->setEnabled(false);
    checkLinkBtn_->setEnabled(false);
    SetPagesEnabled(false);
}

std::optional<std::uint8_t> TMainWindow::SelectedDevice() const {
    const QTreeWidgetItem* item = tree_->currentItem();
    if (item == nullptr) return std::nullopt;
    switch (Level(item)) {
        case 1:
            return U8(Value(item));
        case 2:
            return U8(Value(item->parent()));
        default:
            return std::nullopt;
    }
}

void TMainWindow::ShowSelection() {
    if (model_->DeviceList.Empty()) {
        ClearDevices();
        return;
    }
    QTreeWidgetItem* item = tree_->currentItem();
    if (item == nullptr) return;
    const int level = Level(item);
    if (level == 0) {
        SetSelectedMirror(std::nullopt);
        SetMemo({item->childCount() > 0 ? "На этом порте есть приборы."
                                        : "На этом порте нет приборов."});
        ShowNoInstrumentsPanel(false);
        ShowPage(0);
        readOneBtn_->setEnabled(false);
        checkLinkBtn_->setEnabled(false);
        SetPagesEnabled(false);
        SetSettingsMenuVisible(false);
        return;
    }
    const auto d = U8(level == 1 ? Value(item) : Value(item->parent()));
    const TDevice* device = model_->Device(d);
    if (device == nullptr || !device->Present) {
        SetSelectedMirror(std::nullopt);
        SetMemo({"Прибор не найден."});
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
        SetSelectedMirror(std::nullopt);
        SetMemo({Q("Найден прибор " + device->Name), Q("Порт: " + device->ParentPort),
                 Q("Адрес: " + device->Address), QString("Скорость: %1").arg(device->Baudrate),
                 QString("Версия ПО: %1").arg(device->POversion)});
        if (!pageChangeMark_) ShowPage(0);
        ShowNoInstrumentsPanel(false);
        readOneBtn_->setEnabled(true);
        checkLinkBtn_->setEnabled(true);
        enablePages();
        return;
    }

    const int number = Value(item);
    const RegulatorRef ref{d, U8(number)};
    SetSelectedMirror(ref);
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
    const auto d = SelectedDevice();
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
    if (building_ || column != 0 || Level(item) != 2) return;
    const RegulatorRef ref{U8(Value(item->parent())), U8(Value(item))};
    const bool on = item->checkState(0) == Qt::Checked;
    if (tree_->currentItem() != item) tree_->setCurrentItem(item);
    regPage_->SwitchFromTree(ref, on);
}

void TMainWindow::ClearPages() {
    graphPage_->Clear();
    regPage_->Clear();
    progPage_->Clear();
    SetSelectedMirror(std::nullopt);
}

void TMainWindow::ClearDevices() {
    ClearPages();
    WaitForWorkers([this] { model_->ClearDevices(); });
    memo_->clear();
    ShowNoInstrumentsPanel(true);
    ShowPage(0);
    SetPagesEnabled(false);
    readAllBtn_->setEnabled(false);
    SetSettingsMenuVisible(false);
}

// ---------------------------------------------------------------------------
// Window state helpers

void TMainWindow::ShowPage(int page) {
    showingPage_ = true;
    pages_->setCurrentIndex(page);
    showingPage_ = false;
}

void TMainWindow::SetPagesEnabled(bool enabled) {
    for (int page = 1; page <= 3; ++page) {
        pages_->setTabEnabled(page, enabled);
        pages_->widget(page)->setEnabled(enabled);
    }
}

void TMainWindow::SetMemo(const QStringList& lines) {
    memo_->setPlainText(lines.join('\n'));
}

void TMainWindow::SetMemoLines(const std::vector<std::string>& lines) {
    QStringList text;
    for (const auto& line : lines)
        text << Q(line);
    SetMemo(text);
}

void TMainWindow::SetSettingsMenuVisible(bool visible) {
    settingsMenuAction_->setVisible(visible);
}

void TMainWindow::SetSelectedMirror(std::optional<RegulatorRef> regulator) {
    std::lock_guard lock(mirrorMu_);
    selected_ = regulator;
}

bool TMainWindow::Exists(RegulatorRef regulator) const {
    const TParams* reg = model_->Regulator(regulator.device, regulator.regulator);
    return reg != nullptr && reg->Present;
}

QAbstractButton* TMainWindow::ReadButtonOf(Operation op) const {
    switch (op) {
        case Operation::ReadOne:
            return readOneBtn_;
        case Operation::ReadAll:
            return readAllBtn_;
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
    QAbstractButton* button = ReadButtonOf(op);
    const QSignalBlocker block(button);
    button->setChecked(running);
    button->setText(running ? kStopReadCaption
                            : (button == readAllBtn_ ? kReadAllCaption : kReadOneCaption));
    // A read that ends while a search has begun leaves the search's state alone.
    if (running || !OtherOperationRuns(op)) {
        SetReadButtonsEnabled(!running, button);
        fileMenu_->menuAction()->setEnabled(!running);
    }
}

void TMainWindow::SetSearchForm(bool running) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{comMin_, comMax_, minAddr_, maxAddr_, tree_, baud_})
        w->setEnabled(!running);
    fileMenu_->menuAction()->setEnabled(!running);
    searchBtn_->setText(running ? kStopSearchCaption : kSearchCaption);
    searchBtn_->setIcon(style()->standardIcon(running ? QStyle::SP_BrowserStop
                                                      : QStyle::SP_FileDialogContentsView));
}

void TMainWindow::ShowNoInstrumentsPanel(bool shown) {
    devInfoStack_->setCurrentWidget(shown ? static_cast<QWidget*>(devInfoHide_) : devInfoPanel_);
}

void TMainWindow::SetReadButtonsEnabled(bool enabled, QAbstractButton* except) {
    for (QAbstractButton* b :
         {static_cast<QAbstractButton*>(readOneBtn_), static_cast<QAbstractButton*>(readAllBtn_),
          regPage_->ReadButton()}) {
        if (b != except) b->setEnabled(enabled);
    }
}

// ---------------------------------------------------------------------------
// Buttons of the page "Связь" and the menus

void TMainWindow::SearchClicked() {
    if (searchBtn_->text() != kSearchCaption) {
        ops_->Stop();
        return;
    }
    if (model_->SearchThread) return;
    regPage_->SetRefreshEnabled(false);
    model_->StopFlag = false;
    ClearDevices();
    tree_->clear();
    SearchRange range;
    range.COMmin = comMin_->currentIndex() + 1;
    range.COMmax = comMax_->currentIndex() + 1;
    range.MinAddr = minAddr_->value();
    range.MaxAddr = maxAddr_->value();
    range.Baudrate = baud_->currentText().toInt();
    // The search corrects a range given backwards; the page shows it so.
    if (range.COMmax < range.COMmin) comMax_->setCurrentIndex(range.COMmin - 1);
    if (range.MaxAddr < range.MinAddr) maxAddr_->setValue(range.MinAddr);
    WaitForWorkers([&] { ops_->StartSearch(range); });
}

void TMainWindow::ReadClicked(QAbstractButton* button, bool down) {
    fileMenu_->menuAction()->setEnabled(false);
    if (down) {
        std::optional<std::uint8_t> device;
        Operation op = Operation::ReadAll;
        if (button == readOneBtn_) {
            op = Operation::ReadOne;
            device = SelectedDevice();
        } else if (button != readAllBtn_) {
            op = Operation::ReadRegulator;
            device = SelectedDevice();
        } else {
            device = 0;
        }
        if (model_->ReadThread || !device) {
            const QSignalBlocker block(button);
            button->setChecked(false);
            if (!model_->ReadThread) fileMenu_->menuAction()->setEnabled(true);
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
    const auto d = SelectedDevice();
    if (!d) return;
    checkLinkBtn_->setEnabled(false);
    ops_->StartCheckLink(*d);
}

void TMainWindow::OpenSettingsDialog() {
    const auto d = SelectedDevice();
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
// Surfaces: from any thread to this one

void TMainWindow::Post(std::function<void()> fn) {
    if (closing_) return;
    queue_.Post(std::move(fn));
}

void TMainWindow::RunOnUiAndWait(const std::function<void()>& fn) {
    if (QThread::currentThread() == thread()) {
        fn();
        return;
    }
    auto task = std::make_shared<UiTask>();
    task->fn = &fn;
    {
        std::lock_guard lock(tasksMu_);
        // The window waits for the workers right now: nothing is run for them.
        if (draining_ || closing_) return;
        pendingTasks_.push_back(task);
    }
    Post([this, task] { RunTask(task); });
    std::unique_lock lock(task->mu);
    task->cv.wait(lock, [&] { return task->done; });
}

void TMainWindow::RunTask(const std::shared_ptr<UiTask>& task) {
    {
        std::lock_guard lock(tasksMu_);
        const auto it = std::find(pendingTasks_.begin(), pendingTasks_.end(), task);
        if (it == pendingTasks_.end()) return;  // dropped: its worker went on without it
        pendingTasks_.erase(it);
    }
    (*task->fn)();
    {
        std::lock_guard lock(task->mu);
        task->done = true;
    }
    task->cv.notify_all();
}

void TMainWindow::DropPendingTasks() {
    std::vector<std::shared_ptr<UiTask>> dropped;
    {
        std::lock_guard lock(tasksMu_);
        dropped.swap(pendingTasks_);
    }
    for (const auto& task : dropped) {
        {
            std::lock_guard lock(task->mu);
            task->done = true;
        }
        task->cv.notify_all();
    }
}

void TMainWindow::WaitForWorkers(const std::function<void()>& wait) {
    {
        std::lock_guard lock(tasksMu_);
        draining_ = true;
    }
    DropPendingTasks();
    wait();
    std::lock_guard lock(tasksMu_);
    draining_ = false;
}

void TMainWindow::ProcessEvents() {
    if (QThread::currentThread() == thread())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TMainWindow::ClearErrorLog() {
    Post([this] { errorLog_->clear(); });
}

void TMainWindow::AddErrorLine(const std::string& line) {
    Post([this, line] { errorLog_->appendPlainText(Q(line)); });
}

void TMainWindow::AddErrorLineCapped(const std::string& line, std::size_t limit) {
    Post([this, line, limit] {
        QTextDocument* doc = errorLog_->document();
        if (static_cast<std::size_t>(doc->blockCount()) > limit) {
            QTextCursor cursor(doc->firstBlock());
            cursor.select(QTextCursor::BlockUnderCursor);
            cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
        errorLog_->appendPlainText(Q(line));
    });
}

void TMainWindow::SetStatus(const std::string& text) {
    {
        std::lock_guard lock(mirrorMu_);
        status_ = text;
    }
    const bool here = QThread::currentThread() == thread();
    Post([this, text, here] {
        statusMsg_->setText(Q(text));
        // An exchange that runs on this thread: shown before it goes on.
        if (here) statusMsg_->repaint();
    });
}

std::string TMainWindow::Status() const {
    std::lock_guard lock(mirrorMu_);
    return status_;
}

void TMainWindow::SetProgress(int percent) {
    const bool here = QThread::currentThread() == thread();
    Post([this, percent, here] {
        progress_->setValue(std::clamp(percent, 0, 100));
        if (here) progress_->repaint();
    });
}

void TMainWindow::SetProjectChanged(bool changed) {
    Post([this, changed] { projectMsg_->setText(changed ? kChanged : kNoChanges); });
}

void TMainWindow::ClearTree() {
    Post([this] {
        building_ = true;
        tree_->clear();
        building_ = false;
        SetSelectedMirror(std::nullopt);
    });
}

void TMainWindow::AddPortNode(const std::string& port) {
    Post([this, port] {
        building_ = true;
        auto* root = new QTreeWidgetItem(tree_, {Q("Порт " + port)});
        root->setFlags(root->flags() & ~Qt::ItemIsUserCheckable);
        root->setData(0, kValueRole, 0);
        root->setData(0, kPortRole, Q(port));
        building_ = false;
    });
}

void TMainWindow::AddDeviceNode(const std::string& port, std::uint8_t device,
                                const std::string& text) {
    Post([this, port, device, text] {
        QTreeWidgetItem* root = PortNode(Q(port));
        if (root == nullptr) return;
        building_ = true;
        auto* node = new QTreeWidgetItem(root, {Q(text)});
        node->setToolTip(0, node->text(0));
        node->setFlags(node->flags() & ~Qt::ItemIsUserCheckable);
        node->setData(0, kValueRole, static_cast<int>(device));
        node->setData(0, kPortRole, Q(port));
        root->setExpanded(true);
        building_ = false;
    });
}

void TMainWindow::AddRegulatorNode(RegulatorRef regulator) {
    Post([this, regulator] {
        QTreeWidgetItem* device = DeviceNode(regulator.device);
        if (device == nullptr) return;
        building_ = true;
        auto* node =
            new QTreeWidgetItem(device, {QString("Регулятор %1").arg(regulator.regulator)});
        node->setData(0, kValueRole, static_cast<int>(regulator.regulator));
        node->setFlags(node->flags() | Qt::ItemIsUserCheckable);
        node->setCheckState(0, Qt::Unchecked);
        device->setExpanded(true);
        building_ = false;
    });
}

void TMainWindow::SetRegulatorValue(RegulatorRef regulator, const std::string& text) {
    Post([this, regulator, text] {
        if (QTreeWidgetItem* node = RegulatorNode(regulator)) {
            building_ = true;
            node->setText(1, Q(text));
            building_ = false;
        }
    });
}

void TMainWindow::SetRegulatorChecked(RegulatorRef regulator, bool checked) {
    Post([this, regulator, checked] {
        if (QTreeWidgetItem* node = RegulatorNode(regulator)) {
            building_ = true;
            node->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
            building_ = false;
        }
    });
}

void TMainWindow::ClearSelectedValue() {
    Post([this] {
        if (QTreeWidgetItem* item = tree_->currentItem()) {
            building_ = true;
            item->setText(1, QString());
            building_ = false;
        }
    });
}

std::optional<RegulatorRef> TMainWindow::SelectedRegulator() const {
    std::lock_guard lock(mirrorMu_);
    return selected_;
}

void TMainWindow::FillRegulatorPage(RegulatorRef regulator) {
    Post([this, regulator] {
        if (!Exists(regulator)) return;
        regPage_->FillRegulatorPage(regulator);
        // The chart's colour and time unit belong to the regulator shown.
        if (SelectedRegulator() == regulator) graphPage_->ShowRegulator(regulator);
    });
}

void TMainWindow::FillProgramGrid(RegulatorRef regulator) {
    Post([this, regulator] {
        if (Exists(regulator)) progPage_->FillProgramGrid(regulator);
    });
}

void TMainWindow::ShowProgramTime(RegulatorRef regulator, int point, const std::string& text) {
    Post([this, regulator, point, text] {
        if (Exists(regulator)) progPage_->ShowProgramTime(regulator, point, Q(text));
    });
}

void TMainWindow::SetProgramStopEnabled(bool enabled) {
    Post([this, enabled] { progPage_->SetProgramStopEnabled(enabled); });
}

void TMainWindow::SetFoundMemo(const std::vector<std::string>& lines) {
    Post([this, lines] {
        foundMemo_ = lines;
        SetMemoLines(lines);
    });
}

void TMainWindow::ChartPointAdded(RegulatorRef regulator, double x, double y) {
    Post([this, regulator, x, y] {
        if (Exists(regulator)) graphPage_->PointAdded(regulator, x, y);
    });
}

void TMainWindow::SetTimeAxisAutomatic() {
    Post([this] { graphPage_->SetTimeAxisAutomatic(); });
}

bool TMainWindow::AutoUpdate() const {
    return autoUpdate_;
}

void TMainWindow::OperationStarted(Operation op) {
    Post([this, op] {
        switch (op) {
            case Operation::Search:
                SetSearchForm(true);
                foundMemo_.clear();
                break;
            case Operation::ReadOne:
            case Operation::ReadAll:
            case Operation::ReadRegulator: {
                SetReadForm(op, true);
                if (op == Operation::ReadRegulator) regPage_->OperationStarted(op);
                break;
            }
            case Operation::Write:
                fileMenu_->menuAction()->setEnabled(false);
                SetReadButtonsEnabled(false);
                regPage_->OperationStarted(op);
                break;
            case Operation::CheckLink:
                checkLinkBtn_->setEnabled(false);
                break;
            case Operation::Switch:
            case Operation::Autotune:
                regPage_->OperationStarted(op);
                break;
            case Operation::Program:
                break;
        }
    });
}

void TMainWindow::OperationFinished(Operation op, bool interrupted) {
    Post([this, op, interrupted] {
        switch (op) {
            case Operation::Search: {
                const std::vector<std::string> memo = foundMemo_;
                if (!model_->DeviceList.Empty()) {
                    if (tree_->topLevelItemCount() > 0)
                        tree_->setCurrentItem(tree_->topLevelItem(0));
                    SetMemoLines(memo);
                    ShowNoInstrumentsPanel(false);
                    readOneBtn_->setEnabled(false);
                    readAllBtn_->setEnabled(true);
                    checkLinkBtn_->setEnabled(false);
                    ShowPage(0);
                    SetPagesEnabled(false);
                } else {
                    readAllBtn_->setEnabled(false);
                }
                SetSearchForm(false);
                progress_->setValue(0);
                regPage_->SetRefreshEnabled(true);
                break;
            }
            case Operation::ReadOne:
            case Operation::ReadAll:
            case Operation::ReadRegulator: {
                SetReadForm(op, false);
                if (op == Operation::ReadRegulator) regPage_->OperationFinished(op, interrupted);
                break;
            }
            case Operation::Write:
                if (!OtherOperationRuns(op)) {
                    SetReadButtonsEnabled(true);
                    fileMenu_->menuAction()->setEnabled(true);
                }
                regPage_->OperationFinished(op, interrupted);
                break;
            case Operation::CheckLink:
                checkLinkBtn_->setEnabled(true);
                break;
            case Operation::Switch:
            case Operation::Autotune:
                regPage_->OperationFinished(op, interrupted);
                break;
            case Operation::Program:
                progPage_->OperationFinished(op, interrupted);
                break;
        }
    });
}

void TMainWindow::RegulatorSwitched(RegulatorRef regulator, bool on, bool succeeded) {
    Post([this, regulator, on, succeeded] {
        if (Exists(regulator)) regPage_->RegulatorSwitched(regulator, on, succeeded);
    });
}

void TMainWindow::AutotuneSwitched(RegulatorRef regulator, bool on, bool succeeded) {
    Post([this, regulator, on, succeeded] {
        if (Exists(regulator)) regPage_->AutotuneSwitched(regulator, on, succeeded);
    });
}

}  // namespace zorvat
