// Surfaces that remember what was reported, for tests: every call becomes
// one line of text ("error: ...", "status: ...", "progress: 40").
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "surfaces.h"

namespace zorvat {

// "search", "read-one", "write", ... as the recorded events name them.
const char* OperationName(Operation op);
// "" for an operation done, " (stopped)", " (failed)".
const char* OutcomeTail(Outcome outcome);

class RecordingSurfaces : public TSurfaces {
  public:
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
    void SearchLeftOut(const std::string& port, int address, TResult code) override;
    void PortAccessDenied(const std::string& port, const std::string& detail) override;
    void ChartPointAdded(RegulatorRef regulator, double x, double y) override;
    void SetTimeAxisAutomatic() override;
    bool AutoUpdate() const override;
    void OperationStarted(Operation op) override;
    void OperationFinished(Operation op, Outcome outcome) override;

    // Test controls.
    void Select(std::optional<RegulatorRef> regulator);
    void SetAutoUpdate(bool on);

    // What was reported, in order.
    std::vector<std::string> Events() const;
    // The error window as it stands now.
    std::vector<std::string> ErrorLog() const;
    // The error lines without their leading time ("12:04:31").
    std::vector<std::string> ErrorLogWithoutTime() const;
    std::vector<int> Progress() const;
    std::string RegulatorValue(RegulatorRef regulator) const;
    bool RegulatorChecked(RegulatorRef regulator) const;
    std::vector<std::string> Tree() const;
    std::vector<std::string> FoundMemo() const;
    // What the search left out: "COM1 5: -17" (address 0: the port).
    std::vector<std::string> LeftOut() const;
    bool ProjectChanged() const;
    void Clear();

  private:
    void Record(std::string event);

    mutable std::mutex mu_;
    std::vector<std::string> events_;
    std::vector<std::string> errorLog_;
    std::vector<int> progress_;
    std::vector<std::string> tree_;
    std::vector<std::string> memo_;
    std::vector<std::string> leftOut_;
    std::vector<std::pair<RegulatorRef, std::string>> values_;
    std::vector<std::pair<RegulatorRef, bool>> checks_;
    std::string status_;
    std::optional<RegulatorRef> selected_;
    bool autoUpdate_ = false;
    bool projectChanged_ = false;
};

}  // namespace zorvat
