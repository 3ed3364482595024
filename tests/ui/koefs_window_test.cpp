// The coefficients dialog against a simulated instrument.
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "koefs_dialog_fixture.h"
#include "koefs_window.h"
#include "sim/faults.h"

using namespace zorvat;
using namespace zorvat::testing;

class KoefsWindowTest : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<DialogBench> bench_;
    std::uint8_t d_ = 0;

    QLineEdit* Field(TKoefsWindow& w, const char* name) {
        auto* field = w.findChild<QLineEdit*>(QString::fromUtf8(name));
        if (field == nullptr) qFatal("no field %s", name);
        return field;
    }

    // A whole new text at once, as pasting over a selection puts it.
    static void Replace(QLineEdit* field, const QString& text) {
        field->setFocus();
        field->selectAll();
        QApplication::clipboard()->setText(text);
        field->paste();
    }

  private slots:
    void init() {
        bench_ = std::make_unique<DialogBench>();
        d_ = bench_->Start(0xC3);
    }
    void cleanup() { bench_.reset(); }

    void coefficientForm_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("one") << 1.0 << "1.000000000000000E+0";
        QTest::newRow("small negative") << -0.00125 << "-1.250000000000000E-3";
        QTest::newRow("zero") << 0.0 << "0.000000000000000E+0";
        QTest::newRow("large") << 123456.0 << "1.234560000000000E+5";
        QTest::newRow("three-digit exponent") << 1e-100 << "1.000000000000000E-100";
        // What the instrument holds is a single: shown without the noise of
        // its binary form.
        QTest::newRow("single") << double(0.1f) << "1.000000000000000E-1";
        QTest::newRow("single negative") << double(-0.00125f) << "-1.250000000000000E-3";
    }
    void coefficientForm() {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(TKoefsWindow::CoefText(value), text);
    }

    // Reading shows the instrument's tables; edits of every kind of field
    // go into the record, are written and come back from the instrument.
    void editWriteReadBack() {
        bench_->sim.SetReal(DialogBench::kPort, DialogBench::kAddress, "008903", -0.00125);
        bench_->SetParam("008800", "03");
        bench_->SetParam("008900", "0C");  // more digits than the field takes
        bench_->model->StopFlag = true;    // left over from a stopped operation
        TKoefsWindow w(*bench_->model);
        QVERIFY(w.LoadForDevice(d_));
        QCOMPARE(Field(w, "b0Edit")->text(), QString("1.000000000000000E+0"));
        QCOMPARE(Field(w, "A1Edit")->text(), QString("-1.250000000000000E-3"));
        QCOMPARE(Field(w, "nLinEdit")->text(), QString("3"));
        QCOMPARE(Field(w, "nPolEdit")->text(), QString("12"));
        QVERIFY(ShowActive(w));

        Replace(Field(w, "b0Edit"), "2.5E+0");
        QCOMPARE(bench_->Device(d_).b0, 2.5);
        Retype(Field(w, "nLinEdit"), "4");
        Retype(Field(w, "LiY3Edit"), "-12.75");
        Replace(Field(w, "A8Edit"), "3E-2");
        Retype(Field(w, "nPolEdit"), "9");

        QTest::mouseClick(w.findChild<QPushButton*>("WriteBtn"), Qt::LeftButton);
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QVERIFY(bench_->messages.empty());
        QCOMPARE(bench_->Param("008800"), std::string("04"));
        QCOMPARE(bench_->Param("008900"), std::string("09"));
        const auto real = [this](const char* n) {
            return bench_->sim.Real(DialogBench::kPort, DialogBench::kAddress, n);
        };
        QCOMPARE(real("008901"), 2.5);
        QCOMPARE(real("008806"), -12.75);
        QCOMPARE(float(real("00890A")), 3e-2f);

        TKoefsWindow again(*bench_->model);
        QVERIFY(again.LoadForDevice(d_));
        QCOMPARE(Field(again, "b0Edit")->text(), QString("2.500000000000000E+0"));
        QCOMPARE(Field(again, "LiY3Edit")->text(), QString("-12.75"));
        QCOMPARE(Field(again, "nPolEdit")->text(), QString("9"));
    }

    // A coefficient field never keeps a text that is not a number: the
    // change is undone, whether it came from a key or from a paste.
    void coefficientKeepsLastGoodText_data() {
        QTest::addColumn<QString>("start");     // typed over the whole field first
        QTest::addColumn<QString>("action");    // retype, backspace, type, paste, paste over
        QTest::addColumn<QString>("argument");  // keys or pasted text
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("lone minus over a selection") << "1.5"
                                                     << "retype"
                                                     << "-"
                                                     << "1.5" << 1.5;
        QTest::newRow("last character deleted") << "5"
                                                << "backspace"
                                                << ""
                                                << "5" << 5.0;
        QTest::newRow("letter typed") << "1.5"
                                      << "type"
                                      << "x"
                                      << "1.5" << 1.5;
        // Typed key by key, "1.5E" is no number yet: the E is undone.
        QTest::newRow("exponent typed") << "1.5"
                                        << "type"
                                        << "E2"
                                        << "1.52" << 1.52;
        QTest::newRow("exponent form pasted") << "1.5"
                                              << "paste over"
                                              << "2.5E+0"
                                              << "2.5E+0" << 2.5;
        QTest::newRow("beyond single range") << "1"
                                             << "paste over"
                                             << "1E39"
                                             << "1" << 1.0;
        QTest::newRow("number pasted") << "1"
                                       << "paste"
                                       << "25"
                                       << "125" << 125.0;
        QTest::newRow("words pasted") << "7.25"
                                      << "paste"
                                      << "abc"
                                      << "7.25" << 7.25;
    }
    void coefficientKeepsLastGoodText() {
        QFETCH(QString, start);
        QFETCH(QString, action);
        QFETCH(QString, argument);
        QFETCH(QString, text);
        QFETCH(double, value);
        TKoefsWindow w(*bench_->model);
        QVERIFY(w.LoadForDevice(d_));
        QVERIFY(ShowActive(w));
        QLineEdit* a1 = Field(w, "A1Edit");
        Retype(a1, start);
        // A key pressed in another field in between: the paste must not
        // bring that field's text here.
        Retype(Field(w, "A0Edit"), "9");
        a1->setFocus();
        a1->end(false);
        if (action == "retype") {
            Retype(a1, argument);
        } else if (action == "backspace") {
            QTest::keyClick(a1, Qt::Key_Backspace);
        } else if (action == "type") {
            QTest::keyClicks(a1, argument);
        } else {
            if (action == "paste over") a1->selectAll();
            QApplication::clipboard()->setText(argument);
            a1->paste();
        }
        QCOMPARE(a1->text(), text);
        QCOMPARE(bench_->Device(d_).A1, value);
        QCOMPARE(bench_->Device(d_).A0, 9.0);
    }

    // The point and count fields: limits apply when the field is left, an
    // emptied field takes its lower limit at once (LiH1 may stay empty).
    void numberFieldLimits_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("keys");  // typed over the whole field; "" empties it
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("left");
        QTest::addColumn<double>("stored");
        QTest::newRow("point emptied") << "LiY2Edit"
                                       << ""
                                       << "-999"
                                       << "-999" << -999.0;
        QTest::newRow("first X emptied") << "LiH1Edit"
                                         << ""
                                         << ""
                                         << "" << 0.0;
        QTest::newRow("point above limit") << "LiH4Edit"
                                           << "10000"
                                           << "10000"
                                           << "9999" << 9999.0;
        QTest::newRow("point below limit") << "LiY5edit"
                                           << "-1000.5"
                                           << "-1000.5"
                                           << "-999" << -999.0;
        QTest::newRow("point decimals") << "LiH2Edit"
                                        << "0.125"
                                        << "0.125"
                                        << "0.125" << 0.125;
        QTest::newRow("count above") << "nLinEdit"
                                     << "7"
                                     << "7"
                                     << "5" << 5.0;
        QTest::newRow("count below") << "nLinEdit"
                                     << "1"
                                     << "1"
                                     << "2" << 2.0;
        QTest::newRow("count one digit") << "nPolEdit"
                                         << "34"
                                         << "3"
                                         << "3" << 3.0;
        QTest::newRow("count no letters") << "nPolEdit"
                                          << "x"
                                          << "2"
                                          << "2" << 2.0;
    }
    void numberFieldLimits() {
        QFETCH(QString, field);
        QFETCH(QString, keys);
        QFETCH(QString, typed);
        QFETCH(QString, left);
        QFETCH(double, stored);
        bench_->SetParam("008900", "02");
        TKoefsWindow w(*bench_->model);
        QVERIFY(w.LoadForDevice(d_));
        QVERIFY(ShowActive(w));
        QLineEdit* edit = Field(w, field.toUtf8().constData());
        if (keys.isEmpty()) {
            edit->setFocus();
            edit->selectAll();
            QTest::keyClick(edit, Qt::Key_Backspace);
        } else {
            Retype(edit, keys);
        }
        QCOMPARE(edit->text(), typed);
        Leave(edit);
        QVERIFY(!edit->hasFocus());
        QCOMPARE(edit->text(), left);
        TDevice& dev = bench_->Device(d_);
        const double record = field == "nLinEdit"   ? dev.nLin
                              : field == "nPolEdit" ? dev.nPol
                              : field == "LiY2Edit" ? dev.LiY2
                              : field == "LiH1Edit" ? dev.LiH1
                              : field == "LiH4Edit" ? dev.LiH4
                              : field == "LiY5edit" ? dev.LiY5
                                                    : dev.LiH2;
        QCOMPARE(record, stored);
    }

    void failedWriteKeepsDialogOpen() {
        TKoefsWindow w(*bench_->model);
        QVERIFY(w.LoadForDevice(d_));
        QVERIFY(ShowActive(w));
        Retype(Field(w, "A1Edit"), "4");
        bench_->sim.AddFault(DialogBench::kPort, DialogBench::kAddress,
                             sim::Fault(sim::FaultKind::ErrorStatus).OnParameter("008903"));
        QTest::mouseClick(w.findChild<QPushButton*>("WriteBtn"), Qt::LeftButton);
        QVERIFY(w.isVisible());
        QCOMPARE(bench_->messages.size(), std::size_t(1));
        const QString message = bench_->messages.front();
        QVERIFY2(message.startsWith("Запись не завершена. Ошибка!("), qPrintable(message));
        QVERIFY2(message.endsWith("\"A1\""), qPrintable(message));
        QVERIFY(message.contains("Порт COM3"));
    }

    void picture() {
        bench_->SetParam("008800", "04");
        bench_->SetParam("008900", "03");
        const std::pair<const char*, double> values[] = {
            {"008801", 0.0},   {"008802", 0.0},    {"008803", 250.0},  {"008804", 248.6},
            {"008805", 500.0}, {"008806", 503.1},  {"008807", 1000.0}, {"008808", 1010.25},
            {"008902", -0.75}, {"008903", 1.0125}, {"008904", -2.5e-5}};
        for (const auto& [number, value] : values)
            bench_->sim.SetReal(DialogBench::kPort, DialogBench::kAddress, number, value);
        TKoefsWindow w(*bench_->model);
        QVERIFY(w.LoadForDevice(d_));
        QVERIFY(ShowActive(w));
        QVERIFY(Picture(w, "koefs"));
    }

    void failedReadShowsNothing() {
        bench_->sim.Unplug(DialogBench::kPort);
        TKoefsWindow w(*bench_->model);
        QVERIFY(!w.OpenForDevice(d_));
        QVERIFY(!w.isVisible());
        QVERIFY(!bench_->surfaces.ErrorLog().empty());
        QVERIFY(!w.OpenForDevice(200));  // no such instrument
    }
};

QTEST_MAIN(KoefsWindowTest)
#include "koefs_window_test.moc"
