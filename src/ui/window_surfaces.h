// The window's side of the model's surfaces.
//
// Workers and polling jobs report from their own threads; every report is
// carried to the window's thread through one queue, in the order it was
// made, and there handed to the widget that shows it: the error window, the
// status bar, the tree, the regulator, programmer and graph pages. What the
// main window itself does when an operation starts or ends (its buttons and
// menus) it hears through TWindowListener. Widgets that are not attached
// (a page tested alone) simply hear nothing.
//
// It also keeps what workers may ask about the window from their threads
// (the status text, the selected regulator, "Автообновление"), and makes
// sure the window's thread never waits for a worker that waits for it.
#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "surfaces.h"
#include "ui_queue.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;

namespace zorvat {

// The project state in the status bar.
inline constexpr const char* kProjectUnchanged = "Нет изменений";
inline constexpr const char* kProjectChanged = "Проект изменён";

class TDeviceTree;
class TGraphPage;
class TModel;
class TProgrammerPage;
class TRegulatorPage;

// The main window's own share of the reports.
class TWindowListener {
  public:
    virtual ~TWindowListener() = default;
    virtual void OperationStarted(Operation op) = 0;
    virtual void OperationFinished(Operation op, Outcome outcome) = 0;
    // The memo of the page "Связь" after a search.
    virtual void FoundMemo(const std::vector<std::string>& lines) = 0;
    // The account may not open a port's device (once per port and run).
    virtual void PortAccessDenied(const std::string& /*port*/, const std::string& /*detail*/) {}
};

class TWindowSurfaces : public TSurfaces {
  public:
    // What the reports are shown on; any may be left out.
    struct Widgets {
        QPlainTextEdit* errorLog = nullptr;
        QLabel* status = nullptr;
        QProgressBar* progress = nullptr;
        QLabel* project = nullptr;
        TDeviceTree* tree = nullptr;
        TRegulatorPage* regulatorPage = nullptr;
        TProgrammerPage* programmerPage = nullptr;
        TGraphPage* graphPage = nullptr;
        TWindowListener* listener = nullptr;
    };

    // Lives on the thread that creates it: the window's.
    TWindowSurfaces();
    ~TWindowSurfaces() override;
    TWindowSurfaces(const TWindowSurfaces&) = delete;
    TWindowSurfaces& operator=(const TWindowSurfaces&) = delete;

    // The model the reports are about (pages are refilled only for
    // regulators it has), and the widgets; both before anything runs.
    void Attach(const TModel& model, const Widgets& widgets);

    // From now on nothing is shown any more: what waits is dropped, what
    // comes is refused, and no worker waits for this thread again.
    void Close();

    // Runs `wait` (which blocks until workers or jobs have ended) while no
    // worker is left waiting for this thread.
    void WaitForWorkers(const std::function<void()>& wait);

    // Whether the window's thread is inside an exchange that processes
    // events while it waits for a port: the operator's input waits meanwhile.
    bool InExchange() const { return exchangeDepth_ > 0; }

    // What workers may ask about the window, kept up to date by it.
    void SetSelected(std::optional<RegulatorRef> regulator);
    void SetAutoUpdate(bool on) { autoUpdate_ = on; }

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
    bool AutoUpdate() const override { return autoUpdate_; }
    void OperationStarted(Operation op) override;
    void OperationFinished(Operation op, Outcome outcome) override;
    void RegulatorSwitched(RegulatorRef regulator, bool on, bool succeeded) override;
    void AutotuneSwitched(RegulatorRef regulator, bool on, bool succeeded) override;
    void RunOnUiAndWait(const std::function<void()>& fn) override;
    void PortAccessDenied(const std::string& port, const std::string& detail) override;
    void ProcessEvents() override;
    void UiWaitBegins() override;
    void UiWaitEnds() override;

  private:
    struct UiTask;

    // Runs `fn` on the window's thread: at once when called there, queued
    // otherwise.
    void Post(std::function<void()> fn);
    bool OnUiThread() const;
    void RunTask(const std::shared_ptr<UiTask>& task);
    void DropPendingTasks();
    bool Exists(RegulatorRef regulator) const;

    TUiQueue queue_;
    const TModel* model_ = nullptr;
    Widgets w_;

    mutable std::mutex mirrorMu_;
    std::string status_;                    // guarded by mirrorMu_
    std::optional<RegulatorRef> selected_;  // guarded by mirrorMu_
    std::atomic<bool> autoUpdate_{false};
    std::atomic<bool> closed_{false};
    int exchangeDepth_ = 0;  // the window's thread only

    std::mutex tasksMu_;
    std::vector<std::shared_ptr<UiTask>> pendingTasks_;  // guarded by tasksMu_
    bool draining_ = false;                              // guarded by tasksMu_
};

}  // namespace zorvat
