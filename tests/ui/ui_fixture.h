// What the window tests share: simulated instruments, instruments put into a
// model as a search would have found them, answers to the message boxes, and
// a page on a model of its own that hears the workers the way the main
// window lets it.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QTableWidget>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Devices.h"
#include "message_box.h"
#include "model.h"
#include "operations.h"
#include "recording_surfaces.h"
#include "sim/simulator.h"
#include "sim_bench.h"
#include "ui_queue.h"

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

// Surfaces that hand calls for a page to the page, on its thread, in the
// order they came, as the main window does. A test's surfaces derive from
// it and Post what the page is to hear.
template <typename Page>
class PageSurfaces : public RecordingSurfaces {
  public:
    // Calls made while the page is nullptr are dropped.
    void SetPage(Page* page) {
        std::lock_guard lock(pageMu_);
        page_ = page;
    }

  protected:
    template <typename F>
    void Post(F f) {
        std::lock_guard lock(pageMu_);
        if (page_ == nullptr) return;
        Page* page = page_;
        queue_.Post([page, f] { f(page); });
    }

  private:
    std::mutex pageMu_;
    TUiQueue queue_;
    Page* page_ = nullptr;  // guarded by pageMu_
};

// A page shown on a model of its own, the model reporting to `Surfaces`
// (a PageSurfaces of the page).
template <typename Page, typename Surfaces>
struct PageFixture {
    std::unique_ptr<SimBench> bench;
    Surfaces ui;
    std::unique_ptr<TModel> model = std::make_unique<TModel>(ui);
    TOperations ops{*model};
    std::unique_ptr<Page> page;

    PageFixture() {
        page = std::make_unique<Page>(*model, ops, ui);
        ui.SetPage(page.get());
        page->resize(780, 450);
        page->show();
    }
    ~PageFixture() {
        Release();
        page.reset();
        bench.reset();
    }
    PageFixture(const PageFixture&) = delete;
    PageFixture& operator=(const PageFixture&) = delete;

    // Ends every worker and polling job; nothing reaches the page after.
    void Release() {
        ui.SetPage(nullptr);
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
        return testing::AddDevice(*model, port, address, code);
    }
    // Selects the regulator and shows it, as the main window does.
    void Show(RegulatorRef ref) {
        ui.Select(ref);
        page->ShowRegulator(ref);
    }
    template <typename T>
    T* Find(const QString& name) const {
        return page->template findChild<T*>(name);
    }
};

}  // namespace zorvat::testing
