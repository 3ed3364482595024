// The channel settings dialog against simulated instruments: what it shows
// for each kind of instrument, how its fields keep their limits, the checks
// of the discrete inputs, and what reaches the instrument when it writes.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <array>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "IEEE754.h"
#include "message_box.h"
#include "model.h"
#include "recording_surfaces.h"
#include "settings_window.h"
#include "sim/simulator.h"
#include "th_search.h"
#include "ui_number_edit.h"

namespace zorvat {
namespace {

using namespace std::chrono_literals;
using SubDialog = TSettingsWindow::SubDialog;

constexpr unsigned kBaud = 19200;
const std::string kPort = "COM1";
constexpr int kAddress = 1;

// Raises StopFlag once the progress bar reaches a given position, as the
// operator's stop button would in the middle of an exchange.
class StoppingSurfaces : public RecordingSurfaces {
  public:
    void SetProgress(int percent) override {
        RecordingSurfaces::SetProgress(percent);
        if (model != nullptr && stopAt >= 0 && percent >= stopAt) model->StopFlag = true;
    }
    TModel* model = nullptr;
    int stopAt = -1;
};

// One simulated instrument, the model that knows it as device 0, and the
// dialog.
struct Bench {
    explicit Bench(std::uint8_t code) {
        sim.UseTemporaryLinkDir();
        sim.SetDefaultBaud(kBaud);
        sim.SetTurnaround(1ms);
        sim.SetSpeed(0);
        sim.AddPort(kPort);
        sim.AddInstrument(kPort, kAddress, code);
        sim.RegisterPortMap();
        sim.Start();

        model = std::make_unique<TModel>(ui, MakePortJobs);
        ui.model = model.get();
        auto device = std::make_unique<TDevice>();
        const ModelInfo* info = FindModel(code);
        device->Name = info->name;
        device->Present = true;
        device->ParentPort = kPort;
        device->Address = std::to_string(kAddress);
        device->Baudrate = static_cast<std::int32_t>(kBaud);
        device->ModelCode = code;
        device->Regs[1] = std::make_unique<TParams>(0, 1);
        device->Regs[2] = std::make_unique<TParams>(0, 2);
        for (int c = 1; c <= info->channels; ++c) {
            device->Chnls[static_cast<std::size_t>(c)] =
                std::make_unique<TChnl>(0, static_cast<std::uint8_t>(c));
        }
        model->DeviceList.Append(std::move(device));
        window = std::make_unique<TSettingsWindow>(*model);
    }
    ~Bench() {
        window.reset();
        model.reset();
        sim.Stop();
        sim.UnregisterPortMap();
    }

    template <class W>
    W* Find(const char* name) const {
        return window->findChild<W*>(QLatin1String(name));
    }
    TNumberEdit* Edit(const QString& name) const { return window->findChild<TNumberEdit*>(name); }
    TDevice& Device() const { return *model->Device(0); }
    TChnl& Chnl(int n) const { return *Device().Chnls[static_cast<std::size_t>(n)]; }

    // Loads and shows the dialog without a modal loop, so that the test can
    // work it.
    void Open() {
        QVERIFY(window->LoadForDevice(0));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    void Set(const std::string& number, const std::string& text) {
        sim.SetParam(kPort, kAddress, number, text, /*force=*/true);
    }
    void SetReal(const std::string& number, double value) {
        sim.SetReal(kPort, kAddress, number, value);
    }
    QString Param(const std::string& number) const {
        return QString::fromStdString(sim.Param(kPort, kAddress, number).value_or("?"));
    }
    double Real(const std::string& number) const { return sim.Real(kPort, kAddress, number); }

    // The numbers of the parameters written since the last ClearRequests.
    std::vector<std::string> Written() const {
        std::vector<std::string> out;
        for (const std::string& text : sim.RequestTexts(kPort)) {
            const QStringList fields = QString::fromStdString(text).split(u';');
            if (fields.size() > 3 && fields[1] == QLatin1String("38")) {
                out.push_back(fields[2].toStdString());
            }
        }
        return out;
    }

    sim::Simulator sim;
    StoppingSurfaces ui;
    std::unique_ptr<TModel> model;
    std::unique_ptr<TSettingsWindow> window;
};

// Answers every message box: questions with `answer`, the others with OK;
// remembers the texts.
struct Messages {
    Messages() {
        SetMessageHandler([this](const MessageRequest& request) {
            texts << request.text;
            kinds.push_back(request.kind);
            return request.buttons.testFlag(QMessageBox::Yes) ? answer : QMessageBox::Ok;
        });
    }
    ~Messages() { SetMessageHandler({}); }
    QStringList texts;
    std::vector<MessageKind> kinds;
    QMessageBox::StandardButton answer = QMessageBox::Yes;
};

// Types into a numeric field as the operator does: everything selected and
// deleted, then the keys.
void Type(TNumberEdit* edit, const QString& keys) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, keys);
}

// Runs `work` once `dialog` runs modally (the pauses of its loading run
// timers too, so a plain single shot would fire too early).
void WhenShown(QDialog* dialog, std::function<void()> work) {
    auto* timer = new QTimer(dialog);
    QObject::connect(timer, &QTimer::timeout, dialog, [dialog, timer, work = std::move(work)] {
        if (QApplication::activeModalWidget() != dialog) return;
        timer->stop();
        timer->deleteLater();
        work();
    });
    timer->start(10);
}

// The single-precision value the instrument keeps for `value`.
double Single(double value) {
    return static_cast<double>(static_cast<float>(value));
}

double ChannelField(const TChnl& c, const QString& edit) {
    if (edit == QLatin1String("KolZnEdit")) return c.PrcS;
    if (edit == QLatin1String("KolUsrEdit")) return c.nSu;
    if (edit == QLatin1String("KoefShkalEdit")) return c.GAin;
    if (edit == QLatin1String("LinSmeshEdit")) return c.SHFn;
    if (edit == QLatin1String("CutLowEdit")) return c.brdL;
    if (edit == QLatin1String("Ust1valEdit")) return c.SEt1;
    if (edit == QLatin1String("Ust2gistEdit")) return c.HYS2;
    return std::nan("");
}

const QString kDifferentInputs =
    QStringLiteral("Разные дискретные входы не могут быть настроены на одну функцию.");
const QString kBothStop1 = QStringLiteral("Нельзя одновременно устанавливать Sp1 и Sp1.2");
const QString kBothStop2 = QStringLiteral("Нельзя одновременно устанавливать Sp2 и Sp2.2");
const QString kNotWritten = QStringLiteral("Запись не завершена.");

}  // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void opensForEachModel_data();
    void opensForEachModel();
    void calculatedChannel();
    void failedReadKeepsDialogClosed_data();
    void failedReadKeepsDialogClosed();
    void discreteInputChecks_data();
    void discreteInputChecks();
    void fieldsKeepLimitsOnLeave_data();
    void fieldsKeepLimitsOnLeave();
    void failedWriteKeepsDialogOpen_data();
    void failedWriteKeepsDialogOpen();
    void editsReachTheInstrument();
    void cancelAsksFirst_data();
    void cancelAsksFirst();
    void buttonsOpenOtherDialogs_data();
    void buttonsOpenOtherDialogs();
};

void SettingsWindowTest::opensForEachModel_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("tabs");
    QTest::addColumn<int>("dinFunctions");
    QTest::addColumn<bool>("channelChecks");
    QTest::addColumn<bool>("output1");
    QTest::addColumn<bool>("output2");

    const QStringList one = {QStringLiteral("Канал 1")};
    const QStringList three = {QStringLiteral("Канал 1"), QStringLiteral("Канал 2"),
                               QStringLiteral("Канал 3")};
    // Bit 7: three channels; bit 4: fourth input and output 1; bit 5: fifth
    // input and output 2.
    QTest::newRow("one channel, 0x51") << 0x51 << one << 6 << false << true << false;
    QTest::newRow("three channels, 0xC3") << 0xC3 << three << 11 << true << false << false;
    QTest::newRow("three channels, five inputs, 0xF3")
        << 0xF3 << three << 11 << true << true << true;
}

void SettingsWindowTest::opensForEachModel() {
    QFETCH(int, code);
    QFETCH(QStringList, tabs);
    QFETCH(int, dinFunctions);
    QFETCH(bool, channelChecks);
    QFETCH(bool, output1);
    QFETCH(bool, output2);

    Bench b(static_cast<std::uint8_t>(code));
    b.Set("013531", "03");
    b.SetReal("013503", 1.05);
    b.SetReal("01303E", -1500.25);  // beyond the field's limits: shown as it is
    b.Set("013036", "02");
    b.Set("002203", "03");
    b.Set("000020", "05");
    // An operation stopped earlier leaves StopFlag raised; the dialog's own
    // read must not take it for its own stop.
    b.model->StopFlag = true;
    b.Open();

    auto* tabBar = b.Find<QTabBar>("TabControl1");
    QStringList shownTabs;
    for (int i = 0; i < tabBar->count(); ++i)
        shownTabs << tabBar->tabText(i);
    QCOMPARE(shownTabs, tabs);
    QCOMPARE(tabBar->currentIndex(), 0);

    auto* type = b.Find<QComboBox>("DatTypeBox");
    QCOMPARE(type->count(), 28);
    QCOMPARE(type->itemText(0), QStringLiteral("\"CU85\" - 50M(W=1,428)"));
    QCOMPARE(type->itemText(7), QStringLiteral("\"ni1\"  - Ni100(W=1,617)"));
    QCOMPARE(type->itemText(15), QStringLiteral("\"tc.A1\"- TBP(A-1)"));
    QCOMPARE(type->currentIndex(), 3);
    QCOMPARE(b.Find<QComboBox>("SxemPodklBox")->itemText(0), QStringLiteral("3х проводная"));
    QCOMPARE(b.Find<QComboBox>("LinSqrtBox")->itemText(4), QStringLiteral("3% "));
    QCOMPARE(b.Find<QComboBox>("SecondCalcBox")->itemText(2), QStringLiteral("Кусочно -линейная"));

    QCOMPARE(b.Edit("KoefShkalEdit")->text(), QStringLiteral("1.05"));
    QCOMPARE(b.Edit("CutLowEdit")->text(), QStringLiteral("-1500.25"));
    QCOMPARE(b.Chnl(1).brdL, -1500.25);
    QCOMPARE(b.Edit("KolZnEdit")->text(), QStringLiteral("2"));
    QCOMPARE(b.Edit("CutHighEdit")->text(), QStringLiteral("9999"));

    for (const char* name : {"DinBox1", "DinBox2", "DinBox3", "DinBox4", "DinBox5"}) {
        QCOMPARE(b.Find<QComboBox>(name)->count(), dinFunctions);
    }
    auto* din3 = b.Find<QComboBox>("DinBox3");
    QCOMPARE(din3->currentText(), QStringLiteral("\"Hnd1\"-Ручное управление рег. 1;"));
    QCOMPARE(din3->toolTip(), din3->currentText());
    QCOMPARE(din3->itemText(dinFunctions - 1),
             dinFunctions == 6 ? QStringLiteral("\"dEc1\"-Уменьшение мощности рег. 1;")
                               : QStringLiteral("\"dEc2\"- Уменьшение мощности рег. 2"));
    QVERIFY(b.Find<QComboBox>("DinBox1")->isEnabled());
    QCOMPARE(b.Find<QComboBox>("DinBox4")->isEnabled(), (code & 0x10) != 0);
    QCOMPARE(b.Find<QComboBox>("DinBox5")->isEnabled(), (code & 0x20) != 0);

    QCOMPARE(b.Find<QLabel>("ChLabel")->isVisible(), channelChecks);
    const bool ticks[3] = {true, false, true};  // InPE 05
    const char* const checks[3] = {"Ch1", "Ch2", "Ch3"};
    for (int i = 0; i < 3; ++i) {
        auto* check = b.Find<QCheckBox>(checks[i]);
        QCOMPARE(check->isVisible(), channelChecks);
        QCOMPARE(check->isChecked(), ticks[i]);
    }
    QCOMPARE(b.Find<QPushButton>("PVIbtn")->isVisible(), output1);
    QCOMPARE(b.Find<QPushButton>("PVI1btn")->isVisible(), output2);
    QCOMPARE(b.Find<QPushButton>("WriteParamsBtn")->text(), QStringLiteral("OK "));
    QVERIFY(!b.Find<QCheckBox>("SqrtNullCheck")->isVisible());
    QVERIFY(!b.Find<QLineEdit>("TypeCompEdit")->isVisible());
    QVERIFY(!b.Find<QLineEdit>("Resist0Edit")->isEnabled());
}

void SettingsWindowTest::calculatedChannel() {
    Bench b(0xC3);
    b.Set("023531", "1B");
    b.SetReal("023033", 12.5);
    b.Set("033531", "04");
    b.SetReal("033503", 0.9);
    b.Open();
    auto* tabBar = b.Find<QTabBar>("TabControl1");
    auto* type = b.Find<QComboBox>("DatTypeBox");
    const char* const wiring[] = {"SxemPodklBox", "ResistLineEdit", "CutTestCheck", "DiapStartEdit",
                                  "DiapEndEdit"};

    tabBar->setCurrentIndex(1);
    QCOMPARE(type->currentText(), QStringLiteral("\"r320\" - сопр. 0..320 Om"));
    QCOMPARE(b.Edit("ResistLineEdit")->text(), QStringLiteral("12.5"));

    tabBar->setCurrentIndex(2);
    QCOMPARE(type->count(), 6);
    QCOMPARE(type->itemText(2), QStringLiteral(" \"AvEr\" - Среднее арифм."));
    QCOMPARE(type->currentText(), QStringLiteral(" \"1\" - повтор первого канала"));
    QCOMPARE(b.Edit("KoefShkalEdit")->text(), QStringLiteral("0.9"));
    for (const char* name : wiring) {
        QVERIFY2(!b.Find<QWidget>(name)->isEnabled(), name);
    }
    // Disabled, they keep what channel 2 showed.
    QCOMPARE(b.Edit("ResistLineEdit")->text(), QStringLiteral("12.5"));
    for (const char* name : {"DatTypeBox", "KolZnEdit", "KoefShkalEdit", "SqrtCheck", "LinSqrtBox",
                             "SecondCalcBox", "Ust3gistEdit"}) {
        QVERIFY2(b.Find<QWidget>(name)->isEnabled(), name);
    }
    // Choosing a function stores it for channel 3 only.
    type->setCurrentIndex(5);
    QCOMPARE(int{b.Chnl(3).SEnS}, 5);
    QCOMPARE(int{b.Chnl(2).SEnS}, 27);

    tabBar->setCurrentIndex(0);
    QCOMPARE(type->count(), 28);
    for (const char* name : wiring) {
        QVERIFY2(b.Find<QWidget>(name)->isEnabled(), name);
    }
}

void SettingsWindowTest::failedReadKeepsDialogClosed_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("failing");

    QTest::newRow("channel 1 of a one-channel instrument") << 0x51 << "013503";
    QTest::newRow("instrument-wide item") << 0xC3 << "002204";
    QTest::newRow("channel 3 of three") << 0xC3 << "030004";
}

void SettingsWindowTest::failedReadKeepsDialogClosed() {
    QFETCH(int, code);
    QFETCH(QString, failing);
    Bench b(static_cast<std::uint8_t>(code));
    Messages messages;
    b.sim.AddFault(kPort, kAddress,
                   sim::Fault(sim::FaultKind::ErrorStatus).OnParameter(failing.toStdString()));
    // Should the dialog open anyway, its modal loop must not hang the test.
    QTimer::singleShot(5000, b.window.get(), [&b] { b.window->done(QDialog::Rejected); });

    QVERIFY(!b.window->OpenForDevice(0));
    QVERIFY(!b.window->isVisible());
    QVERIFY(messages.texts.isEmpty());
    const std::vector<std::string> log = b.ui.ErrorLog();
    QCOMPARE(log.size(), std::size_t{1});
    QVERIFY(QString::fromStdString(log[0]).contains(QStringLiteral(" Ошибка!(")));
}

void SettingsWindowTest::discreteInputChecks_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QList<int>>("functions");  // DinBox1..DinBox5
    QTest::addColumn<QString>("refusal");       // empty: written

    // 3 Hnd1, 1 Sp1.0, 2 Sp1.2, 6 Sp2.0, 7 Sp2.2
    QTest::newRow("Hnd1 twice") << 0xF3 << QList<int>{3, 0, 3, 0, 0} << kDifferentInputs;
    QTest::newRow("all off") << 0xF3 << QList<int>{0, 0, 0, 0, 0} << QString();
    QTest::newRow("all different") << 0xF3 << QList<int>{3, 4, 5, 8, 9} << QString();
    QTest::newRow("Sp1.0 and Sp1.2") << 0xF3 << QList<int>{0, 1, 0, 2, 0} << kBothStop1;
    QTest::newRow("Sp1.2 on a disabled input") << 0xC3 << QList<int>{0, 1, 0, 2, 0} << QString();
    QTest::newRow("Sp2.0 and Sp2.2") << 0xF3 << QList<int>{6, 0, 0, 0, 7} << kBothStop2;
    QTest::newRow("Sp2.2 twice") << 0xF3 << QList<int>{7, 0, 7, 0, 0} << kDifferentInputs;
    QTest::newRow("a twin on disabled inputs") << 0xC3 << QList<int>{9, 0, 0, 9, 9} << QString();
}

void SettingsWindowTest::discreteInputChecks() {
    QFETCH(int, code);
    QFETCH(QList<int>, functions);
    QFETCH(QString, refusal);
    Bench b(static_cast<std::uint8_t>(code));
    Messages messages;
    b.Open();
    const char* const names[5] = {"DinBox1", "DinBox2", "DinBox3", "DinBox4", "DinBox5"};
    for (int i = 0; i < 5; ++i)
        b.Find<QComboBox>(names[i])->setCurrentIndex(functions[i]);
    b.sim.ClearRequests(kPort);

    b.Find<QPushButton>("WriteParamsBtn")->click();

    if (refusal.isEmpty()) {
        QVERIFY(messages.texts.isEmpty());
        QCOMPARE(b.window->result(), int{QDialog::Accepted});
        QVERIFY(!b.window->isVisible());
        for (int i = 0; i < 5; ++i)
            QCOMPARE(b.Param("00220" + std::to_string(i + 1)).toInt(nullptr, 16), functions[i]);
    } else {
        QCOMPARE(messages.texts, QStringList{refusal});
        QCOMPARE(messages.kinds.front(), MessageKind::Warning);
        QVERIFY(b.window->isVisible());
        QVERIFY(b.sim.RequestTexts(kPort).empty());
        // The edits stay for the operator to correct.
        QCOMPARE(b.Find<QComboBox>("DinBox1")->currentIndex(), functions[0]);
    }
}

void SettingsWindowTest::fieldsKeepLimitsOnLeave_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("leaveBy");  // focus, enter or tab (another channel)
    QTest::addColumn<double>("whileTyping");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<double>("stored");

    QTest::newRow("gain above") << "KoefShkalEdit"
                                << "1.5"
                                << "focus" << 1.5 << "1.2" << 1.2;
    QTest::newRow("gain below, enter") << "KoefShkalEdit"
                                       << "0.5"
                                       << "enter" << 0.5 << "0.8" << 0.8;
    QTest::newRow("gain emptied") << "KoefShkalEdit"
                                  << ""
                                  << "focus" << 0.8 << "0.8" << 0.8;
    QTest::newRow("setpoint below") << "Ust1valEdit"
                                    << "-5000"
                                    << "focus" << -5000.0 << "-999" << -999.0;
    QTest::newRow("hysteresis above, other tab") << "Ust2gistEdit"
                                                 << "12345"
                                                 << "tab" << 12345.0 << "9999" << 9999.0;
    QTest::newRow("within limits") << "LinSmeshEdit"
                                   << "-12.5"
                                   << "focus" << -12.5 << "-12.5" << -12.5;
    QTest::newRow("letters are not taken") << "LinSmeshEdit"
                                           << "1x2"
                                           << "enter" << 12.0 << "12" << 12.0;
    QTest::newRow("only a sign") << "CutLowEdit"
                                 << "-"
                                 << "focus" << -999.0 << "-999" << -999.0;
    QTest::newRow("decimals above") << "KolZnEdit"
                                    << "7"
                                    << "focus" << 7.0 << "3" << 3.0;
    QTest::newRow("no point in an integer") << "KolZnEdit"
                                            << "1.5"
                                            << "focus" << 15.0 << "3" << 3.0;
    QTest::newRow("averages zero") << "KolUsrEdit"
                                   << "0"
                                   << "enter" << 0.0 << "1" << 1.0;
    // The byte never wraps while the text is out of range.
    QTest::newRow("averages beyond a byte") << "KolUsrEdit"
                                            << "999"
                                            << "tab" << 255.0 << "200" << 200.0;
}

void SettingsWindowTest::fieldsKeepLimitsOnLeave() {
    QFETCH(QString, field);
    QFETCH(QString, keys);
    QFETCH(QString, leaveBy);
    QFETCH(double, whileTyping);
    QFETCH(QString, shown);
    QFETCH(double, stored);
    // Another tab needs a three-channel instrument; one channel reads faster.
    Bench b(leaveBy == QLatin1String("tab") ? 0xC3 : 0x51);
    b.Open();
    TNumberEdit* edit = b.Edit(field);
    QVERIFY(edit != nullptr);

    Type(edit, keys);
    QCOMPARE(ChannelField(b.Chnl(1), field), whileTyping);

    if (leaveBy == QLatin1String("focus")) {
        b.Find<QWidget>("DatTypeBox")->setFocus();
    } else if (leaveBy == QLatin1String("enter")) {
        QTest::keyClick(edit, Qt::Key_Return);
    } else {
        b.Find<QTabBar>("TabControl1")->setCurrentIndex(1);
    }
    QCOMPARE(ChannelField(b.Chnl(1), field), stored);
    if (leaveBy == QLatin1String("tab")) {
        // The field now shows channel 2, untouched.
        QCOMPARE(edit->text(), TNumberEdit::Format(ChannelField(b.Chnl(2), field), 4));
        QCOMPARE(b.window->ShownChannel(), 2);
    } else {
        QCOMPARE(edit->text(), shown);
    }
}

void SettingsWindowTest::failedWriteKeepsDialogOpen_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("failing");  // a parameter, "unplug" or "stop"
    QTest::addColumn<QString>("begins");
    QTest::addColumn<QString>("ends");

    QTest::newRow("refused on channel 1") << 0x51 << "013036"
                                          << " Ошибка!(5) Порт COM1 Канал 1 "
                                          << "\"Кол-во знаков после запятой\"";
    QTest::newRow("refused on channel 2, channel 3 not written") << 0xC3 << "023531"
                                                                 << " Ошибка!(5) Порт COM1 Канал 2 "
                                                                 << "\"Тип датчика\"";
    QTest::newRow("adapter unplugged") << 0xC3 << "unplug"
                                       << " Ошибка!("
                                       << "";
    QTest::newRow("stopped") << 0x51 << "stop"
                             << "Запись прервана."
                             << "Запись прервана.";
}

void SettingsWindowTest::failedWriteKeepsDialogOpen() {
    QFETCH(int, code);
    QFETCH(QString, failing);
    QFETCH(QString, begins);
    QFETCH(QString, ends);
    Bench b(static_cast<std::uint8_t>(code));
    Messages messages;
    b.Open();
    // Every channel has something to send.
    for (int c = 1; c <= (code == 0xC3 ? 3 : 1); ++c)
        b.Chnl(c).SEt1 = 10.0 * c;
    b.sim.ClearRequests(kPort);

    if (failing == QLatin1String("unplug")) {
        b.sim.Unplug(kPort);
    } else if (failing == QLatin1String("stop")) {
        b.ui.stopAt = 50;
    } else {
        b.sim.AddFault(kPort, kAddress,
                       sim::Fault(sim::FaultKind::ErrorStatus)
                           .OnParameter(failing.toStdString())
                           .WithNumber(5));
    }
    auto* ok = b.Find<QPushButton>("WriteParamsBtn");
    ok->click();

    QCOMPARE(messages.texts.size(), 1);
    const QString text = messages.texts.front();
    QVERIFY2(text.startsWith(kNotWritten + begins), qPrintable(text));
    QVERIFY2(text.endsWith(ends), qPrintable(text));
    QVERIFY(b.window->isVisible());
    QVERIFY(ok->isEnabled());
    for (const std::string& number : b.Written()) {
        QVERIFY2(number.rfind("03", 0) != 0, number.c_str());
    }

    // Once the cause is gone, "OK " writes and closes.
    b.ui.stopAt = -1;
    b.sim.ClearFaults();
    if (!b.sim.Plugged(kPort)) b.sim.Replug(kPort);
    ok->click();
    QCOMPARE(messages.texts.size(), 1);
    QCOMPARE(b.window->result(), int{QDialog::Accepted});
    QCOMPARE(b.Real("010002"), 10.0);
    if (code == 0xC3) QCOMPARE(b.Real("030002"), 30.0);
}

// The whole round: open modally, edit every kind of control on every tab,
// confirm, and find the values in the instrument.
void SettingsWindowTest::editsReachTheInstrument() {
    Bench b(0xC3);
    Messages messages;
    b.Set("013531", "1E");           // no such sensor type in the list
    b.SetReal("023503", 1.0000123);  // more decimals than the field shows
    const QString gain2 = b.Param("023503");
    b.model->StopFlag = true;
    // A failed check inside the modal loop must not leave it running.
    QTimer::singleShot(20000, b.window.get(), [&b] { b.window->done(QDialog::Rejected); });

    WhenShown(b.window.get(), [&b] {
        auto* tabBar = b.Find<QTabBar>("TabControl1");
        auto* type = b.Find<QComboBox>("DatTypeBox");
        QCOMPARE(type->currentIndex(), -1);
        b.Find<QComboBox>("SxemPodklBox")->setCurrentIndex(1);
        Type(b.Edit("KolZnEdit"), "2");
        Type(b.Edit("LinSmeshEdit"), "-12.75");
        b.Find<QCheckBox>("CutTestCheck")->setChecked(true);
        b.Find<QComboBox>("LinSqrtBox")->setCurrentIndex(4);
        b.Find<QComboBox>("SecondCalcBox")->setCurrentIndex(2);
        Type(b.Edit("Ust1valEdit"), "250.5");
        Type(b.Edit("Ust1gistEdit"), "1.5");
        b.Find<QCheckBox>("Ch2")->setChecked(false);
        b.Find<QComboBox>("DinBox1")->setCurrentIndex(3);
        b.Find<QComboBox>("DinBox2")->setCurrentIndex(6);

        tabBar->setCurrentIndex(1);
        type->setCurrentIndex(24);
        Type(b.Edit("KolUsrEdit"), "16");
        Type(b.Edit("CutHighEdit"), "1200");
        b.Find<QCheckBox>("SqrtCheck")->setChecked(true);
        Type(b.Edit("DiapStartEdit"), "4");
        Type(b.Edit("DiapEndEdit"), "20.5");

        tabBar->setCurrentIndex(2);
        type->setCurrentIndex(2);
        Type(b.Edit("Ust3valEdit"), "-10");
        Type(b.Edit("Ust3gistEdit"), "0.25");
        // Still being typed, beyond its limit, when "OK " is pressed.
        Type(b.Edit("KoefShkalEdit"), "1.5");

        b.model->StopFlag = true;
        b.sim.ClearRequests(kPort);
        b.Find<QPushButton>("WriteParamsBtn")->click();
    });
    QVERIFY(b.window->OpenForDevice(0));

    QVERIFY2(messages.texts.isEmpty(), qPrintable(messages.texts.join(u'\n')));
    QCOMPARE(b.window->result(), int{QDialog::Accepted});

    QCOMPARE(b.Param("000020"), QStringLiteral("05"));
    QCOMPARE(b.Param("002201"), QStringLiteral("03"));
    QCOMPARE(b.Param("002202"), QStringLiteral("06"));
    QCOMPARE(b.Param("013531"), QStringLiteral("1E"));
    QCOMPARE(b.Param("013035"), QStringLiteral("01"));
    QCOMPARE(b.Param("013036"), QStringLiteral("02"));
    QCOMPARE(b.Real("013501"), -12.75);
    QCOMPARE(b.Param("01303B"), QStringLiteral("01"));
    QCOMPARE(b.Param("01303D"), QStringLiteral("04"));
    QCOMPARE(b.Param("013050"), QStringLiteral("02"));
    QCOMPARE(b.Real("010002"), 250.5);
    QCOMPARE(b.Real("010003"), 1.5);

    QCOMPARE(b.Param("023531"), QStringLiteral("18"));
    QCOMPARE(b.Param("023403"), QStringLiteral("10"));
    QCOMPARE(b.Real("02303F"), 1200.0);
    QCOMPARE(b.Param("02303A"), QStringLiteral("01"));
    QCOMPARE(b.Real("023037"), 4.0);
    QCOMPARE(b.Real("023038"), 20.5);
    // Shown as "1", the value was neither rounded nor rewritten.
    QCOMPARE(b.Param("023503"), gain2);

    QCOMPARE(b.Param("033531"), QStringLiteral("02"));
    QCOMPARE(b.Real("030006"), -10.0);
    QCOMPARE(b.Real("030007"), 0.25);
    QCOMPARE(b.Real("033503"), Single(1.2));

    // Channels in order, each after a pause of its own.
    const std::vector<sim::RequestRecord> requests = b.sim.Requests(kPort);
    auto channelOf = [](const sim::RequestRecord& r) {
        const QStringList fields = QString::fromStdString(r.text).split(u';');
        return fields.size() > 3 && fields[2].startsWith(u'0') ? fields[2].mid(1, 1).toInt() : 0;
    };
    std::array<sim::Clock::time_point, 4> firstOf{}, lastOf{};
    for (const sim::RequestRecord& r : requests) {
        const auto c = static_cast<std::size_t>(channelOf(r));
        if (c == 0 || c > 3) continue;
        if (firstOf[c] == sim::Clock::time_point{}) firstOf[c] = r.firstByte;
        lastOf[c] = r.lastByte;
        for (std::size_t later = c + 1; later <= 3; ++later)
            QVERIFY2(firstOf[later] == sim::Clock::time_point{}, r.text.c_str());
    }
    QVERIFY(firstOf[2] - lastOf[1] >= 190ms);
    QVERIFY(firstOf[3] - lastOf[2] >= 190ms);
    for (const std::string& number : b.Written())
        QVERIFY2(number != "023503", "an unchanged value was rewritten");
}

void SettingsWindowTest::cancelAsksFirst_data() {
    QTest::addColumn<bool>("escape");  // else the button
    QTest::addColumn<bool>("yes");

    QTest::newRow("button, yes") << false << true;
    QTest::newRow("button, no") << false << false;
    QTest::newRow("escape, yes") << true << true;
    QTest::newRow("escape, no") << true << false;
}

void SettingsWindowTest::cancelAsksFirst() {
    QFETCH(bool, escape);
    QFETCH(bool, yes);
    Bench b(0x51);
    Messages messages;
    messages.answer = yes ? QMessageBox::Yes : QMessageBox::No;
    b.Open();
    Type(b.Edit("KolZnEdit"), "3");
    b.sim.ClearRequests(kPort);

    if (escape) {
        QTest::keyClick(b.window.get(), Qt::Key_Escape);
    } else {
        b.Find<QPushButton>("CancelBtn")->click();
    }

    QCOMPARE(messages.texts,
             QStringList{QStringLiteral("Все незаписанные в прибор изменения будут потеряны. Вы "
                                        "действительно хотите закрыть окно?")});
    QCOMPARE(messages.kinds.front(), MessageKind::Warning);
    QCOMPARE(b.window->isVisible(), !yes);
    if (yes) QCOMPARE(b.window->result(), int{QDialog::Rejected});
    // Nothing is written; the edit stays in the record until the next opening.
    QVERIFY(b.sim.RequestTexts(kPort).empty());
    QCOMPARE(int{b.Chnl(1).PrcS}, 3);
    QCOMPARE(b.Param("013036"), QStringLiteral("01"));
}

void SettingsWindowTest::buttonsOpenOtherDialogs_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("which");
    QTest::addColumn<int>("output");
    QTest::addColumn<int>("channelMask");
    QTest::addColumn<int>("relayMask");

    const int relays = static_cast<int>(SubDialog::Relays);
    QTest::newRow("relays, three channels") << 0xC3 << "RelayTblBtn" << relays << 0 << 7 << 0x0B;
    QTest::newRow("relays, one channel") << 0x51 << "RelayTblBtn" << relays << 0 << 1 << 0x0B;
    QTest::newRow("coefficients") << 0xC3 << "KoefTblBtn" << static_cast<int>(SubDialog::Koefs) << 0
                                  << 0 << 0;
    QTest::newRow("passwords") << 0x51 << "PasswordBtn" << static_cast<int>(SubDialog::Passwords)
                               << 0 << 0 << 0;
    const int output = static_cast<int>(SubDialog::AnalogOutput);
    QTest::newRow("output 1") << 0xF3 << "PVIbtn" << output << 1 << 0 << 0;
    QTest::newRow("output 2") << 0xF3 << "PVI1btn" << output << 2 << 0 << 0;
}

void SettingsWindowTest::buttonsOpenOtherDialogs() {
    QFETCH(int, code);
    QFETCH(QString, button);
    QFETCH(int, which);
    QFETCH(int, output);
    QFETCH(int, channelMask);
    QFETCH(int, relayMask);
    Bench b(static_cast<std::uint8_t>(code));
    b.Set("002006", "0B");
    std::vector<TSettingsWindow::SubDialogRequest> opened;
    b.window->openSubDialog = [&opened](const TSettingsWindow::SubDialogRequest& request) {
        opened.push_back(request);
    };
    b.Open();

    b.window->findChild<QPushButton*>(button)->click();

    QCOMPARE(opened.size(), std::size_t{1});
    QCOMPARE(static_cast<int>(opened[0].which), which);
    QCOMPARE(int{opened[0].device}, 0);
    QCOMPARE(opened[0].output, output);
    QCOMPARE(int{opened[0].channelMask}, channelMask);
    QCOMPARE(int{opened[0].relayMask}, relayMask);
    QVERIFY(b.window->isVisible());
}

}  // namespace zorvat

QTEST_MAIN(zorvat::SettingsWindowTest)
#include "settings_window_test.moc"
