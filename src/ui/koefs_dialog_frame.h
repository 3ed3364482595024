// What the settings dialogs share: a fixed frame without title-bar buttons,
// the question before closing without a write, and the read and write runs
// that report a failed write to the operator.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>

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

    // The instrument behind device index `d`, or null when there is none (or
    // it has no channel-1 record, through which the exchanges address it).
    TDevice* FindDevice(std::uint8_t d) const;

    // Runs a read of the instrument; true when it succeeded. A stop request
    // left over from an earlier operation is cleared first.
    bool RunRead(const std::function<bool()>& read);
    // Runs a write; an empty message closes the dialog with OK, any other is
    // shown after "Запись не завершена." and the dialog stays open. Buttons
    // pressed while the write waits for the port are ignored.
    void RunWrite(const std::function<std::string()>& write);

    // "Отмена": closes with Cancel unless the operator answers No.
    void CancelBtnClick();

    // Fixes the size to what the layout needs now.
    void FixSize();

    bool Busy() const { return busy_; }

    TModel& model_;

  private:
    bool busy_ = false;
};

}  // namespace zorvat
