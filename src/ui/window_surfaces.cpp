#include "window_surfaces.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <algorithm>
#include <condition_variable>

#include "device_tree.h"
#include "graph_page.h"
#include "model.h"
#include "programmer_page.h"
#include "regulator_page.h"

namespace zorvat {
namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

struct TWindowSurfaces::UiTask {
    const std::function<void()>* fn = nullptr;
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;
};

TWindowSurfaces::TWindowSurfaces() = default;

TWindowSurfaces::~TWindowSurfaces() {
    Close();
}

void TWindowSurfaces::Attach(const TModel& model, const Widgets& widgets) {
    model_ = &model;
    w_ = widgets;
}

void TWindowSurfaces::Close() {
    closed_ = true;
    queue_.Close();
    DropPendingTasks();
}

bool TWindowSurfaces::OnUiThread() const {
    return QThread::currentThread() == queue_.thread();
}

void TWindowSurfaces::Post(std::function<void()> fn) {
    if (closed_) return;
    queue_.Post(std::move(fn));
}

bool TWindowSurfaces::Exists(RegulatorRef regulator) const {
    if (model_ == nullptr) return false;
    const TParams* reg = model_->Regulator(regulator.device, regulator.regulator);
    return reg != nullptr && reg->Present;
}

// --- Waiting for each other -------------------------------------------------

void TWindowSurfaces::RunOnUiAndWait(const std::function<void()>& fn) {
    if (OnUiThread()) {
        fn();
        return;
    }
    auto task = std::make_shared<UiTask>();
    task->fn = &fn;
    {
        std::lock_guard lock(tasksMu_);
        // The window waits for the workers right now: nothing is run for them.
        if (draining_ || closed_) return;
        pendingTasks_.push_back(task);
    }
    Post([this, task] { RunTask(task); });
    std::unique_lock lock(task->mu);
    task->cv.wait(lock, [&] { return task->done; });
}

void TWindowSurfaces::RunTask(const std::shared_ptr<UiTask>& task) {
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

void TWindowSurfaces::DropPendingTasks() {
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

void TWindowSurfaces::WaitForWorkers(const std::function<void()>& wait) {
    {
        std::lock_guard lock(tasksMu_);
        draining_ = true;
    }
    DropPendingTasks();
    wait();
    std::lock_guard lock(tasksMu_);
    draining_ = false;
}

void TWindowSurfaces::ProcessEvents() {
    if (!OnUiThread()) return;
    ++exchangeDepth_;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    --exchangeDepth_;
}

void TWindowSurfaces::UiWaitBegins() {
    if (OnUiThread()) ++exchangeDepth_;
}

void TWindowSurfaces::UiWaitEnds() {
    if (OnUiThread() && exchangeDepth_ > 0) --exchangeDepth_;
}

// --- The error window and the status bar ------------------------------------

void TWindowSurfaces::ClearErrorLog() {
    Post([this] {
        if (w_.errorLog) w_.errorLog->clear();
    });
}

void TWindowSurfaces::AddErrorLine(const std::string& line) {
    Post([this, line] {
        if (w_.errorLog) w_.errorLog->appendPlainText(Q(line));
    });
}

void TWindowSurfaces::AddErrorLineCapped(const std::string& line, std::size_t limit) {
    Post([this, line, limit] {
        if (!w_.errorLog) return;
        QTextDocument* doc = w_.errorLog->document();
        if (static_cast<std::size_t>(doc->blockCount()) > limit) {
            QTextCursor cursor(doc->firstBlock());
            cursor.select(QTextCursor::BlockUnderCursor);
            cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
        w_.errorLog->appendPlainText(Q(line));
    });
}

void TWindowSurfaces::SetStatus(const std::string& text) {
    {
        std::lock_guard lock(mirrorMu_);
        status_ = text;
    }
    const bool here = OnUiThread();
    Post([this, text, here] {
        if (!w_.status) return;
        w_.status->setText(Q(text));
        // An exchange that runs on this thread: shown before it goes on.
        if (here) w_.status->repaint();
    });
}

std::string TWindowSurfaces::Status() const {
    std::lock_guard lock(mirrorMu_);
    return status_;
}

void TWindowSurfaces::SetProgress(int percent) {
    const bool here = OnUiThread();
    Post([this, percent, here] {
        if (!w_.progress) return;
        w_.progress->setValue(std::clamp(percent, 0, 100));
        if (here) w_.progress->repaint();
    });
}

void TWindowSurfaces::SetProjectChanged(bool changed) {
    Post([this, changed] {
        if (w_.project) w_.project->setText(changed ? kProjectChanged : kProjectUnchanged);
    });
}

// --- The tree ----------------------------------------------------------------

void TWindowSurfaces::SetSelected(std::optional<RegulatorRef> regulator) {
    std::lock_guard lock(mirrorMu_);
    selected_ = regulator;
}

std::optional<RegulatorRef> TWindowSurfaces::SelectedRegulator() const {
    std::lock_guard lock(mirrorMu_);
    return selected_;
}

void TWindowSurfaces::ClearTree() {
    Post([this] {
        if (w_.tree) w_.tree->Clear();
        SetSelected(std::nullopt);
    });
}

void TWindowSurfaces::AddPortNode(const std::string& port) {
    Post([this, port] {
        if (w_.tree) w_.tree->AddPort(port);
    });
}

void TWindowSurfaces::AddDeviceNode(const std::string& port, std::uint8_t device,
                                    const std::string& text) {
    Post([this, port, device, text] {
        if (w_.tree) w_.tree->AddDevice(port, device, text);
    });
}

void TWindowSurfaces::AddRegulatorNode(RegulatorRef regulator) {
    Post([this, regulator] {
        if (w_.tree) w_.tree->AddRegulator(regulator, false);
    });
}

void TWindowSurfaces::SetRegulatorValue(RegulatorRef regulator, const std::string& text) {
    Post([this, regulator, text] {
        if (w_.tree) w_.tree->SetValue(regulator, Q(text));
    });
}

void TWindowSurfaces::SetRegulatorChecked(RegulatorRef regulator, bool checked) {
    Post([this, regulator, checked] {
        if (w_.tree) w_.tree->SetChecked(regulator, checked);
    });
}

void TWindowSurfaces::ClearSelectedValue() {
    Post([this] {
        if (w_.tree) w_.tree->ClearSelectedValue();
    });
}

void TWindowSurfaces::PortAccessDenied(const std::string& port, const std::string& detail) {
    Post([this, port, detail] {
        if (w_.errorLog)
            w_.errorLog->appendPlainText(Q(TimeText() + " Порт " + port + ": " + detail));
        if (w_.listener) w_.listener->PortAccessDenied(port, detail);
    });
}

void TWindowSurfaces::SetFoundMemo(const std::vector<std::string>& lines) {
    Post([this, lines] {
        if (w_.listener) w_.listener->FoundMemo(lines);
    });
}

// --- The pages ---------------------------------------------------------------

void TWindowSurfaces::FillRegulatorPage(RegulatorRef regulator) {
    Post([this, regulator] {
        if (!Exists(regulator)) return;
        if (w_.regulatorPage) w_.regulatorPage->FillRegulatorPage(regulator);
        // The chart's colour and time unit belong to the regulator shown.
        if (w_.graphPage && SelectedRegulator() == regulator)
            w_.graphPage->ShowRegulator(regulator);
    });
}

void TWindowSurfaces::FillProgramGrid(RegulatorRef regulator) {
    Post([this, regulator] {
        if (w_.programmerPage && Exists(regulator)) w_.programmerPage->FillProgramGrid(regulator);
    });
}

void TWindowSurfaces::ShowProgramTime(RegulatorRef regulator, int point, const std::string& text) {
    Post([this, regulator, point, text] {
        if (w_.programmerPage && Exists(regulator))
            w_.programmerPage->ShowProgramTime(regulator, point, Q(text));
    });
}

void TWindowSurfaces::SetProgramStopEnabled(bool enabled) {
    Post([this, enabled] {
        if (w_.programmerPage) w_.programmerPage->SetProgramStopEnabled(enabled);
    });
}

void TWindowSurfaces::ChartPointAdded(RegulatorRef regulator, double x, double y) {
    Post([this, regulator, x, y] {
        if (w_.graphPage && Exists(regulator)) w_.graphPage->PointAdded(regulator, x, y);
    });
}

void TWindowSurfaces::SetTimeAxisAutomatic() {
    Post([this] {
        if (w_.graphPage) w_.graphPage->SetTimeAxisAutomatic();
    });
}

void TWindowSurfaces::OperationStarted(Operation op) {
    Post([this, op] {
        if (w_.listener) w_.listener->OperationStarted(op);
        if (w_.regulatorPage) w_.regulatorPage->OperationStarted(op);
    });
}

void TWindowSurfaces::OperationFinished(Operation op, Outcome outcome) {
    Post([this, op, outcome] {
        if (w_.listener) w_.listener->OperationFinished(op, outcome);
        if (w_.regulatorPage) w_.regulatorPage->OperationFinished(op);
        if (w_.programmerPage) w_.programmerPage->OperationFinished(op);
    });
}

void TWindowSurfaces::RegulatorSwitched(RegulatorRef regulator, bool on, bool succeeded) {
    Post([this, regulator, on, succeeded] {
        if (w_.regulatorPage && Exists(regulator))
            w_.regulatorPage->RegulatorSwitched(regulator, on, succeeded);
    });
}

void TWindowSurfaces::AutotuneSwitched(RegulatorRef regulator, bool on, bool succeeded) {
    Post([this, regulator, on, succeeded] {
        if (w_.regulatorPage && Exists(regulator))
            w_.regulatorPage->AutotuneSwitched(regulator, on, succeeded);
    });
}

}  // namespace zorvat
