// Surfaces of the command-line tool: what the window would show goes to
// standard error as lines ("12:04:31 Ошибка!(-14) ...", "status: ...",
// "progress: 40 %"); results are the tool's own business on standard output.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "surfaces.h"

namespace zorvat {

class ConsoleSurfaces : public TSurfaces {
  public:
    // quiet: only error lines, no status or progress.
    explicit ConsoleSurfaces(bool quiet = false) : quiet_(quiet) {}

    void AddErrorLine(const std::string& line) override;
    void AddErrorLineCapped(const std::string& line, std::size_t limit) override;
    void SetStatus(const std::string& text) override;
    std::string Status() const override;
    void SetProgress(int percent) override;
    void SetProjectChanged(bool) override {}
    void SetRegulatorValue(RegulatorRef regulator, const std::string& text) override;
    void SetRegulatorChecked(RegulatorRef, bool) override {}
    std::optional<RegulatorRef> SelectedRegulator() const override;
    void SetFoundMemo(const std::vector<std::string>& lines) override;
    void ChartPointAdded(RegulatorRef regulator, double x, double y) override;
    void ShowProgramTime(RegulatorRef regulator, int point, const std::string& text) override;
    void SearchLeftOut(const std::string& port, int address, TResult code) override;
    void PortAccessDenied(const std::string& port, const std::string& detail) override;
    void RegulatorWriteEnded(RegulatorRef regulator, const RegulatorWrite& report) override;

    // The regulator the tool works on plays the selected one.
    void Select(std::optional<RegulatorRef> regulator);
    // Called for every value text and every chart point (the watch command).
    void OnValue(std::function<void(RegulatorRef, const std::string&)> fn);
    void OnPoint(std::function<void(RegulatorRef, double, double)> fn);
    // Every error line so far (for --json output).
    std::vector<std::string> ErrorLines() const;

    // What the search left out and why, in the order it met them.
    struct LeftOut {
        std::string port;
        int address = 0;  // 0: the port did not open
        TResult code = 0;
    };
    std::vector<LeftOut> SearchMisses() const;
    // The report of the last regulator write; nullopt when none ended.
    std::optional<RegulatorWrite> LastWrite() const;

  private:
    void Print(const std::string& line) const;

    mutable std::mutex mu_;
    bool quiet_;
    std::string status_;
    int lastProgress_ = -1;
    std::optional<RegulatorRef> selected_;
    std::vector<std::string> errors_;
    std::vector<LeftOut> misses_;
    std::optional<RegulatorWrite> lastWrite_;
    std::function<void(RegulatorRef, const std::string&)> onValue_;
    std::function<void(RegulatorRef, double, double)> onPoint_;
};

}  // namespace zorvat
