// The dialog "Управление коммутацией РЕЛЕ": for each relay and measuring
// channel, what the channel's three setpoints and its error event do to the
// relay, and each relay's delay setting.
#pragma once

#include <array>
#include <cstdint>

#include "ui_dialog_frame.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QScrollArea;

namespace zorvat {

// The value of one cell, [relay-1][channel-1][row-1]: rows 1-3 are the
// setpoints, row 4 the error event; each a 2-bit field of the relay table.
using RelayCells = std::array<std::array<std::array<std::uint8_t, 4>, 3>, 4>;

// Relay table bytes -> cell values: byte 3(r-1)+(c-1), bits 2(k-1) and
// 2(k-1)+1. An error field of 3 means nothing and comes back as 0.
RelayCells UnPack(const std::array<std::uint8_t, 12>& relTbl);
// Cell values (each taken modulo 4) -> their bits of `relTbl`; the table has
// no other bits, so every bit is replaced.
void Pack(const RelayCells& cells, std::array<std::uint8_t, 12>& relTbl);

// What the delay list shows for nrL (1, 2, 4, 6, 8 -> items 0..4, any other
// value no item, -1) and what an item stores.
int DelayItem(std::uint8_t nrL);
std::uint8_t DelayValue(int item);

class TFormRELE : public TDialogFrame {
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

    // The window's heights: all three channel groups, or the first only.
    static constexpr int kFullHeight = 464;
    static constexpr int kShortHeight = 256;

  private:
    static constexpr int kRelays = 4;
    static constexpr int kChannels = 3;
    static constexpr int kRows = 4;
    static constexpr int kErrorRow = 4;

    struct CellRef {
        int relay = 1, channel = 1, row = 1;
    };

    void FormShow();
    void SetCell(const CellRef& cell, std::uint8_t value);
    QLabel*& Cell(const CellRef& cell);
    void PopupAt(const CellRef& cell, const QPoint& globalPos);
    void MenuChoice(std::uint8_t value);
    void MenuMajor1Change(int tag, int item);
    void BtnERClick();
    bool eventFilter(QObject* watched, QEvent* event) override;

    std::uint8_t channelMask_ = 7;
    std::uint8_t relayMask_ = 7;

    RelayCells values_{};
    std::array<QLabel*, kRelays * kChannels * kRows> cells_{};
    CellRef popupCell_;
    std::array<QComboBox*, kRelays> delayLists_{};
    std::array<QLabel*, kRelays> relayHeads_{};
    std::array<QGroupBox*, kChannels> groups_{};
    QWidget* content_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QMenu* PopUstav = nullptr;
    QMenu* PopError = nullptr;
};

}  // namespace zorvat
