// The programmer page on a model of its own: the point count, the grid's
// texts, colours and editing rules, the checks of its cells, and a program
// started and stopped from the page against a simulated instrument.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QtTest>
#include <memory>

#include "programmer_page.h"
#include "regulator_grid.h"
#include "ui_fixture.h"

using namespace zorvat;
using namespace zorvat::testing;

namespace {

// The page showing regulator 1 of the first instrument.
struct Fixture : PageFixture<TProgrammerPage> {
    const RegulatorRef ref{0, 1};

    TParams& Reg() { return *model->Regulator(ref.device, ref.regulator); }
    void SetPoint(int k, bool on, double tempr, double seconds) {
        const auto i = static_cast<std::size_t>(k);
        Reg().OnOff[i] = on;
        Reg().Tempr[i] = tempr;
        Reg().Time[i] = seconds;
    }
    void Show() { PageFixture::Show(ref); }
    TGrid* Grid() { return Find<TGrid>("Prog_Grid"); }
    QTableWidgetItem* Cell(int point, int col) { return Grid()->item(point - 1, col); }
    QColor Background(int point, int col) {
        const QBrush b = Cell(point, col)->background();
        return b.style() == Qt::NoBrush ? QColor() : b.color();
    }
    bool Editable(int point, int col) {
        return Cell(point, col)->flags().testFlag(Qt::ItemIsEditable);
    }
    // The point whose row is yellow, 0 for none.
    int YellowPoint() {
        for (int row = 0; row < Grid()->rowCount(); ++row) {
            if (Background(row + 1, 2) == RunningPointColor()) return row + 1;
        }
        return 0;
    }
};

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

}  // namespace

class ProgrammerPageTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Fixture> f_;

  private slots:
    void init() {
        f_ = std::make_unique<Fixture>();
        f_->AddDevice("COM1", 1, 0xC3);
    }
    void cleanup() { f_.reset(); }

    void fillShowsTheRecord() {
        f_->Reg().Prog_PointCount = 4;
        f_->SetPoint(1, true, 250.5, 3723);
        f_->SetPoint(2, false, 1e20, 0);
        f_->SetPoint(3, true, -40, 59);
        f_->SetPoint(4, true, 0.1, 23 * 3600 + 59 * 60 + 59);
        f_->Show();
        QCOMPARE(f_->Grid()->rowCount(), 4);
        QCOMPARE(f_->Grid()->columnCount(), 4);
        const QStringList headers{U("Номер точки"), U("вкл/выкл"), U("Рег. величина, ед. изм."),
                                  U("Длительность, час : мин : сек")};
        for (int c = 0; c < 4; ++c)
            QCOMPARE(f_->Grid()->horizontalHeaderItem(c)->text().remove(QLatin1Char('&')),
                     headers[c]);
        const QStringList numbers{"1", "2", "3", "4"};
        const QStringList setpoints{"250.5", "1e+20", "-40", "0.1"};
        const QStringList times{"1:02:03", "0:00:00", "0:00:59", "23:59:59"};
        for (int k = 1; k <= 4; ++k) {
            QCOMPARE(f_->Cell(k, 0)->text().remove(QLatin1Char('&')), numbers[k - 1]);
            QCOMPARE(f_->Cell(k, 1)->checkState(), k == 2 ? Qt::Unchecked : Qt::Checked);
            QCOMPARE(f_->Cell(k, 2)->text().remove(QLatin1Char('&')), setpoints[k - 1]);
            QCOMPARE(f_->Cell(k, 3)->text().remove(QLatin1Char('&')), times[k - 1]);
        }
        QCOMPARE(f_->Find<QSpinBox>("PointCount")->value(), 4);
        QVERIFY(f_->Find<QPushButton>("StartProg_btn")->isEnabled());
        QVERIFY(!f_->Find<QPushButton>("StopBtn")->isEnabled());
    }

    // Grey for a point that is off, yellow for the running one; only the
    // normal cells are edited, the check box always.
    void rowLooks_data() {
        QTest::addColumn<bool>("on");
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("current");
        QTest::addColumn<QString>("look");
        QTest::newRow("on, idle") << true << false << 1 << "normal";
        QTest::newRow("off, idle") << false << false << 1 << "grey";
        QTest::newRow("on, running point") << true << true << 1 << "yellow";
        QTest::newRow("on, another point runs") << true << true << 2 << "normal";
        QTest::newRow("off, at the running point") << false << true << 1 << "grey";
    }
    void rowLooks() {
        QFETCH(bool, on);
        QFETCH(bool, running);
        QFETCH(int, current);
        QFETCH(QString, look);
        f_->SetPoint(1, on, 100, 60);
        f_->SetPoint(2, true, 100, 60);
        f_->Reg().ProgRunning = running;
        f_->Reg().CurPoint = static_cast<std::uint8_t>(current);
        f_->Show();
        const QColor expected = look == "grey"     ? GreyCellColor()
                                : look == "yellow" ? RunningPointColor()
                                                   : QColor();
        for (int col = 1; col <= 3; ++col)
            QCOMPARE(f_->Background(1, col), expected);
        const bool editable = look == "normal";
        QCOMPARE(f_->Editable(1, 2), editable);
        QCOMPARE(f_->Editable(1, 3), editable);
        QVERIFY(f_->Cell(1, 1)->flags().testFlag(Qt::ItemIsUserCheckable));
        QVERIFY(!f_->Editable(1, 0));
        // The point count and the buttons follow the program.
        QCOMPARE(f_->Find<QSpinBox>("PointCount")->isEnabled(), !running);
        QCOMPARE(f_->Find<QPushButton>("StartProg_btn")->isEnabled(), !running);
        QCOMPARE(f_->Find<QPushButton>("StopBtn")->isEnabled(), running);
    }

    void switchingPointOff() {
        f_->SetPoint(1, true, 100, 60);
        f_->Show();
        f_->Cell(1, 1)->setCheckState(Qt::Unchecked);
        QVERIFY(!f_->Reg().OnOff[1]);
        QCOMPARE(f_->Background(1, 2), GreyCellColor());
        QVERIFY(!f_->Editable(1, 2));
        QVERIFY(!f_->Editable(1, 3));
        f_->Cell(1, 1)->setCheckState(Qt::Checked);
        QVERIFY(f_->Reg().OnOff[1]);
        QCOMPARE(f_->Background(1, 3), QColor());
        QVERIFY(f_->Editable(1, 3));
    }

    // What arrives in a cell when an edit ends.
    void cellEntries_data() {
        QTest::addColumn<int>("col");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<double>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("setpoint") << 2 << "12.5" << 12.5 << "12.5";
        QTest::newRow("setpoint exponent") << 2 << "1e3" << 1000.0 << "1000";
        QTest::newRow("setpoint lone sign") << 2 << "-" << 0.0 << "0";
        QTest::newRow("setpoint empty") << 2 << "" << 0.0 << "0";
        QTest::newRow("setpoint text") << 2 << "abc" << 0.0 << "0";
        QTest::newRow("duration") << 3 << "1:02:03" << 3723.0 << "1:02:03";
        QTest::newRow("duration short form") << 3 << "2:5" << 7500.0 << "2:05:00";
        QTest::newRow("duration text") << 3 << "abc" << 0.0 << "0:00:00";
        QTest::newRow("duration of a day") << 3 << "24:00:00" << 0.0 << "0:00:00";
        QTest::newRow("duration bad minutes") << 3 << "1:60:00" << 0.0 << "0:00:00";
    }
    void cellEntries() {
        QFETCH(int, col);
        QFETCH(QString, entry);
        QFETCH(double, stored);
        QFETCH(QString, shown);
        f_->SetPoint(1, true, 55, 600);
        f_->Show();
        f_->Cell(1, col)->setText(entry);
        QCOMPARE(col == 2 ? double{f_->Reg().Tempr[1]} : double{f_->Reg().Time[1]}, stored);
        QCOMPARE(f_->Cell(1, col)->text().remove(QLatin1Char('&')), shown);
    }

    // The in-place editors: a time editor for durations, a number editor
    // for setpoints; greyed cells open none.
    void editors() {
        f_->SetPoint(1, true, 55, 600);
        f_->SetPoint(2, false, 60, 600);
        f_->Show();
        TGrid* grid = f_->Grid();
        auto* time = qobject_cast<QTimeEdit*>(OpenEditor(*grid, f_->Cell(1, 3)));
        QVERIFY(time != nullptr);
        QCOMPARE(time->time(), QTime(0, 10, 0));
        time->setTime(QTime(1, 30, 15));
        grid->FinishEditing();
        QCOMPARE(double{f_->Reg().Time[1]}, 5415.0);
        QCOMPARE(f_->Cell(1, 3)->text().remove(QLatin1Char('&')), QString("1:30:15"));

        auto* number = qobject_cast<QLineEdit*>(OpenEditor(*grid, f_->Cell(1, 2)));
        QVERIFY(number != nullptr);
        number->setText("75.25");
        grid->FinishEditing();
        QCOMPARE(double{f_->Reg().Tempr[1]}, 75.25);

        QTest::ignoreMessage(QtWarningMsg, "edit: editing failed");
        QVERIFY(OpenEditor(*grid, f_->Cell(2, 2)) == nullptr);
    }

    // Typed counts come into 2..255; points beyond the count keep their values.
    void pointCount_data() {
        QTest::addColumn<int>("recorded");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("count");
        QTest::newRow("record 0 shows 2") << 0 << "" << 2;
        QTest::newRow("record 1 shows 2") << 1 << "" << 2;
        QTest::newRow("record 255") << 255 << "" << 255;
        QTest::newRow("typed 10") << 2 << "10" << 10;
        QTest::newRow("typed 1") << 5 << "1" << 2;
        QTest::newRow("typed 0") << 5 << "0" << 2;
        QTest::newRow("typed 255") << 5 << "255" << 255;
        QTest::newRow("typed 300") << 5 << "300" << 30;
    }
    void pointCount() {
        QFETCH(int, recorded);
        QFETCH(QString, typed);
        QFETCH(int, count);
        f_->Reg().Prog_PointCount = static_cast<std::uint8_t>(recorded);
        f_->Show();
        auto* spin = f_->Find<QSpinBox>("PointCount");
        if (!typed.isEmpty()) {
            spin->setFocus();
            spin->selectAll();
            QTest::keyClicks(spin, typed);
            QTest::keyClick(spin, Qt::Key_Return);
        }
        QCOMPARE(int{f_->Reg().Prog_PointCount}, count);
        QCOMPARE(spin->value(), count);
        QCOMPARE(f_->Grid()->rowCount(), count);
    }

    void pointCountKeepsPoints() {
        f_->Reg().Prog_PointCount = 10;
        for (int k = 1; k <= 10; ++k)
            f_->SetPoint(k, k % 2 == 0, 10.0 * k, 60.0 * k);
        f_->Show();
        auto* spin = f_->Find<QSpinBox>("PointCount");
        spin->setValue(3);
        QCOMPARE(f_->Grid()->rowCount(), 3);
        spin->setValue(10);
        QCOMPARE(f_->Grid()->rowCount(), 10);
        for (int k = 4; k <= 10; ++k) {
            QCOMPARE(f_->Cell(k, 2)->text().remove(QLatin1Char('&')), QString::number(10 * k));
            QCOMPARE(f_->Cell(k, 1)->checkState(), k % 2 == 0 ? Qt::Checked : Qt::Unchecked);
        }
    }

    void noPointsSelected() {
        MessageAnswers answers;
        f_->SetPoint(1, false, 100, 60);
        f_->SetPoint(2, false, 100, 60);
        f_->Show();
        QTest::mouseClick(f_->Find<QPushButton>("StartProg_btn"), Qt::LeftButton);
        QCOMPARE(answers.shown.size(), std::size_t{1});
        QCOMPARE(answers.shown[0].text, U("Нет выбранных точек."));
        QCOMPARE(answers.shown[0].kind, MessageKind::Warning);
        QVERIFY(!f_->Reg().ProgRunning);
        QVERIFY(!f_->Reg().ProgThread());
        QVERIFY(f_->Find<QPushButton>("StartProg_btn")->isEnabled());
    }

    // The edit being typed when "Запустить программу" is pressed belongs
    // to the program.
    void startTakesTheOpenEdit() {
        MessageAnswers answers;
        f_->SetPoint(1, false, 100, 60);
        f_->SetPoint(2, true, 100, 60);
        f_->Show();
        TGrid* grid = f_->Grid();
        auto* number = qobject_cast<QLineEdit*>(OpenEditor(*grid, f_->Cell(2, 2)));
        QVERIFY(number != nullptr);
        number->setText("321");
        // Point 2 is switched off before the edit ends: nothing to run.
        f_->Reg().OnOff[2] = false;
        QTest::mouseClick(f_->Find<QPushButton>("StartProg_btn"), Qt::LeftButton);
        QCOMPARE(double{f_->Reg().Tempr[2]}, 321.0);
        QCOMPARE(answers.shown.size(), std::size_t{1});
    }

    // A program on a simulated instrument: the yellow row follows the
    // points, the count and start button stay locked, and the stop button
    // ends it before its last point.
    void programStartedAndStopped() {
        sim::Simulator& sim = f_->Simulate("COM1", 1, 0xC3);

        f_->Reg().Prog_PointCount = 4;
        f_->SetPoint(1, true, 150, 1);
        f_->SetPoint(2, false, 175, 1);
        f_->SetPoint(3, true, 200, 60);
        f_->SetPoint(4, true, 300, 60);
        f_->Show();
        auto* start = f_->Find<QPushButton>("StartProg_btn");
        auto* stop = f_->Find<QPushButton>("StopBtn");
        auto* count = f_->Find<QSpinBox>("PointCount");

        QTest::mouseClick(start, Qt::LeftButton);
        QVERIFY(!start->isEnabled());
        QVERIFY(!count->isEnabled());
        QVERIFY(f_->RegulatorChecked(f_->ref));

        QVERIFY(QTest::qWaitFor([&] { return f_->YellowPoint() == 1; }, 10000));
        QVERIFY(stop->isEnabled());
        QVERIFY(!f_->Editable(1, 2));
        QVERIFY(f_->Editable(3, 2));
        // Point 2 is off: the program goes on with point 3.
        QVERIFY(QTest::qWaitFor([&] { return f_->YellowPoint() == 3; }, 10000));
        QCOMPARE(f_->Background(2, 2), GreyCellColor());
        QCOMPARE(sim.Real("COM1", 1, "01DA66"), 200.0);
        QVERIFY(sim.RegulatorOn("COM1", 1, 1));
        QVERIFY(!start->isEnabled());
        QVERIFY(!count->isEnabled());
        // The duration cell counts down.
        QVERIFY(QTest::qWaitFor(
            [&] {
                return f_->Cell(3, 3)
                    ->text()
                    .remove(QLatin1Char('&'))
                    .startsWith(QLatin1String("0:00:5"));
            },
            5000));
        QCOMPARE(double{f_->Reg().Time[3]}, 60.0);

        QVERIFY(stop->isEnabled());
        QTest::mouseClick(stop, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return start->isEnabled(); }, 10000));
        QVERIFY(!f_->Reg().ProgRunning);
        QCOMPARE(f_->YellowPoint(), 0);
        QVERIFY(count->isEnabled());
        QVERIFY(!stop->isEnabled());
        QCOMPARE(f_->Cell(3, 3)->text().remove(QLatin1Char('&')), QString("0:01:00"));
        // Point 4 was never written; the regulator is off again.
        QCOMPARE(sim.Real("COM1", 1, "01DA66"), 200.0);
        QVERIFY(!sim.RegulatorOn("COM1", 1, 1));
        QVERIFY(!f_->RegulatorChecked(f_->ref));
    }

    // A click only asks: what is shown is the main window's decision.
    void regulatorButtons() {
        f_->Show();
        auto* one = f_->Find<QPushButton>("Reg1Prog_Btn");
        auto* two = f_->Find<QPushButton>("Reg2Prog_Btn");
        QSignalSpy chosen(f_->page.get(), &TProgrammerPage::regulatorChosen);
        QTest::mouseClick(two, Qt::LeftButton);
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.at(0).at(0).toInt(), 2);
        QVERIFY(one->isChecked());
        f_->PageFixture::Show({0, 2});
        QVERIFY(two->isChecked());
        QCOMPARE(f_->Cell(1, 0)->foreground().color(), RegulatorColor(2));

        f_->page->SetRegulator2Visible(false);
        QVERIFY(!two->isVisible());
        f_->page->Clear();
        QVERIFY(!f_->page->Shown());
        QVERIFY(one->isChecked());
    }

    // The picture for the documentation: five points, the third running.
    // Saved only when ZORVAT_SHOTS names a folder.
    void screenshot() {
        const QString folder = qEnvironmentVariable("ZORVAT_SHOTS");
        if (folder.isEmpty()) QSKIP("ZORVAT_SHOTS not set");
        f_->Reg().Prog_PointCount = 5;
        f_->SetPoint(1, true, 20, 15 * 60);
        f_->SetPoint(2, true, 150, 45 * 60);
        f_->SetPoint(3, true, 250, 2 * 3600);
        f_->SetPoint(4, false, 180, 30 * 60);
        f_->SetPoint(5, true, 40, 1 * 3600 + 30 * 60);
        f_->Reg().ProgRunning = true;
        f_->Reg().CurPoint = 3;
        f_->Show();
        f_->page->ShowProgramTime(f_->ref, 3, QStringLiteral("1:12:41"));
        f_->page->SetProgramStopEnabled(true);
        QApplication::processEvents();
        QDir().mkpath(folder);
        QVERIFY(f_->page->grab().save(folder + QStringLiteral("/programmer.png")));
        f_->Reg().ProgRunning = false;
    }
};

QTEST_MAIN(ProgrammerPageTest)
#include "programmer_page_test.moc"
