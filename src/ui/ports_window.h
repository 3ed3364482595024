// The dialog "Порты": what COM1 to COM10 stand for on this machine, and the
// choice of a serial device found here or a device server's network
// address for each, saved to ports.ini in the program's folder.
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <string>
#include <thread>
#include <vector>

#include "port_scan.h"

class QComboBox;
class QLabel;
class QTableWidget;

namespace zorvat {
class TUiQueue;
}

namespace zorvat {

class TPortsWindow : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kPorts = 10;

    explicit TPortsWindow(std::string programDir, QWidget* parent = nullptr);
    // Waits for the checks still running (each ends within its time-out).
    ~TPortsWindow() override;

    // The device chosen for COMn (1..kPorts), as it would be saved; empty for
    // the default.
    QString Choice(int n) const;
    // What the last check of COMn said; empty while it runs.
    QString CheckResult(int n) const;
    // Whether every check started so far has ended.
    bool ChecksDone() const { return running_ == 0; }

  private:
    void Fill();
    void Rescan();
    void CheckAll();
    void Check(int n);
    void ShowCheck(int n, const QString& device, bool ok, const QString& text);
    void OkBtnClick();

    std::string programDir_;
    std::vector<SerialDeviceInfo> devices_;
    QTableWidget* table_ = nullptr;
    std::array<QComboBox*, kPorts> choices_{};
    std::array<bool, kPorts> fixed_{};  // set by the environment or the program: not editable
    TUiQueue* queue_;                   // the checks' results, to this window's thread
    std::vector<std::thread> checks_;
    int running_ = 0;
};

}  // namespace zorvat
