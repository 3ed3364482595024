// What the settings dialogs share: a fixed modal frame without title-bar
// buttons, the question before closing without a write, the read and write
// runs that report a failed write to the operator, and the row of closing
// buttons.
#pragma once

#include <QDialog>
#include <QMargins>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

#include "settings_exchange.h"

class QHBoxLayout;
class QLayout;

namespace zorvat {

class TModel;
class TDevice;

class TDialogFrame : public QDialog {
    Q_OBJECT
  public:
    // Escape and the window manager's close end here too: they ask as
    // "Отмена" does.
    void reject() override;

  protected:
    TDialogFrame(TModel& model, QWidget* parent);

    // Finds the instrument behind device index `d` and, when there is one
    // with a channel-1 record (through which the exchanges address it), makes
    // it the dialog's (device_, deviceIndex_) and runs `read` through RunRead.
    // True when the read succeeded.
    bool ReadDevice(std::uint8_t d, const std::function<ExchangeEnd()>& read);

    // Runs a read of the instrument, which may be several exchanges: `read`
    // says how the first that did not complete ended, or that all were
    // done. True when done. A stop request left over from an earlier
    // operation is cleared first.
    bool RunRead(const std::function<ExchangeEnd()>& read);
    // Runs a write, which may be several exchanges, as RunRead does. Done
    // closes the dialog with OK; otherwise its message is shown after
    // "Запись не завершена." and the dialog stays open. While the write runs
    // (its waits for the port let events through) the dialog is disabled
    // and its buttons do nothing.
    void RunWrite(const std::function<ExchangeEnd()>& write);

    // "Отмена": closes with Cancel unless the operator answers No.
    void CancelBtnClick();

    // A number field that has the focus is left first, as a click elsewhere
    // would do: its value is brought within its limits.
    void LeaveFocusedField();

    // The closing row at the bottom right: "Отмена" (it asks first) and the
    // write button, which calls `write`. Neither is a default button: Enter in
    // a field must never write to an instrument.
    QHBoxLayout* CloseButtonRow(const std::function<void()>& write,
                                const QString& okText = QStringLiteral("Ok"),
                                const char* okName = "WriteBtn",
                                const char* cancelName = "CancelBtn");

    // Lays the dialog out as the small ones are: `body` above the closing
    // row (see CloseButtonRow), `gap` between them and `margins` around; then
    // fixes the size to what that needs.
    void LayOut(QLayout* body, const std::function<void()>& write,
                const QMargins& margins = QMargins(16, 14, 16, 12), int gap = 12);

    bool Busy() const { return busy_; }

    TModel& model_;
    // The instrument being edited: null until ReadDevice finds one.
    TDevice* device_ = nullptr;
    std::uint8_t deviceIndex_ = 0;

  private:
    TDevice* FindDevice(std::uint8_t d) const;
    // Lowers StopFlag for the dialog's exchange unless a search, read or
    // write runs (whose stop it would undo).
    void ClearStopRequest();
    // Fixes the size to what the layout needs now.
    void FixSize();

    bool busy_ = false;
};

}  // namespace zorvat
