// The dialog "Пароли": the three passwords of one instrument, four
// hexadecimal digits each.
#pragma once

#include <QDialog>
#include <cstdint>

class QLineEdit;
class QPushButton;

namespace zorvat {

class TModel;
class TDevice;

class TPassWindow : public QDialog {
    Q_OBJECT
  public:
    explicit TPassWindow(TModel& model, QWidget* parent = nullptr);

    // Reads the passwords of instrument `device` (a device index) and fills
    // the fields. False when the read failed or was stopped.
    bool LoadForDevice(std::uint8_t device);
    // LoadForDevice, then the dialog modally. False when the read failed.
    bool OpenForDevice(std::uint8_t device);

  private:
    TModel& model_;
    TDevice* device_ = nullptr;
    std::uint8_t deviceIndex_ = 0;
};

}  // namespace zorvat
