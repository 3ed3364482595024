// What the window tests share: simulated instruments, instruments put into a
// model as a search would have found them, answers to the message boxes, and
// a page on a model of its own that hears the workers the way the main
// window lets it.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QTableWidget>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "Devices.h"
#include "device_tree.h"
#include "message_box.h"
#include "model.h"
#include "operations.h"
#include "programmer_page.h"
#include "recording_surfaces.h"
#include "regulator_page.h"
#include "sim/simulator.h"
#include "sim_bench.h"
#include "th_search.h"
#include "window_surfaces.h"

namespace zorvat::testing {

// Answers every message box instead of the operator, as long as it lives:
// with `answer` where the box offers that button, with OK otherwise. Keeps
// what was shown.
class MessageAnswers {
  public:
    MessageAnswers() {
        previous_ = SetMessageHandler([this](const MessageRequest& request) {
            shown.push_back(request);
            messages.push_back(request.text);
            return request.buttons.testFlag(answer) ? answer : QMessageBox::Ok;
        });
    }
    ~MessageAnswers() { SetMessageHandler(previous_); }
    MessageAnswers(const MessageAnswers&) = delete;
    MessageAnswers& operator=(const MessageAnswers&) = delete;

    void Clear() {
        shown.clear();
        messages.clear();
    }

    // Every box in the order shown, and their texts alone.
    std::vector<MessageRequest> shown;
    std::vector<QString> messages;
    QMessageBox::StandardButton answer = QMessageBox::Yes;

  private:
    MessageHandler previous_;
};

// Opens the in-place editor of `item` as the operator does; returns the
// editor, nullptr where the cell opens none.
inline QWidget* OpenEditor(QTableWidget& table, QTableWidgetItem* item) {
    table.setCurrentItem(item);
    table.editItem(item);
    return table.indexWidget(table.currentIndex());
}

// A page shown on a model of its own. The model reports through the
// window's own surfaces, which hand the page what it is to hear, on its
// thread and in order, as in the window; a tree of the model's instruments
// shows the ticks, and the operations that start and end are noted.
template <typename Page>
struct PageFixture : TWindowListener {
    std::unique_ptr<SimBench> bench;
    TWindowSurfaces ui;
    TDeviceTree tree;
    std::unique_ptr<TModel> model = std::make_unique<TModel>(ui, MakePortJobs);
    TOperations ops{*model};
    std::unique_ptr<Page> page;
    // "started write", "finished switch", "finished read-one (stopped)".
    std::vector<std::string> events;

    PageFixture() {
        page = std::make_unique<Page>(*model, ops, ui);
        TWindowSurfaces::Widgets widgets;
        widgets.tree = &tree;
        widgets.listener = this;
        if constexpr (std::is_same_v<Page, TRegulatorPage>) widgets.regulatorPage = page.get();
        if constexpr (std::is_same_v<Page, TProgrammerPage>) widgets.programmerPage = page.get();
        ui.Attach(*model, widgets);
        page->resize(780, 450);
        page->show();
    }
    ~PageFixture() override {
        Release();
        page.reset();
        bench.reset();
    }
    PageFixture(const PageFixture&) = delete;
    PageFixture& operator=(const PageFixture&) = delete;

    // Ends every worker and polling job; nothing reaches the page after.
    void Release() {
        ui.Close();
        model.reset();
    }

    // One simulated instrument, answering from now on until the fixture
    // goes.
    sim::Simulator& Simulate(const std::string& port, int address, std::uint8_t code) {
        bench = std::make_unique<SimBench>();
        bench->Add(port, address, code);
        bench->Start();
        return bench->sim;
    }
    std::uint8_t AddDevice(const std::string& port, int address, std::uint8_t code) {
        const std::uint8_t d = testing::AddDevice(*model, port, address, code);
        tree.Build(*model);
        return d;
    }
    // Selects the regulator and shows it, as the main window does.
    void Show(RegulatorRef ref) {
        ui.SetSelected(ref);
        page->ShowRegulator(ref);
    }
    // The regulator's tick in the tree.
    bool RegulatorChecked(RegulatorRef ref) const {
        const QTreeWidgetItem* node = tree.RegulatorNode(ref);
        return node != nullptr && node->checkState(0) == Qt::Checked;
    }
    bool Noted(const std::string& event) const {
        return std::find(events.begin(), events.end(), event) != events.end();
    }
    template <typename T>
    T* Find(const QString& name) const {
        return page->template findChild<T*>(name);
    }

    void OperationStarted(Operation op) override {
        events.push_back(std::string("started ") + OperationName(op));
    }
    void OperationFinished(Operation op, Outcome outcome) override {
        events.push_back(std::string("finished ") + OperationName(op) + OutcomeTail(outcome));
    }
    void FoundMemo(const std::vector<std::string>&) override {}
};

}  // namespace zorvat::testing
