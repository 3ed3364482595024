// The regulator page on a model of its own: the table's entries and texts,
// the write, on/off and autotune buttons with their questions and refusals,
// the lists that write through to the record, the live states and a switch
// against a simulated instrument.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "regulator_grid.h"
#include "regulator_page.h"
#include "regulator_widgets.h"
#include "ui_fixture.h"

using namespace zorvat;
using namespace zorvat::testing;

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

}  // namespace

class RegulatorPageTest : public QObject {
    Q_OBJECT

  private:
    struct Fixture : PageFixture<TRegulatorPage> {
        // The instrument as a search and a read of its settings leave it.
        std::uint8_t AddDevice(const std::string& port, int address, std::uint8_t code) {
            const std::uint8_t d = PageFixture::AddDevice(port, address, code);
            TDevice& device = *model->Device(d);
            const ModelInfo* info = FindModel(code);
            device.ChannelCount = static_cast<std::uint8_t>(info ? info->channels : 1);
            device.RelayCount = 4;
            device.InPE = 0x07;
            return d;
        }
        TParams& Reg(RegulatorRef ref) { return *model->Regulator(ref.device, ref.regulator); }
        TGrid* Table() { return Find<TGrid>("Par_Table"); }
        QString Cell(int row) { return Table()->item(row, 2)->text().remove(QLatin1Char('&')); }
        bool Greyed(int row) {
            return Table()->item(row, 2)->background().color() == GreyCellColor() &&
                   Table()->item(row, 2)->background().style() != Qt::NoBrush;
        }
        bool Editable(int row, int col = 2) {
            return Table()->item(row, col)->flags().testFlag(Qt::ItemIsEditable);
        }
        // Types into a cell through its in-place editor and finishes the edit.
        bool Type(int row, const QString& text) {
            TGrid* grid = Table();
            auto* editor = qobject_cast<QLineEdit*>(OpenEditor(*grid, grid->item(row, 2)));
            if (editor == nullptr) return false;
            editor->setText(text);
            grid->FinishEditing();
            return true;
        }
        bool Started(const std::string& what) { return Noted("started " + what); }
    };

    std::unique_ptr<Fixture> f_;
    const RegulatorRef r1_{0, 1};
    const RegulatorRef r2_{0, 2};

  private slots:
    void init() {
        f_ = std::make_unique<Fixture>();
        f_->AddDevice("COM1", 1, 0xC3);
    }
    void cleanup() { f_.reset(); }

    void tableEntries_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<double>("stored");
        QTest::addColumn<QString>("shown");
        // Row 7 is seconds in the cell and tenths in the record.
        QTest::newRow("relay time 500") << 7 << "500" << 5000.0 << "500";
        QTest::newRow("relay time 500.1") << 7 << "500.1" << 25.0 << "2.5";
        QTest::newRow("relay time 0") << 7 << "0" << 0.0 << "0";
        QTest::newRow("relay time -0.1") << 7 << "-0.1" << 25.0 << "2.5";
        QTest::newRow("relay time half to even") << 7 << "0.25" << 2.0 << "0.2";
        QTest::newRow("pwm 1") << 8 << "1" << 1.0 << "1";
        QTest::newRow("pwm 0.5") << 8 << "0.5" << 100.0 << "100";
        QTest::newRow("pwm 1000") << 8 << "1000" << 1000.0 << "1000";
        QTest::newRow("pwm 1000.5") << 8 << "1000.5" << 100.0 << "100";
        QTest::newRow("pwm 2.5 to even") << 8 << "2.5" << 2.0 << "2";
        QTest::newRow("pwm 3.5 to even") << 8 << "3.5" << 4.0 << "4";
        QTest::newRow("setpoint -") << 1 << "-" << 100.0 << "100";
        QTest::newRow("setpoint empty") << 1 << "" << 100.0 << "100";
        QTest::newRow("setpoint -5") << 1 << "-5" << -5.0 << "-5";
        QTest::newRow("setpoint exponent") << 1 << "2.5e2" << 250.0 << "250";
        QTest::newRow("setpoint beyond a single") << 1 << "1e39" << 100.0 << "100";
        QTest::newRow("kp") << 2 << "10.5" << 10.5 << "10.5";
        QTest::newRow("ti") << 3 << "120" << 120.0 << "120";
        QTest::newRow("td") << 4 << "-1.5" << -1.5 << "-1.5";
        QTest::newRow("dead zone") << 5 << "0.25" << 0.25 << "0.25";
        QTest::newRow("pmax") << 6 << "80" << 80.0 << "80";
    }
    void tableEntries() {
        QFETCH(int, row);
        QFETCH(QString, entry);
        QFETCH(double, stored);
        QFETCH(QString, shown);
        TParams& r = f_->Reg(r1_);
        r.MinRelayTime = 25;
        f_->Show(r1_);
        QVERIFY(f_->Type(row, entry));
        const double values[] = {0,
                                 r.Setpoint,
                                 r.Kp,
                                 r.Ti,
                                 r.Td,
                                 r.DeadZone,
                                 r.Pmax,
                                 static_cast<double>(r.MinRelayTime.load()),
                                 static_cast<double>(r.PwmPeriod.load())};
        QCOMPARE(values[row], stored);
        QCOMPARE(f_->Cell(row), shown);
    }

    void shownTexts_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole setpoint") << 1 << 250.0 << "250";
        QTest::newRow("setpoint to 4 decimals") << 1 << 1234.56789 << "1234.5679";
        QTest::newRow("ten significant digits") << 1 << 123456.78901 << "123456.789";
        QTest::newRow("too long for ten digits") << 1 << 12345678901.0 << "1.23456789e+10";
        QTest::newRow("kp 2 decimals") << 2 << 10.5 << "10.5";
        QTest::newRow("kp rounded") << 2 << 3.14159 << "3.14";
        QTest::newRow("ti 1 decimal") << 3 << 100.04 << "100";
        QTest::newRow("td 1 decimal") << 4 << 15.26 << "15.3";
        QTest::newRow("tiny negative dead zone") << 5 << -0.00001 << "0";
        QTest::newRow("pmax") << 6 << 99.5 << "99.5";
        QTest::newRow("relay time 25 tenths") << 7 << 25.0 << "2.5";
        QTest::newRow("relay time 5000 tenths") << 7 << 5000.0 << "500";
        QTest::newRow("pwm period") << 8 << 100.0 << "100";
    }
    void shownTexts() {
        QFETCH(int, row);
        QFETCH(double, value);
        QFETCH(QString, text);
        TParams& r = f_->Reg(r1_);
        switch (row) {
            case 1:
                r.Setpoint = value;
                break;
            case 2:
                r.Kp = value;
                break;
            case 3:
                r.Ti = value;
                break;
            case 4:
                r.Td = value;
                break;
            case 5:
                r.DeadZone = value;
                break;
            case 6:
                r.Pmax = value;
                break;
            case 7:
                r.MinRelayTime = static_cast<std::uint16_t>(value);
                break;
            case 8:
                r.PwmPeriod = static_cast<std::uint16_t>(value);
                break;
        }
        f_->Show(r1_);
        QCOMPARE(f_->Cell(row), text);
    }

    // Row 1 follows the setpoint source, row 2 its check box; greyed cells
    // are not edited, except the Kp value.
    void greyedCells() {
        TParams& r = f_->Reg(r2_);
        r.SetpointSource = 2;
        r.KpOn = false;
        f_->Show(r2_);
        QVERIFY(f_->Greyed(1));
        QVERIFY(!f_->Editable(1));
        QVERIFY(f_->Greyed(2));
        QVERIFY(f_->Editable(2));
        QCOMPARE(f_->Table()->item(2, 1)->checkState(), Qt::Unchecked);
        QVERIFY(!f_->Greyed(3));
        QVERIFY(!f_->Editable(3, 1));
        QVERIFY(!f_->Editable(0, 2));
        QVERIFY(!f_->Editable(3, 0));

        f_->Find<QComboBox>("cb_rSou")->setCurrentIndex(0);
        QCOMPARE(int{r.SetpointSource}, 0);
        QVERIFY(!f_->Greyed(1));
        QVERIFY(f_->Editable(1));

        f_->Table()->item(2, 1)->setCheckState(Qt::Checked);
        QVERIFY(r.KpOn);
        QVERIFY(!f_->Greyed(2));
    }

    void writeConfirmationRefused() {
        MessageAnswers answers;
        answers.answer = QMessageBox::No;
        f_->Show(r1_);
        auto* write = f_->Find<QPushButton>("WriteKoeffBtn4");
        QVERIFY(write->isEnabled());
        QTest::mouseClick(write, Qt::LeftButton);
        QCOMPARE(answers.messages,
                 std::vector<QString>{U("Вы действительно хотите записать параметры в прибор?")});
        QCOMPARE(answers.shown[0].kind, MessageKind::Warning);
        QVERIFY(!write->isChecked());
        QCOMPARE(write->text().remove(QLatin1Char('&')), U("Записать параметры в прибор"));
        QVERIFY(!f_->model->WriteThread);
        QVERIFY(!f_->Started("write"));
    }

    void writeRefusals_data() {
        QTest::addColumn<int>("regulator");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("relays1");
        QTest::addColumn<int>("relays2");
        QTest::addColumn<int>("source");
        QTest::addColumn<int>("input");
        QTest::addColumn<QString>("refusal");
        const QString overlap =
            U("Внимание!!! При трёхпозиционном регулировании Реле1 и Реле2 не могут "
              "перекрываться.");
        const QString channel =
            U("Внимание!!! Измерительный канал не может являться уставкой регулирования.");
        QTest::newRow("three-position, shared relay")
            << 1 << 1 << 0b011 << 0b110 << 0 << 1 << overlap;
        QTest::newRow("regulator 1 from channel 1") << 1 << 0 << 1 << 2 << 1 << 1 << channel;
        QTest::newRow("regulator 2 from its own channel") << 2 << 0 << 1 << 2 << 3 << 3 << channel;
    }
    void writeRefusals() {
        QFETCH(int, regulator);
        QFETCH(int, mode);
        QFETCH(int, relays1);
        QFETCH(int, relays2);
        QFETCH(int, source);
        QFETCH(int, input);
        QFETCH(QString, refusal);
        MessageAnswers answers;
        const RegulatorRef ref{0, static_cast<std::uint8_t>(regulator)};
        TParams& r = f_->Reg(ref);
        r.RegMode = static_cast<std::uint8_t>(mode);
        r.Relays1 = static_cast<std::uint8_t>(relays1);
        r.Relays2 = static_cast<std::uint8_t>(relays2);
        r.SetpointSource = static_cast<std::uint8_t>(source);
        SetInputChannel(r, static_cast<std::uint8_t>(input));
        f_->Show(ref);
        auto* write = f_->Find<QPushButton>("WriteKoeffBtn4");
        QTest::mouseClick(write, Qt::LeftButton);
        QCOMPARE(answers.messages.size(), std::size_t{2});
        QCOMPARE(answers.messages.at(1), refusal);
        QCOMPARE(answers.shown[1].kind, MessageKind::Warning);
        QVERIFY(answers.shown[1].buttons == QMessageBox::Ok);
        QVERIFY(!write->isChecked());
        QVERIFY(!f_->model->WriteThread);
        QVERIFY(!f_->Started("write"));
    }

    // The refused question puts the button and the tree's tick back.
    void switchConfirmationRefused_data() {
        QTest::addColumn<bool>("wasOn");
        QTest::addColumn<bool>("fromTree");
        QTest::newRow("on refused, button") << false << false;
        QTest::newRow("off refused, button") << true << false;
        QTest::newRow("on refused, tree") << false << true;
        QTest::newRow("off refused, tree") << true << true;
    }
    void switchConfirmationRefused() {
        QFETCH(bool, wasOn);
        QFETCH(bool, fromTree);
        MessageAnswers answers;
        answers.answer = QMessageBox::No;
        f_->Reg(r1_).RegOn = wasOn;
        f_->tree.SetChecked(r1_, wasOn);
        f_->Show(r1_);
        auto* button = f_->Find<QPushButton>("OnOffReg_Btn");
        QCOMPARE(button->isChecked(), wasOn);
        if (fromTree) {
            f_->tree.SetChecked(r1_, !wasOn);
            f_->page->SwitchFromTree(r1_, !wasOn);
        } else {
            QTest::mouseClick(button, Qt::LeftButton);
        }
        QCOMPARE(answers.messages,
                 std::vector<QString>{wasOn ? U("Вы действительно хотите выключить регулятор?")
                                            : U("Вы действительно хотите включить регулятор?")});
        QCOMPARE(button->isChecked(), wasOn);
        QCOMPARE(f_->RegulatorChecked(r1_), wasOn);
        QVERIFY(button->isEnabled());
        QVERIFY(!f_->Started("switch"));
    }

    // A switch that reaches its instrument turns the page into the "on"
    // form; one that gets no answer puts the button back.
    void switchAgainstInstrument_data() {
        QTest::addColumn<int>("address");
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("instrument answers") << 1 << true;
        QTest::newRow("nobody at the address") << 7 << false;
    }
    void switchAgainstInstrument() {
        QFETCH(int, address);
        QFETCH(bool, succeeds);
        sim::Simulator& sim = f_->Simulate("COM1", 1, 0xC3);
        f_->AddDevice("COM1", address, 0xC3);
        const RegulatorRef ref{1, 1};
        MessageAnswers answers;
        f_->Show(ref);
        auto* button = f_->Find<QPushButton>("OnOffReg_Btn");
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(button->isChecked());
        QVERIFY(!button->isEnabled());
        QVERIFY(QTest::qWaitFor([&] { return button->isEnabled(); }, 10000));
        QCOMPARE(button->isChecked(), succeeds);
        QCOMPARE(button->text().remove(QLatin1Char('&')),
                 succeeds ? U("Выключить регулятор") : U("Включить регулятор"));
        QCOMPARE(f_->Find<TStatePicture>("OnOffPict")->On(), succeeds);
        QCOMPARE(f_->Find<QWidget>("DiskretPnl")->isVisible(), succeeds);
        QCOMPARE(f_->RegulatorChecked(ref), succeeds);
        QCOMPARE(sim.RegulatorOn("COM1", 1, 1), succeeds);
    }

    // The pressed button stays down while its worker runs and comes up when
    // it ends; the picture follows the instrument.
    void autotuneAgainstInstrument() {
        sim::Simulator& sim = f_->Simulate("COM1", 1, 0xC3);
        f_->AddDevice("COM1", 1, 0xC3);
        const RegulatorRef ref{1, 2};
        MessageAnswers answers;
        f_->Show(ref);
        auto* on = f_->Find<QPushButton>("AutoSetOn_Btn");
        auto* off = f_->Find<QPushButton>("AutoSetOff_Btn");
        auto* picture = f_->Find<TStatePicture>("AutoOnOFFPict");
        for (const bool start : {true, false}) {
            QPushButton* button = start ? on : off;
            QTest::mouseClick(button, Qt::LeftButton);
            QVERIFY(button->isChecked());
            QVERIFY(!on->isEnabled() && !off->isEnabled());
            QVERIFY(QTest::qWaitFor([&] { return on->isEnabled(); }, 10000));
            QVERIFY(!on->isChecked() && !off->isChecked());
            QCOMPARE(picture->On(), start);
            QCOMPARE(bool{f_->Reg(ref).AutoTune}, start);
            QCOMPARE(sim.AutoTune("COM1", 1, 2), start);
        }
        QCOMPARE(answers.messages.size(), std::size_t{2});
    }

    void autotuneQuestions() {
        MessageAnswers answers;
        answers.answer = QMessageBox::No;
        f_->Show(r1_);
        auto* on = f_->Find<QPushButton>("AutoSetOn_Btn");
        auto* off = f_->Find<QPushButton>("AutoSetOff_Btn");
        QTest::mouseClick(on, Qt::LeftButton);
        QTest::mouseClick(off, Qt::LeftButton);
        QCOMPARE(answers.messages,
                 (std::vector<QString>{U("Вы действительно хотите запустить автонастройку?"),
                                       U("Вы действительно хотите остановить автонастройку?")}));
        QVERIFY(!on->isChecked());
        QVERIFY(!off->isChecked());
        QVERIFY(!f_->Started("autotune"));
    }

    void controlsWriteThrough() {
        MessageAnswers answers;
        TDevice& d = *f_->model->Device(0);
        d.ChannelCount = 0;
        d.RelayCount = 0;
        d.InPE = 0b011;
        TParams& r = f_->Reg(r2_);
        SetInputChannel(r, 2);
        f_->Show(r2_);

        auto* channels = f_->Find<QComboBox>("ChannelBox");
        QCOMPARE(channels->count(), 3);
        QCOMPARE(channels->itemText(2), U("Канал3"));
        QVERIFY(channels->isEnabled());
        // Regulator 2 never regulates channel 1.
        channels->setCurrentIndex(0);
        QCOMPARE(channels->currentIndex(), 1);
        QCOMPARE(int{r.InputChannel}, 2);
        QVERIFY(answers.shown.empty());
        // A channel the instrument has switched off is chosen after a warning.
        channels->setCurrentIndex(2);
        QCOMPARE(int{r.InputChannel}, 3);
        QCOMPARE(
            answers.messages,
            std::vector<QString>{U("Данный канал выключен в приборе.\nВключите канал в приборе и "
                                   "считайте заново его параметры.")});

        auto* relays = f_->Find<QListWidget>("chl_Relay");
        QCOMPARE(relays->count(), 3);
        QCOMPARE(relays->item(0)->text().remove(QLatin1Char('&')), U("Реле1"));
        relays->item(0)->setCheckState(Qt::Checked);
        relays->item(2)->setCheckState(Qt::Checked);
        QCOMPARE(int{r.Relays1}, 5);
        auto* relays2 = f_->Find<QListWidget>("chl_Relay2");
        relays2->item(0)->setCheckState(Qt::Checked);
        QCOMPARE(int{r.Relays2}, 1);
        QCOMPARE(int{r.Relays1}, 5);

        f_->Find<QRadioButton>("Direction_Work_1")->click();
        QVERIFY(r.DirectAction);
        f_->Find<QComboBox>("cb_rPOS")->setCurrentIndex(1);
        QCOMPARE(int{r.RegMode}, 1);

        // Regulator 1 always shows channel 1 and cannot change it.
        f_->Show(r1_);
        QCOMPARE(channels->currentIndex(), 0);
        QVERIFY(!channels->isEnabled());
    }

    void editsWhileProgramRuns() {
        TParams& r = f_->Reg(r1_);
        r.ProgRunning = true;
        f_->Show(r1_);
        auto* write = f_->Find<QPushButton>("WriteKoeffBtn4");
        QVERIFY(!write->isEnabled());
        QVERIFY(f_->Type(1, "300"));
        QCOMPARE(double{r.Setpoint}, 300.0);
        f_->Find<QComboBox>("cb_rPOS")->setCurrentIndex(1);
        QVERIFY(!write->isEnabled());
        r.ProgRunning = false;
        f_->page->FillRegulatorPage(r1_);
        QVERIFY(write->isEnabled());
    }

    // Lamps by the instrument's inputs and relays, red for a set bit.
    void liveStates_data() {
        QTest::addColumn<int>("modelCode");
        QTest::addColumn<int>("relayCount");
        QTest::addColumn<int>("inputs");
        QTest::addColumn<int>("relaysShown");
        QTest::newRow("both input bits") << 0xF3 << 4 << 5 << 4;
        QTest::newRow("0x20 only") << 0xE3 << 4 << 4 << 4;
        QTest::newRow("0x10 only") << 0xD1 << 2 << 4 << 2;
        QTest::newRow("neither, relay count unknown") << 0xC3 << 0 << 3 << 3;
    }
    void liveStates() {
        QFETCH(int, modelCode);
        QFETCH(int, relayCount);
        QFETCH(int, inputs);
        QFETCH(int, relaysShown);
        TDevice& d = *f_->model->Device(0);
        d.ModelCode = static_cast<std::uint8_t>(modelCode);
        d.RelayCount = static_cast<std::uint8_t>(relayCount);
        d.RelayStates = 0b0101;
        d.DinStates = 0b10010;
        f_->Reg(r1_).RegOn = true;
        f_->Show(r1_);
        QVERIFY(f_->Find<QWidget>("DiskretPnl")->isVisible());
        for (int i = 1; i <= 5; ++i) {
            auto* lamp = f_->Find<TStateLamp>(QStringLiteral("chk_Din%1").arg(i));
            QCOMPARE(lamp->isVisible(), i <= inputs);
            QCOMPARE(lamp->Active(), i == 2 || i == 5);
        }
        for (int i = 1; i <= 4; ++i) {
            auto* lamp = f_->Find<TStateLamp>(QStringLiteral("chk_R%1").arg(i));
            QCOMPARE(lamp->isVisible(), i <= relaysShown);
            QCOMPARE(lamp->Active(), i == 1 || i == 3);
        }
    }

    // Once a second while the regulator runs; held while the window says so.
    void liveStatesRefresh() {
        TDevice& d = *f_->model->Device(0);
        f_->Reg(r1_).RegOn = true;
        f_->Show(r1_);
        auto* relay1 = f_->Find<TStateLamp>("chk_R1");
        QVERIFY(!relay1->Active());
        d.RelayStates = 1;
        QVERIFY(QTest::qWaitFor([&] { return relay1->Active(); }, 3000));

        f_->page->SetRefreshEnabled(false);
        d.RelayStates = 0;
        QTest::qWait(1300);
        QVERIFY(relay1->Active());

        f_->page->SetRefreshEnabled(true);
        f_->Reg(r1_).RegOn = false;
        f_->page->FillRegulatorPage(r1_);
        QVERIFY(!f_->Find<QWidget>("DiskretPnl")->isVisible());
        QVERIFY(!f_->Find<QTimer>("RefreshTimer")->isActive());
    }

    // The rows share the table's height, the value column takes the rest.
    void tableFollowsItsSize() {
        f_->Show(r1_);
        for (const QSize size : {QSize(780, 450), QSize(1000, 620), QSize(700, 400)}) {
            f_->page->resize(size);
            QApplication::processEvents();
            TGrid* table = f_->Table();
            const QSize area = table->viewport()->size();
            int total = 0;
            for (int row = 0; row < table->rowCount(); ++row)
                total += table->rowHeight(row);
            QCOMPARE(total, area.height());
            QCOMPARE(table->columnWidth(0) + table->columnWidth(1) + table->columnWidth(2),
                     area.width());
        }
    }

    void regulatorButtons() {
        f_->Show(r1_);
        auto* one = f_->Find<QPushButton>("Reg_1_Btn");
        auto* two = f_->Find<QPushButton>("Reg_2_Btn");
        QSignalSpy chosen(f_->page.get(), &TRegulatorPage::regulatorChosen);
        QTest::mouseClick(two, Qt::LeftButton);
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.at(0).at(0).toInt(), 2);
        // What is shown is the main window's decision.
        QVERIFY(one->isChecked());
        f_->Show(r2_);
        QVERIFY(two->isChecked());
        QCOMPARE(f_->Table()->item(1, 0)->foreground().color(), RegulatorColor(2));

        f_->page->SetRegulator2Visible(false);
        QVERIFY(!two->isVisible());
        QVERIFY(!f_->Find<QComboBox>("cb_rSou")->isVisible());

        f_->page->Clear();
        QVERIFY(!f_->page->Shown());
        QVERIFY(one->isChecked());
        QVERIFY(f_->Cell(1).isEmpty());
    }

    // The pictures for the documentation: a running regulator on a
    // two-regulator instrument. Saved only when ZORVAT_SHOTS names a folder.
    void screenshot() {
        const QString folder = qEnvironmentVariable("ZORVAT_SHOTS");
        if (folder.isEmpty()) QSKIP("ZORVAT_SHOTS not set");
        TDevice& d = *f_->model->Device(0);
        d.RelayStates = 0b0001;
        d.DinStates = 0b100;
        TParams& r = f_->Reg(r1_);
        r.Setpoint = 250;
        r.Kp = 10.5;
        r.Ti = 120;
        r.Td = 30;
        r.DeadZone = 0.5;
        r.Pmax = 80;
        r.MinRelayTime = 25;
        r.PwmPeriod = 10;
        r.Relays1 = 0b0001;
        r.Relays2 = 0b0010;
        r.RegOn = true;
        f_->Show(r1_);
        QApplication::processEvents();
        QDir().mkpath(folder);
        QVERIFY(f_->page->grab().save(folder + QStringLiteral("/regulator.png")));
    }
};

QTEST_MAIN(RegulatorPageTest)
#include "regulator_page_test.moc"
