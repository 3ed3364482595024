#include "console_surfaces.h"

#include <iostream>

#include <cstdio>

namespace zorvat {

void ConsoleSurfaces::Print(const std::string& line) const {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

void ConsoleSurfaces::AddErrorLine(const std::string& line) {
    std::lock_guard lock(mu_);
    errors_.push_back(line);
    Print(line);
}

void ConsoleSurfaces::AddErrorLineCapped(const std::string& line, std::size_t) {
    AddErrorLine(line);
}

void ConsoleSurfaces::SetStatus(const std::string& text) {
    std::lock_guard lock(mu_);
    if (text == status_) return;
    status_ = text;
    if (!quiet_ && !text.empty()) Print(text);
}

std::string ConsoleSurfaces::Status() const {
    std::lock_guard lock(mu_);
    return status_;
}

void ConsoleSurfaces::SetProgress(int percent) {
    std::lock_guard lock(mu_);
    // Steps of ten are enough on a terminal.
    if (quiet_ || percent == 0 || percent / 10 == lastProgress_ / 10) {
        lastProgress_ = percent;
        return;
    }
    lastProgress_ = percent;
    Print("  " + std::to_string(percent) + " %");
}

void ConsoleSurfaces::SetRegulatorValue(RegulatorRef regulator, const std::string& text) {
    std::function<void(RegulatorRef, const std::string&)> fn;
    {
        std::lock_guard lock(mu_);
        fn = onValue_;
    }
    if (fn) fn(regulator, text);
}

std::optional<RegulatorRef> ConsoleSurfaces::SelectedRegulator() const {
    std::lock_guard lock(mu_);
    return selected_;
}

void ConsoleSurfaces::SetFoundMemo(const std::vector<std::string>& lines) {
    std::lock_guard lock(mu_);
    if (quiet_) return;
    for (const auto& line : lines)
        Print(line);
}

void ConsoleSurfaces::ChartPointAdded(RegulatorRef regulator, double x, double y) {
    std::function<void(RegulatorRef, double, double)> fn;
    {
        std::lock_guard lock(mu_);
        fn = onPoint_;
    }
    if (fn) fn(regulator, x, y);
}

void ConsoleSurfaces::ShowProgramTime(RegulatorRef, int, const std::string&) {}

void ConsoleSurfaces::SearchLeftOut(const std::string& port, int address, TResult code) {
    std::lock_guard lock(mu_);
    misses_.push_back({port, address, code});
}

void ConsoleSurfaces::PortAccessDenied(const std::string& port, const std::string& detail) {
    std::lock_guard lock(mu_);
    std::cerr << "note: " << port << ": " << detail << "\n";
}

void ConsoleSurfaces::RegulatorWriteEnded(RegulatorRef, const RegulatorWrite& report) {
    std::lock_guard lock(mu_);
    lastWrite_ = report;
}

std::vector<ConsoleSurfaces::LeftOut> ConsoleSurfaces::SearchMisses() const {
    std::lock_guard lock(mu_);
    return misses_;
}

std::optional<RegulatorWrite> ConsoleSurfaces::LastWrite() const {
    std::lock_guard lock(mu_);
    return lastWrite_;
}

void ConsoleSurfaces::Select(std::optional<RegulatorRef> regulator) {
    std::lock_guard lock(mu_);
    selected_ = regulator;
}

void ConsoleSurfaces::OnValue(std::function<void(RegulatorRef, const std::string&)> fn) {
    std::lock_guard lock(mu_);
    onValue_ = std::move(fn);
}

void ConsoleSurfaces::OnPoint(std::function<void(RegulatorRef, double, double)> fn) {
    std::lock_guard lock(mu_);
    onPoint_ = std::move(fn);
}

std::vector<std::string> ConsoleSurfaces::ErrorLines() const {
    std::lock_guard lock(mu_);
    return errors_;
}

}  // namespace zorvat
