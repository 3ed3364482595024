// What the settings dialog tests share: simulated instruments behind a model
// that records its surfaces, and answers to the dialogs' message boxes.
#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>
#include <QWidget>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "Devices.h"
#include "message_box.h"
#include "model.h"
#include "recording_surfaces.h"
#include "sim/simulator.h"

namespace zorvat::testing {

class DialogBench {
  public:
    static constexpr unsigned kBaud = 19200;
    static constexpr const char* kPort = "COM3";
    static constexpr int kAddress = 7;

    DialogBench() {
        sim.UseTemporaryLinkDir();
        sim.SetDefaultBaud(kBaud);
        sim.SetTurnaround(std::chrono::milliseconds(1));
        sim.SetSpeed(0);
        sim.AddPort(kPort);
        previous_ = SetMessageHandler([this](const MessageRequest& request) {
            messages.push_back(request.text);
            return answer;
        });
    }
    ~DialogBench() {
        SetMessageHandler(previous_);
        model.reset();
        sim.Stop();
        sim.UnregisterPortMap();
    }
    DialogBench(const DialogBench&) = delete;
    DialogBench& operator=(const DialogBench&) = delete;

    // One instrument of model `code` at kPort/kAddress, in the simulator and
    // in the model as a search would have found it.
    std::uint8_t Start(std::uint8_t code) {
        sim.AddInstrument(kPort, kAddress, code);
        sim.RegisterPortMap();
        sim.Start();
        auto device = std::make_unique<TDevice>();
        const ModelInfo* info = FindModel(code);
        device->Name = info ? info->name : "";
        device->Present = true;
        device->ParentPort = kPort;
        device->Address = std::to_string(kAddress);
        device->Baudrate = static_cast<std::int32_t>(kBaud);
        device->ModelCode = code;
        const auto d = static_cast<std::uint8_t>(model->DeviceList.Count());
        device->Regs[1] = std::make_unique<TParams>(d, 1);
        device->Regs[2] = std::make_unique<TParams>(d, 2);
        if (info && info->regulators == 1) device->Regs[2]->Present = false;
        for (int c = 1; c <= (info ? info->channels : 1); ++c) {
            device->Chnls[static_cast<std::size_t>(c)] =
                std::make_unique<TChnl>(d, static_cast<std::uint8_t>(c));
        }
        model->DeviceList.Append(std::move(device));
        return d;
    }

    TDevice& Device(std::uint8_t d) { return *model->Device(d); }
    std::string Param(const std::string& number) const {
        return sim.Param(kPort, kAddress, number).value_or("?");
    }
    void SetParam(const std::string& number, const std::string& value) {
        sim.SetParam(kPort, kAddress, number, value);
    }

    sim::Simulator sim;
    RecordingSurfaces surfaces;
    std::unique_ptr<TModel> model = std::make_unique<TModel>(surfaces);
    // Texts of the message boxes shown, and the button every one gets.
    std::vector<QString> messages;
    QMessageBox::StandardButton answer = QMessageBox::Yes;

  private:
    MessageHandler previous_;
};

// Shows `dialog` without its modal loop and makes it the active window, so
// that its fields take the focus as they do for the operator.
inline bool ShowActive(QWidget& dialog) {
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    return QTest::qWaitForWindowActive(&dialog);
}

// Types `keys` into `field` after selecting all of it, as an operator
// replacing its contents does.
inline void Retype(QLineEdit* field, const QString& keys) {
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, keys);
}

// Draws `dialog` as it stands; with ZORVAT_SHOTS_DIR set the picture is kept
// there as `name`.png, for a look at the layout.
inline bool Picture(QWidget& dialog, const QString& name) {
    const QPixmap picture = dialog.grab();
    const QByteArray dir = qgetenv("ZORVAT_SHOTS_DIR");
    if (!dir.isEmpty()) picture.save(QString::fromLocal8Bit(dir) + "/" + name + ".png");
    return !picture.isNull() && picture.size() == dialog.size();
}

// Leaves `field` the way the operator does, with Tab.
inline void Leave(QWidget* field) {
    QTest::keyClick(field, Qt::Key_Tab);
}

}  // namespace zorvat::testing
