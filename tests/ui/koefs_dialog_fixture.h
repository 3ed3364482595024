// What the settings dialog tests share: simulated instruments behind a model
// that records its surfaces, and answers to the dialogs' message boxes.
#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>
#include <QWidget>
#include <memory>
#include <string>

#include "th_search.h"
#include "ui_fixture.h"

namespace zorvat::testing {

// One simulated instrument at kPort/kAddress behind a model that records its
// surfaces; the message boxes are answered with `answer` and their texts
// kept in `messages`.
class DialogBench : public SimBench, public MessageAnswers {
  public:
    static constexpr const char* kPort = "COM3";
    static constexpr int kAddress = 7;

    DialogBench() { sim.AddPort(kPort); }
    // The model lets go of the port before the simulator stops.
    ~DialogBench() { model.reset(); }
    DialogBench(const DialogBench&) = delete;
    DialogBench& operator=(const DialogBench&) = delete;

    // One instrument of model `code` at kPort/kAddress, in the simulator and
    // in the model as a search would have found it.
    std::uint8_t Start(std::uint8_t code) {
        Add(kPort, kAddress, code);
        SimBench::Start();
        return AddDevice(*model, kPort, kAddress, code);
    }

    TDevice& Device(std::uint8_t d) { return *model->Device(d); }
    std::string Param(const std::string& number) const {
        return sim.Param(kPort, kAddress, number).value_or("?");
    }
    void SetParam(const std::string& number, const std::string& value) {
        sim.SetParam(kPort, kAddress, number, value);
    }

    RecordingSurfaces surfaces;
    std::unique_ptr<TModel> model = std::make_unique<TModel>(surfaces, MakePortJobs);
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

// Draws `dialog` as it stands; with ZORVAT_SHOTS set the picture is kept
// there as `name`.png, for a look at the layout.
inline bool Picture(QWidget& dialog, const QString& name) {
    const QPixmap picture = dialog.grab();
    const QByteArray dir = qgetenv("ZORVAT_SHOTS");
    if (!dir.isEmpty()) picture.save(QString::fromLocal8Bit(dir) + "/" + name + ".png");
    return !picture.isNull() && picture.size() == dialog.size();
}

// Leaves `field` the way the operator does, with Tab.
inline void Leave(QWidget* field) {
    QTest::keyClick(field, Qt::Key_Tab);
}

}  // namespace zorvat::testing
