// The program's main window: the instrument tree, the pages "Связь",
// "Параметры", "Программатор" and "График", the error window and the status
// bar. It owns the model and is the model's surfaces: reports of workers and
// polling jobs reach it as queued calls on its own thread, in the order they
// were made.
#pragma once

#include <QMainWindow>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "model.h"
#include "operations.h"
#include "settings_window.h"
#include "surfaces.h"
#include "ui_queue.h"

class QAbstractButton;
class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTabWidget;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;
class QFrame;

namespace zorvat {

class TRegulatorPage;
class TProgrammerPage;
class TGraphPage;
class TKoefsWindow;
class TFormRELE;
class TPassWindow;
class TPVIWindow;
class TForm1;

struct MainWindowOptions {
    std::string programDir;  // without a trailing separator
    char startSwitch = 0;    // 'd', the service switch 's', or 0
    bool showStartWindow = true;
};

// The service switch: shows the menu "Параметры".
inline constexpr char kServiceSwitch = 's';

class TMainWindow : public QMainWindow, public TSurfaces {
    Q_OBJECT

  public:
    explicit TMainWindow(MainWindowOptions options, QWidget* parent = nullptr);
    ~TMainWindow() override;

    TModel& Model() { return *model_; }
    TOperations& Operations() { return *ops_; }
    const std::string& ProgramDir() const { return options_.programDir; }
    const std::string& ProjectFile() const { return projectFile_; }

    // Program start: the start project, the chart's scaling, the start window.
    void Start();

    void BuildDeviceTree();
    void ShowSelection();
    void ClearDevices();
    // Forgets the regulator the pages show.
    void ClearPages();

    // The menu "Файл".
    void NewProject();
    void OpenProject();
    void SaveProject();
    void SaveProjectAs();

    // The operator changed the page (also what a click on the page control does).
    void PageChangedByOperator(int page);
    // A regulator button of the regulator or programmer page.
    void RegulatorButton(int number);

    static QString BaseTitle();

    // TSurfaces, callable from any thread.
    void ClearErrorLog() override;
    void AddErrorLine(const std::string& line) override;
    void AddErrorLineCapped(const std::string& line, std::size_t limit) override;
    void SetStatus(const std::string& text) override;
    std::string Status() const override;
    void SetProgress(int percent) override;
    void SetProjectChanged(bool changed) override;
    void ClearTree() override;
    void AddPortNode(const std::string& port) override;
    void AddDeviceNode(const std::string& port, std::uint8_t device,
                       const std::string& text) override;
    void AddRegulatorNode(RegulatorRef regulator) override;
    void SetRegulatorValue(RegulatorRef regulator, const std::string& text) override;
    void SetRegulatorChecked(RegulatorRef regulator, bool checked) override;
    void ClearSelectedValue() override;
    std::optional<RegulatorRef> SelectedRegulator() const override;
    void FillRegulatorPage(RegulatorRef regulator) override;
    void FillProgramGrid(RegulatorRef regulator) override;
    void ShowProgramTime(RegulatorRef regulator, int point, const std::string& text) override;
    void SetProgramStopEnabled(bool enabled) override;
    void SetFoundMemo(const std::vector<std::string>& lines) override;
    void ChartPointAdded(RegulatorRef regulator, double x, double y) override;
    void SetTimeAxisAutomatic() override;
    bool AutoUpdate() const override;
    void OperationStarted(Operation op) override;
    void OperationFinished(Operation op, bool interrupted) override;
    void RegulatorSwitched(RegulatorRef regulator, bool on, bool succeeded) override;
    void AutotuneSwitched(RegulatorRef regulator, bool on, bool succeeded) override;
    void RunOnUiAndWait(const std::function<void()>& fn) override;
    void ProcessEvents() override;

    // The widgets, for the pages and for tests.
    QTreeWidget* Tree() const { return tree_; }
    QTabWidget* Pages() const { return pages_; }
    TRegulatorPage* RegulatorPage() const { return regPage_; }
    TProgrammerPage* ProgrammerPage() const { return progPage_; }
    TGraphPage* GraphPage() const { return graphPage_; }

    // Finds the tree node of a regulator, of an instrument, of a port.
    QTreeWidgetItem* RegulatorNode(RegulatorRef regulator) const;
    QTreeWidgetItem* DeviceNode(std::uint8_t device) const;
    QTreeWidgetItem* PortNode(const QString& port) const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct UiTask;

    void BuildMenus();
    QWidget* BuildLinkPage();
    void BuildStatusBar();
    void ConnectSignals();

    // Runs `fn` on the window's thread: at once when called there, queued otherwise.
    void Post(std::function<void()> fn);
    // Runs `wait` (which blocks until workers or jobs have ended) while no
    // worker is left waiting for this thread.
    void WaitForWorkers(const std::function<void()>& wait);
    void DropPendingTasks();

    void SearchClicked();
    void ReadClicked(QAbstractButton* button, bool down);
    void CheckLinkClicked();
    void TreeItemChanged(QTreeWidgetItem* item, int column);
    void OpenSettingsDialog();
    void OpenSubDialog(const TSettingsWindow::SubDialogRequest& request);
    void ShowAbout();
    void ShowHelp();

    void SetTitle();
    void ShowPage(int page);
    void SetPagesEnabled(bool enabled);
    void SetMemo(const QStringList& lines);
    void SetMemoLines(const std::vector<std::string>& lines);
    void SetSettingsMenuVisible(bool visible);
    void SetSelectedMirror(std::optional<RegulatorRef> regulator);
    void SetReadButtonsEnabled(bool enabled, QAbstractButton* except = nullptr);
    bool Exists(RegulatorRef regulator) const;
    std::optional<std::uint8_t> SelectedDevice() const;
    // The start and stop forms of the read buttons and of the search.
    void SetReadForm(Operation op, bool running);
    // Whether a search, read or write other than `op` runs: what that holds
    // disabled stays disabled when `op` ends.
    bool OtherOperationRuns(Operation op) const;
    void SetSearchForm(bool running);
    void ShowNoInstrumentsPanel(bool shown);
    QAbstractButton* ReadButtonOf(Operation op) const;
    void RunTask(const std::shared_ptr<UiTask>& task);

    MainWindowOptions options_;
    std::string projectFile_;

    // Cross-thread state: what workers may ask about the window.
    mutable std::mutex mirrorMu_;
    std::string status_;
    std::optional<RegulatorRef> selected_;
    std::atomic<bool> autoUpdate_{false};
    std::atomic<bool> closing_{false};

    TUiQueue queue_;

    std::mutex tasksMu_;
    std::vector<std::shared_ptr<UiTask>> pendingTasks_;
    bool draining_ = false;  // guarded by tasksMu_

    std::unique_ptr<TModel> model_;
    std::unique_ptr<TOperations> ops_;

    // Window state.
    bool building_ = false;        // the tree is being filled by the program
    bool pageChangeMark_ = false;  // the page-change rule made this selection
    bool showingPage_ = false;     // the program changes the page
    bool exitConfirmed_ = false;
    std::vector<std::string> foundMemo_;

    QTreeWidget* tree_ = nullptr;
    QTabWidget* pages_ = nullptr;
    TRegulatorPage* regPage_ = nullptr;
    TProgrammerPage* progPage_ = nullptr;
    TGraphPage* graphPage_ = nullptr;
    QPlainTextEdit* errorLog_ = nullptr;
    QLabel* clock_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* statusMsg_ = nullptr;
    QLabel* projectMsg_ = nullptr;
    QTimer* clockTimer_ = nullptr;

    QComboBox* comMin_ = nullptr;
    QComboBox* comMax_ = nullptr;
    QSpinBox* minAddr_ = nullptr;
    QSpinBox* maxAddr_ = nullptr;
    QComboBox* baud_ = nullptr;
    QPushButton* searchBtn_ = nullptr;
    QPushButton* readAllBtn_ = nullptr;
    QPushButton* readOneBtn_ = nullptr;
    QPushButton* checkLinkBtn_ = nullptr;
    QPlainTextEdit* memo_ = nullptr;
    QWidget* devInfoPanel_ = nullptr;
    QFrame* devInfoHide_ = nullptr;
    QStackedWidget* devInfoStack_ = nullptr;

    QMenu* fileMenu_ = nullptr;
    QMenu* settingsMenu_ = nullptr;
    QAction* settingsMenuAction_ = nullptr;

    TSettingsWindow* settingsWindow_ = nullptr;
    TKoefsWindow* koefsWindow_ = nullptr;
    TFormRELE* releWindow_ = nullptr;
    TPassWindow* passWindow_ = nullptr;
    TPVIWindow* pviWindow_ = nullptr;
    TForm1* aboutBox_ = nullptr;
};

}  // namespace zorvat
