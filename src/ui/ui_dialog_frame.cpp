#include "ui_dialog_frame.h"

#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "Devices.h"
#include "message_box.h"
#include "model.h"
#include "ui_number_edit.h"

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

bool TDialogFrame::ReadDevice(std::uint8_t d, const std::function<ExchangeEnd()>& read) {
    TDevice* found = FindDevice(d);
    if (found == nullptr) return false;
    device_ = found;
    deviceIndex_ = found->Chnls[1]->DeviceIndex;
    return RunRead(read);
}

void TDialogFrame::ClearStopRequest() {
    // The stop the operator just asked of a running search, read or write
    // stays asked: this exchange would otherwise undo it.
    if (!model_.SearchThread && !model_.ReadThread && !model_.WriteThread) model_.StopFlag = false;
}

bool TDialogFrame::RunRead(const std::function<ExchangeEnd()>& read) {
    if (busy_) return false;
    busy_ = true;
    ClearStopRequest();
    const bool done = read().Done();
    busy_ = false;
    return done;
}

void TDialogFrame::RunWrite(const std::function<ExchangeEnd()>& write) {
    if (busy_) return;
    busy_ = true;
    const QPointer<QWidget> focused = focusWidget();
    setEnabled(false);
    ClearStopRequest();
    const ExchangeEnd end = write();
    setEnabled(true);
    // Disabling took the focus away; the focus goes back where it was.
    if (focused != nullptr) focused->setFocus();
    busy_ = false;
    if (end.Done()) {
        accept();
        return;
    }
    Inform(this, QStringLiteral("Запись не завершена.") + QString::fromStdString(end.message),
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

void TDialogFrame::LeaveFocusedField() {
    if (auto* edit = qobject_cast<TNumberEdit*>(focusWidget())) edit->Leave();
}

QHBoxLayout* TDialogFrame::CloseButtonRow(const std::function<void()>& write, const QString& okText,
                                          const char* okName, const char* cancelName) {
    auto* cancel = new QPushButton(QStringLiteral("Отмена"), this);
    cancel->setObjectName(QLatin1String(cancelName));
    auto* ok = new QPushButton(okText, this);
    ok->setObjectName(QLatin1String(okName));
    for (QPushButton* button : {cancel, ok}) {
        button->setAutoDefault(false);
        button->setMinimumWidth(90);
    }
    connect(cancel, &QPushButton::clicked, this, &TDialogFrame::CancelBtnClick);
    connect(ok, &QPushButton::clicked, this, [write] { write(); });

    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(cancel);
    row->addWidget(ok);
    return row;
}

void TDialogFrame::LayOut(QLayout* body, const std::function<void()>& write,
                          const QMargins& margins, int gap) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(margins);
    layout->addLayout(body);
    layout->addSpacing(gap);
    layout->addLayout(CloseButtonRow(write));
    FixSize();
}

void TDialogFrame::FixSize() {
    adjustSize();
    setFixedSize(sizeHint());
}

}  // namespace zorvat
