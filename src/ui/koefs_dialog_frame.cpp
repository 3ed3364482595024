#include "koefs_dialog_frame.h"

#include <utility>

#include "Devices.h"
#include "message_box.h"
#include "model.h"

namespace zorvat {

TDialogFrame::TDialogFrame(TModel& model, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      model_(model) {
    setModal(true);
}

TDevice* TDialogFrame::FindDevice(std::uint8_t d) const {
    TDevice* device = model_.Device(d);
    if (device == nullptr || !device->Chnls[1] || !device->Regs[1]) return nullptr;
    return device;
}

bool TDialogFrame::RunRead(const std::function<bool()>& read) {
    if (busy_) return false;
    busy_ = true;
    model_.StopFlag = false;
    const bool failed = read();
    busy_ = false;
    return !failed;
}

void TDialogFrame::RunWrite(const std::function<std::string()>& write) {
    if (busy_) return;
    busy_ = true;
    model_.StopFlag = false;
    const std::string message = write();
    busy_ = false;
    if (message.empty()) {
        accept();
        return;
    }
    Inform(this, QStringLiteral("Запись не завершена.") + QString::fromStdString(message),
           MessageKind::Warning);
}

void TDialogFrame::CancelBtnClick() {
    if (busy_) return;
    const auto answer = ShowMessage(
        {this,
         MessageKind::Warning,
         {},
         QStringLiteral("Все незаписанные в прибор изменения будут потеряны. Вы действительно "
                        "хотите закрыть окно?"),
         QMessageBox::Yes | QMessageBox::No,
         QMessageBox::No});
    if (answer != QMessageBox::No) done(QDialog::Rejected);
}

void TDialogFrame::reject() {
    CancelBtnClick();
}

void TDialogFrame::FixSize() {
    adjustSize();
    setFixedSize(sizeHint());
}

}  // namespace zorvat
