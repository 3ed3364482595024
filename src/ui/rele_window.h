// The dialog "Управление коммутацией РЕЛЕ": for each relay and measuring
// channel, what the channel's three setpoints and its error event do to the
// relay, and each relay's delay setting.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>

class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;

namespace zorvat {

class TModel;
class TDevice;

// The value of one cell: relay 1..4, channel 1..3, row 1..4 (rows 1-3 the
// setpoints, row 4 the error event); each a 2-bit field of the relay table.
using RelayCells = std::array<std::array<std::array<std::uint8_t, 4>, 3>, 4>;

// Relay table bytes -> cell values. An error field of 3 means nothing and
// comes back as 0.
RelayCells UnPack(const std::array<std::uint8_t, 12>& relTbl);
// Cell values (each taken modulo 4) -> their bits of `relTbl`.
void Pack(const RelayCells& cells, std::array<std::uint8_t, 12>& relTbl);

class TFormRELE : public QDialog {
    Q_OBJECT
  public:
    explicit TFormRELE(TModel& model, QWidget* parent = nullptr);

    // Reads the relay table of instrument `device` (a device index) and fills
    // the window. `channelMask`: 7 for a three-channel instrument, 1 for one
    // channel; `relayMask`: bit r-1 set when relay r is fitted (the
    // instrument's RelayMask). False when the read failed or was stopped.
    bool LoadForDevice(std::uint8_t device, std::uint8_t channelMask, std::uint8_t relayMask);
    // LoadForDevice, then the window modally. False when the read failed.
    bool OpenForDevice(std::uint8_t device, std::uint8_t channelMask, std::uint8_t relayMask);

  private:
    TModel& model_;
    TDevice* device_ = nullptr;
    std::uint8_t deviceIndex_ = 0;
};

}  // namespace zorvat
