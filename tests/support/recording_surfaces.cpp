#include "recording_surfaces.h"

#include <algorithm>
#include <cstdio>

namespace zorvat {

namespace {
std::string Ref(RegulatorRef r) {
    return std::to_string(r.device) + "/" + std::to_string(r.regulator);
}
}  // namespace

const char* OperationName(Operation op) {
    switch (op) {
        case Operation::Search:
            return "search";
        case Operation::ReadOne:
            return "read-one";
        case Operation::ReadRegulator:
            return "read-regulator";
        case Operation::ReadAll:
            return "read-all";
        case Operation::Write:
            return "write";
        case Operation::CheckLink:
            return "check-link";
        case Operation::Switch:
            return "switch";
        case Operation::Autotune:
            return "autotune";
        case Operation::Program:
            return "program";
    }
    return "?";
}

const char* OutcomeTail(Outcome outcome) {
    switch (outcome) {
        case Outcome::Done:
            return "";
        case Outcome::Stopped:
            return " (stopped)";
        case Outcome::Failed:
            return " (failed)";
    }
    return " (?)";
}

void RecordingSurfaces::Record(std::string event) {
    events_.push_back(std::move(event));
}

void RecordingSurfaces::ClearErrorLog() {
    std::lock_guard lock(mu_);
    errorLog_.clear();
    Record("error-log cleared");
}

void RecordingSurfaces::AddErrorLine(const std::string& line) {
    std::lock_guard lock(mu_);
    errorLog_.push_back(line);
    Record("error: " + line);
}

void RecordingSurfaces::AddErrorLineCapped(const std::string& line, std::size_t limit) {
    std::lock_guard lock(mu_);
    if (errorLog_.size() > limit) errorLog_.erase(errorLog_.begin());
    errorLog_.push_back(line);
    Record("error: " + line);
}

void RecordingSurfaces::SetStatus(const std::string& text) {
    std::lock_guard lock(mu_);
    status_ = text;
    Record("status: " + text);
}

std::string RecordingSurfaces::Status() const {
    std::lock_guard lock(mu_);
    return status_;
}

void RecordingSurfaces::SetProgress(int percent) {
    std::lock_guard lock(mu_);
    progress_.push_back(percent);
    Record("progress: " + std::to_string(percent));
}

void RecordingSurfaces::SetProjectChanged(bool changed) {
    std::lock_guard lock(mu_);
    projectChanged_ = changed;
    Record(changed ? "project: Проект изменён" : "project: Нет изменений");
}

void RecordingSurfaces::ClearTree() {
    std::lock_guard lock(mu_);
    tree_.clear();
    Record("tree cleared");
}

void RecordingSurfaces::AddPortNode(const std::string& port) {
    std::lock_guard lock(mu_);
    tree_.push_back("Порт " + port);
    Record("tree: Порт " + port);
}

void RecordingSurfaces::AddDeviceNode(const std::string&, std::uint8_t device,
                                      const std::string& text) {
    std::lock_guard lock(mu_);
    tree_.push_back("  " + text + " [" + std::to_string(device) + "]");
    Record("tree: " + text);
}

void RecordingSurfaces::AddRegulatorNode(RegulatorRef regulator) {
    std::lock_guard lock(mu_);
    tree_.push_back("    Регулятор " + std::to_string(regulator.regulator));
    Record("tree: regulator " + Ref(regulator));
}

void RecordingSurfaces::SetRegulatorValue(RegulatorRef regulator, const std::string& text) {
    std::lock_guard lock(mu_);
    auto it = std::find_if(values_.begin(), values_.end(),
                           [&](const auto& v) { return v.first == regulator; });
    if (it == values_.end()) {
        values_.emplace_back(regulator, text);
    } else {
        it->second = text;
    }
    Record("value " + Ref(regulator) + ": " + text);
}

void RecordingSurfaces::SetRegulatorChecked(RegulatorRef regulator, bool checked) {
    std::lock_guard lock(mu_);
    auto it = std::find_if(checks_.begin(), checks_.end(),
                           [&](const auto& v) { return v.first == regulator; });
    if (it == checks_.end()) {
        checks_.emplace_back(regulator, checked);
    } else {
        it->second = checked;
    }
    Record(std::string(checked ? "check " : "uncheck ") + Ref(regulator));
}

void RecordingSurfaces::ClearSelectedValue() {
    std::lock_guard lock(mu_);
    if (selected_) {
        for (auto& v : values_) {
            if (v.first == *selected_) v.second.clear();
        }
    }
    Record("selected value cleared");
}

std::optional<RegulatorRef> RecordingSurfaces::SelectedRegulator() const {
    std::lock_guard lock(mu_);
    return selected_;
}

void RecordingSurfaces::FillRegulatorPage(RegulatorRef regulator) {
    std::lock_guard lock(mu_);
    Record("fill regulator page " + Ref(regulator));
}

void RecordingSurfaces::FillProgramGrid(RegulatorRef regulator) {
    std::lock_guard lock(mu_);
    Record("fill program grid " + Ref(regulator));
}

void RecordingSurfaces::ShowProgramTime(RegulatorRef regulator, int point,
                                        const std::string& text) {
    std::lock_guard lock(mu_);
    Record("program time " + Ref(regulator) + " point " + std::to_string(point) + ": " + text);
}

void RecordingSurfaces::SetProgramStopEnabled(bool enabled) {
    std::lock_guard lock(mu_);
    Record(enabled ? "stop enabled" : "stop disabled");
}

void RecordingSurfaces::SetFoundMemo(const std::vector<std::string>& lines) {
    std::lock_guard lock(mu_);
    memo_ = lines;
    for (const auto& l : lines)
        Record("memo: " + l);
}

void RecordingSurfaces::SearchLeftOut(const std::string& port, int address, TResult code) {
    std::lock_guard lock(mu_);
    leftOut_.push_back(port + " " + std::to_string(address) + ": " + std::to_string(code));
}

void RecordingSurfaces::ChartPointAdded(RegulatorRef regulator, double x, double y) {
    std::lock_guard lock(mu_);
    char text[96];
    std::snprintf(text, sizeof text, "point %s: %.4f %.3f", Ref(regulator).c_str(), x, y);
    Record(text);
}

void RecordingSurfaces::SetTimeAxisAutomatic() {
    std::lock_guard lock(mu_);
    Record("time axis automatic");
}

bool RecordingSurfaces::AutoUpdate() const {
    std::lock_guard lock(mu_);
    return autoUpdate_;
}

void RecordingSurfaces::OperationStarted(Operation op) {
    std::lock_guard lock(mu_);
    Record(std::string("started ") + OperationName(op));
}

void RecordingSurfaces::OperationFinished(Operation op, Outcome outcome) {
    std::lock_guard lock(mu_);
    Record(std::string("finished ") + OperationName(op) + OutcomeTail(outcome));
}

void RecordingSurfaces::Select(std::optional<RegulatorRef> regulator) {
    std::lock_guard lock(mu_);
    selected_ = regulator;
}

void RecordingSurfaces::SetAutoUpdate(bool on) {
    std::lock_guard lock(mu_);
    autoUpdate_ = on;
}

std::vector<std::string> RecordingSurfaces::Events() const {
    std::lock_guard lock(mu_);
    return events_;
}

std::vector<std::string> RecordingSurfaces::ErrorLog() const {
    std::lock_guard lock(mu_);
    return errorLog_;
}

std::vector<std::string> RecordingSurfaces::ErrorLogWithoutTime() const {
    std::lock_guard lock(mu_);
    std::vector<std::string> lines;
    for (const auto& line : errorLog_) {
        // "hh:mm:ss " or "h:mm:ss " at the start.
        const auto space = line.find(' ');
        const bool timed = space != std::string::npos && space >= 7 && space <= 8 &&
                           line[space - 3] == ':' && line[space - 6] == ':';
        lines.push_back(timed ? line.substr(space) : line);
    }
    return lines;
}

std::vector<int> RecordingSurfaces::Progress() const {
    std::lock_guard lock(mu_);
    return progress_;
}

std::string RecordingSurfaces::RegulatorValue(RegulatorRef regulator) const {
    std::lock_guard lock(mu_);
    for (const auto& v : values_) {
        if (v.first == regulator) return v.second;
    }
    return {};
}

bool RecordingSurfaces::RegulatorChecked(RegulatorRef regulator) const {
    std::lock_guard lock(mu_);
    for (const auto& v : checks_) {
        if (v.first == regulator) return v.second;
    }
    return false;
}

std::vector<std::string> RecordingSurfaces::Tree() const {
    std::lock_guard lock(mu_);
    return tree_;
}

std::vector<std::string> RecordingSurfaces::FoundMemo() const {
    std::lock_guard lock(mu_);
    return memo_;
}

std::vector<std::string> RecordingSurfaces::LeftOut() const {
    std::lock_guard lock(mu_);
    return leftOut_;
}

bool RecordingSurfaces::ProjectChanged() const {
    std::lock_guard lock(mu_);
    return projectChanged_;
}

void RecordingSurfaces::PortAccessDenied(const std::string& port, const std::string& detail) {
    Record("access denied: " + port + ": " + detail);
}

void RecordingSurfaces::Clear() {
    std::lock_guard lock(mu_);
    events_.clear();
    errorLog_.clear();
    progress_.clear();
}

}  // namespace zorvat
