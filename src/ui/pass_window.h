// The dialog "Пароли": the three passwords of one instrument, four
// hexadecimal digits each.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "ui_dialog_frame.h"

class QLineEdit;

namespace zorvat {

class TPassWindow : public TDialogFrame {
    Q_OBJECT
  public:
    explicit TPassWindow(TModel& model, QWidget* parent = nullptr);

    // Reads the passwords of instrument `device` (a device index) and fills
    // the fields. False when the read failed or was stopped.
    bool LoadForDevice(std::uint8_t device);
    // LoadForDevice, then the dialog modally. False when the read failed.
    bool OpenForDevice(std::uint8_t device);

    // What a pasted or dropped text becomes: hexadecimal digits only, upper
    // case, at most four.
    static QString FilterPassword(const QString& text);
    // The stored form: completed on the right with "0" to four characters.
    static QString PadPassword(const QString& text);

  private:
    // The key filter of the three fields; true when the key is dealt with.
    bool fPass1KeyPress(QLineEdit* field, QKeyEvent* key);
    void FieldEdited(QLineEdit* field);
    void WriteBtnClick();
    bool eventFilter(QObject* watched, QEvent* event) override;

    std::array<QLineEdit*, 3> fields_{};
    QLineEdit* fPass1 = nullptr;
    QLineEdit* fPass2 = nullptr;
    QLineEdit* fPass3 = nullptr;
};

}  // namespace zorvat
