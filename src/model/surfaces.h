// What the exchanges, workers and polling jobs show on the main window.
//
// The core never touches a widget: it reports through this interface. The
// window implements it with queued calls to its own thread, in the order the
// calls were made; the command-line tool prints; tests record. Every method
// may be called from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "outcome.h"

#include "result_codes.h"

namespace zorvat {

// A regulator as the tree knows it: device index and regulator number.
struct RegulatorRef {
    std::uint8_t device = 0;
    std::uint8_t regulator = 0;
    bool operator==(const RegulatorRef&) const = default;
};

// Operations whose start and end the window shows on its buttons.
enum class Operation {
    Search,
    ReadOne,        // page "Связь"
    ReadRegulator,  // page "Параметры"
    ReadAll,
    Write,
    CheckLink,
    Switch,
    Autotune,
    Program,
};

// How far a regulator write got.
struct RegulatorWrite {
    TResult code = rc::Ok;  // the failure that ended it; Ok when none
    // The fields the instrument took, by their record names ("Setpoint",
    // "Kp"), in the order they were written.
    std::vector<std::string> written;
    std::string failed;  // the field whose write failed; empty when none
};

class TSurfaces {
  public:
    virtual ~TSurfaces() = default;

    // The error window (ErrorLog).
    virtual void ClearErrorLog() {}
    virtual void AddErrorLine(const std::string& line) = 0;
    // The polling job's own lines: the oldest line goes once there are more
    // than `limit`, so the job alone never floods the window.
    virtual void AddErrorLineCapped(const std::string& line, std::size_t limit) = 0;

    // The status text (Status_Msg), the progress bar (0..100), the project state.
    virtual void SetStatus(const std::string& text) = 0;
    virtual std::string Status() const = 0;
    virtual void SetProgress(int percent) = 0;
    virtual void SetProjectChanged(bool changed) = 0;

    // The instrument tree, as the search builds it.
    virtual void ClearTree() {}
    virtual void AddPortNode(const std::string& /*port*/) {}
    virtual void AddDeviceNode(const std::string& /*port*/, std::uint8_t /*device*/,
                               const std::string& /*text*/) {}
    virtual void AddRegulatorNode(RegulatorRef /*regulator*/) {}
    // A regulator line's value column and check mark.
    virtual void SetRegulatorValue(RegulatorRef regulator, const std::string& text) = 0;
    virtual void SetRegulatorChecked(RegulatorRef regulator, bool checked) = 0;
    // The value column of the selected node, whatever it is.
    virtual void ClearSelectedValue() {}
    virtual std::optional<RegulatorRef> SelectedRegulator() const { return std::nullopt; }
    bool IsSelected(RegulatorRef r) const { return SelectedRegulator() == r; }

    // Pages that show a regulator: refilled after its record changed.
    virtual void FillRegulatorPage(RegulatorRef /*regulator*/) {}
    virtual void FillProgramGrid(RegulatorRef /*regulator*/) {}
    // The program's running point: remaining time of row `point` ("1:02:03"),
    // or its own duration again when the point is over.
    virtual void ShowProgramTime(RegulatorRef /*regulator*/, int /*point*/,
                                 const std::string& /*text*/) {}
    virtual void SetProgramStopEnabled(bool /*enabled*/) {}

    // The memo of the page "Связь" (FindedDevmem).
    virtual void SetFoundMemo(const std::vector<std::string>& /*lines*/) {}
    // The search left out `address` of `port` (address 0: the whole port,
    // which did not open) for the reason `code`: no answer or a damaged one,
    // an answer not of the family (-17), software too new (-400). The window
    // shows only the search's own error lines; the command line says why
    // nothing was found.
    virtual void SearchLeftOut(const std::string& /*port*/, int /*address*/, TResult /*code*/) {}
    // The regulator write of the page "Параметры" ended; the window shows
    // its error lines only.
    virtual void RegulatorWriteEnded(RegulatorRef /*regulator*/, const RegulatorWrite& /*report*/) {
    }

    // The chart: a point was added to a regulator's series (the series is in
    // the record); the time axis stops being fixed.
    virtual void ChartPointAdded(RegulatorRef /*regulator*/, double /*x*/, double /*y*/) {}
    virtual void SetTimeAxisAutomatic() {}
    virtual bool AutoUpdate() const { return false; }

    // An operation started or ended: the window turns its button into the stop
    // form and back, enables and disables what the operation's rules say.
    virtual void OperationStarted(Operation /*op*/) {}
    virtual void OperationFinished(Operation /*op*/, Outcome /*outcome*/) {}

    // A regulator switch or an autotune switch ended: on failure the window
    // puts its button back.
    virtual void RegulatorSwitched(RegulatorRef /*regulator*/, bool /*on*/, bool /*succeeded*/) {}
    virtual void AutotuneSwitched(RegulatorRef /*regulator*/, bool /*on*/, bool /*succeeded*/) {}

    // Runs `fn` on the window's thread and waits for it (never called from
    // that thread). Headless surfaces run it at once.
    virtual void RunOnUiAndWait(const std::function<void()>& fn) { fn(); }
    // Lets the window's thread process pending events while an exchange that
    // runs on it waits for a port.
    virtual void ProcessEvents() {}
    // The account may not open `port`'s device (the first time in this run
    // for that port): `detail` says why and how to mend it (the dialout
    // group on Linux). Any thread.
    virtual void PortAccessDenied(const std::string& /*port*/, const std::string& /*detail*/) {}
    // A wait of the window's own between exchanges (a pause that lets events
    // other than the operator's run) begins and ends: to the window it is
    // part of the exchange.
    virtual void UiWaitBegins() {}
    virtual void UiWaitEnds() {}
};

// Surfaces that show nothing: a model whose reports nobody watches (a
// benchmark, a file loaded to be listed).
class TQuietSurfaces : public TSurfaces {
  public:
    void AddErrorLine(const std::string&) override {}
    void AddErrorLineCapped(const std::string&, std::size_t) override {}
    void SetStatus(const std::string&) override {}
    std::string Status() const override { return {}; }
    void SetProgress(int) override {}
    void SetProjectChanged(bool) override {}
    void SetRegulatorValue(RegulatorRef, const std::string&) override {}
    void SetRegulatorChecked(RegulatorRef, bool) override {}
};

// The current time as the error lines show it: "12:04:31".
std::string TimeText();

}  // namespace zorvat
