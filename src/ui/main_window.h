// The program's main window: the instrument tree, the pages "Связь",
// "Параметры", "Программатор" and "График", the error window and the status
// bar, the menus and the project commands. It owns the model; what workers
// and polling jobs report reaches its widgets through TWindowSurfaces.
#pragma once

#include <QMainWindow>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model.h"
#include "operations.h"
#include "settings_window.h"
#include "surfaces.h"
#include "window_surfaces.h"

class QAbstractButton;
class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QTimer;
class QTreeWidgetItem;
class QWidget;

namespace zorvat {

class TDeviceTree;
class TLinkPage;
class TRegulatorPage;
class TProgrammerPage;
class TGraphPage;
class TKoefsWindow;
class TFormRELE;
class TPassWindow;
class TPVIWindow;
class TForm1;
class TTrendRecorder;

struct MainWindowOptions {
    std::string programDir;  // without a trailing separator
    char startSwitch = 0;    // 'd', the service switch 's', or 0
    bool showStartWindow = true;
    std::string titleTail;  // after the title and project: " — демонстрация"
    // Where the records go unless the operator chose a folder; empty: the
    // program folder's "records".
    std::string recordsFolder;
};

// The service switch: shows the menu "Параметры".
inline constexpr char kServiceSwitch = 's';

class TMainWindow : public QMainWindow, private TWindowListener {
    Q_OBJECT

  public:
    explicit TMainWindow(MainWindowOptions options, QWidget* parent = nullptr);
    ~TMainWindow() override;

    TModel& Model() { return *model_; }
    TOperations& Operations() { return *ops_; }
    TWindowSurfaces& Surfaces() { return surfaces_; }
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
    // The message box for a port the account may not open.
    static QString AccessDeniedText(const QString& port, const QString& user);

    // The widgets, for the pages and for tests.
    TDeviceTree* Tree() const { return tree_; }
    QTabWidget* Pages() const { return pages_; }
    TRegulatorPage* RegulatorPage() const { return regPage_; }
    TProgrammerPage* ProgrammerPage() const { return progPage_; }
    TGraphPage* GraphPage() const { return graphPage_; }

    // The recording of the polls: on or off, and its folder (the program's
    // folder's "records" unless the operator chose another). Both are kept
    // in the settings file.
    TTrendRecorder& Recorder() { return *recorder_; }
    void SetRecording(bool on);
    void SetRecordsFolder(const std::string& folder);
    std::string RecordsFolder() const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // TWindowListener: the window's own share of the reports.
    void OperationStarted(Operation op) override;
    void OperationFinished(Operation op, Outcome outcome) override;
    void FoundMemo(const std::vector<std::string>& lines) override;
    void PortAccessDenied(const std::string& port, const std::string& detail) override;

    void BuildMenus();
    void BuildRecordsMenu();
    void ReadRecordsSettings();
    void SaveRecordsSettings();
    void OpenRecordsFolder();
    void ChooseRecordsFolder();
    void BuildStatusBar();
    void ConnectSignals();

    void SearchClicked();
    void ReadClicked(QAbstractButton* button, bool down);
    void CheckLinkClicked();
    void TreeItemChanged(QTreeWidgetItem* item, int column);
    void OpenSettingsDialog();
    void OpenSubDialog(const TSettingsWindow::SubDialogRequest& request);
    void ShowAbout();
    void ShowHelp();

    void SetTitle();
    // The window's place and size, its splitters and the tree's columns, as
    // the settings file keeps them between runs.
    void RestoreWindowState();
    void SaveWindowState();
    // Widens the tree so that its first column shows whole.
    void FitTreeWidth();
    void ShowPage(int page);
    void SetPagesEnabled(bool enabled);
    void SetSettingsMenuVisible(bool visible);
    void SetFileMenuEnabled(bool enabled);
    void SetReadButtonsEnabled(bool enabled, QAbstractButton* except = nullptr);
    bool Exists(RegulatorRef regulator) const;
    // The start and stop forms of the read buttons and of the search.
    void SetReadForm(Operation op, bool running);
    // Whether a search, read or write other than `op` runs: what that holds
    // disabled stays disabled when `op` ends.
    bool OtherOperationRuns(Operation op) const;
    void SetSearchForm(bool running);
    QAbstractButton* ReadButtonOf(Operation op) const;

    MainWindowOptions options_;
    std::string projectFile_;

    // The surfaces outlive the model: its workers report to them until the
    // model has stopped them.
    TWindowSurfaces surfaces_;
    // Outlives the model: the polling jobs queue their rows in it.
    std::unique_ptr<TTrendRecorder> recorder_;
    std::string recordsFolder_;  // empty: the default folder
    std::unique_ptr<TModel> model_;
    std::unique_ptr<TOperations> ops_;

    // Window state.
    bool pageChangeMark_ = false;  // the page-change rule made this selection
    bool showingPage_ = false;     // the program changes the page
    bool exitConfirmed_ = false;
    bool accessDeniedShown_ = false;  // the dialout message box, once a run
    std::vector<std::string> foundMemo_;

    QSplitter* splitter_ = nullptr;  // the tree beside the pages
    QSplitter* vertical_ = nullptr;  // those above the error window
    TDeviceTree* tree_ = nullptr;
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

    TLinkPage* linkPage_ = nullptr;

    QMenu* fileMenu_ = nullptr;
    QMenu* settingsMenu_ = nullptr;
    QAction* settingsMenuAction_ = nullptr;
    QAction* recordingAction_ = nullptr;

    TSettingsWindow* settingsWindow_ = nullptr;
    TKoefsWindow* koefsWindow_ = nullptr;
    TFormRELE* releWindow_ = nullptr;
    TPassWindow* passWindow_ = nullptr;
    TPVIWindow* pviWindow_ = nullptr;
    TForm1* aboutBox_ = nullptr;
};

}  // namespace zorvat
