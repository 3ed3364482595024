// The analog output dialog against a simulated instrument.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "koefs_dialog_fixture.h"
#include "pvi_window.h"
#include "sim/faults.h"
#include "ui_number_edit.h"

using namespace zorvat;
using namespace zorvat::testing;

class PviWindowTest : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<DialogBench> bench_;

    static QStringList Items(const QComboBox* box) {
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        return items;
    }
    double Real(const char* number) const {
        return bench_->sim.Real(DialogBench::kPort, DialogBench::kAddress, number);
    }

  private slots:
    void init() { bench_ = std::make_unique<DialogBench>(); }
    void cleanup() { bench_.reset(); }

    void displayFormat_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("integer") << 20.0 << "20";
        QTest::newRow("fraction") << 2.5 << "2.5";
        QTest::newRow("four decimals") << -1.23456 << "-1.2346";
        QTest::newRow("rounds to zero") << -0.00001 << "0";
        QTest::newRow("single") << double(0.1f) << "0.1";
    }
    void displayFormat() {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(TNumberEdit::Format(value, 4), text);
    }

    // The sources offered depend on the model; a source the list has no
    // item for shows none and stays in the record.
    void sources_data() {
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("source");  // SrO as the instrument holds it
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<int>("shown");
        const QStringList shortList{"Канал 1", "Регулятор 1"};
        const QStringList fullList{"Канал 1", "Регулятор 1", "Канал 2", "Канал 3", "Регулятор 2"};
        QTest::newRow("one channel") << 0x51 << "01" << shortList << 1;
        QTest::newRow("one channel, source 3") << 0x51 << "03" << shortList << -1;
        QTest::newRow("three channels, source 3") << 0xC3 << "03" << fullList << 3;
        QTest::newRow("three channels, source 7") << 0xF3 << "07" << fullList << -1;
    }
    void sources() {
        QFETCH(int, model);
        QFETCH(QString, source);
        QFETCH(QStringList, items);
        QFETCH(int, shown);
        const std::uint8_t d = bench_->Start(std::uint8_t(model));
        bench_->SetParam("013F01", source.toStdString());
        TPVIWindow w(*bench_->model);
        QVERIFY(w.LoadForDevice(d, 1));
        auto* box = w.findChild<QComboBox*>("cb_Sou");
        QCOMPARE(Items(box), items);
        QCOMPARE(box->currentIndex(), shown);
        QCOMPARE(int(bench_->Device(d).SrO), source.toInt());
    }

    // Limits apply when a number field is left; the record follows.
    void numberLimits_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("left");
        QTest::addColumn<double>("stored");
        QTest::newRow("above") << "IoHBox"
                               << "10000"
                               << "9999" << 9999.0;
        QTest::newRow("below") << "IoLbox"
                               << "-1000"
                               << "-999" << -999.0;
        QTest::newRow("within") << "EOutBox"
                                << "3.25"
                                << "3.25" << 3.25;
        QTest::newRow("emptied") << "IoHBox"
                                 << ""
                                 << "-999" << -999.0;
        QTest::newRow("lone minus") << "IoLbox"
                                    << "-"
                                    << "-999" << -999.0;
    }
    void numberLimits() {
        QFETCH(QString, field);
        QFETCH(QString, keys);
        QFETCH(QString, left);
        QFETCH(double, stored);
        const std::uint8_t d = bench_->Start(0xC3);
        TPVIWindow w(*bench_->model);
        QVERIFY(w.LoadForDevice(d, 1));
        QVERIFY(ShowActive(w));
        auto* edit = w.findChild<QLineEdit*>(field);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, keys);
        Leave(edit);
        QCOMPARE(edit->text(), left);
        const TDevice& dev = bench_->Device(d);
        QCOMPARE(field == "IoLbox" ? dev.OdL : field == "IoHBox" ? dev.OdH : dev.OEr, stored);
    }

    // Output 2: its caption and its own parameters; the edits are written
    // and come back from the instrument, output 1 untouched.
    void editWriteReadBack() {
        const std::uint8_t d = bench_->Start(0xC3);
        bench_->sim.SetReal(DialogBench::kPort, DialogBench::kAddress, "023F04", 50.0);
        bench_->model->StopFlag = true;  // left over from a stopped operation
        TPVIWindow w(*bench_->model);
        QVERIFY(w.LoadForDevice(d, 2));
        QCOMPARE(w.windowTitle(), QString("ПВИ 2"));
        QCOMPARE(w.findChild<QLineEdit*>("IoHBox")->text(), QString("50"));
        QCOMPARE(w.findChild<QComboBox*>("cb_tOut")->currentText(), QString("4 .. 20 мА"));
        QVERIFY(ShowActive(w));

        auto* source = w.findChild<QComboBox*>("cb_Sou");
        source->setCurrentIndex(4);
        emit source->activated(4);
        auto* range = w.findChild<QComboBox*>("cb_tOut");
        range->setCurrentIndex(0);
        emit range->activated(0);
        Retype(w.findChild<QLineEdit*>("IoLbox"), "-12.5");
        Retype(w.findChild<QLineEdit*>("EOutBox"), "21.75");
        QTest::mouseClick(w.findChild<QPushButton*>("WriteBtn"), Qt::LeftButton);
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QVERIFY(bench_->messages.empty());
        QCOMPARE(bench_->Param("023F01"), std::string("04"));
        QCOMPARE(bench_->Param("023F02"), std::string("00"));
        QCOMPARE(Real("023F03"), -12.5);
        QCOMPARE(Real("023F04"), 50.0);
        QCOMPARE(Real("023F05"), 21.75);
        QCOMPARE(bench_->Param("013F01"), std::string("00"));

        TPVIWindow one(*bench_->model);
        QVERIFY(one.LoadForDevice(d, 1));
        QCOMPARE(one.windowTitle(), QString("ПВИ"));
        QCOMPARE(one.findChild<QLineEdit*>("IoLbox")->text(), QString("0"));
        QVERIFY(one.LoadForDevice(d, 2));
        QCOMPARE(one.findChild<QLineEdit*>("IoLbox")->text(), QString("-12.5"));
        QCOMPARE(one.findChild<QComboBox*>("cb_Sou")->currentText(), QString("Регулятор 2"));
    }

    void failedWriteKeepsDialogOpen() {
        const std::uint8_t d = bench_->Start(0xC3);
        TPVIWindow w(*bench_->model);
        QVERIFY(w.LoadForDevice(d, 1));
        QVERIFY(ShowActive(w));
        Retype(w.findChild<QLineEdit*>("IoHBox"), "200");
        bench_->sim.AddFault(DialogBench::kPort, DialogBench::kAddress,
                             sim::Fault(sim::FaultKind::ErrorStatus).OnParameter("013F04"));
        QTest::mouseClick(w.findChild<QPushButton*>("WriteBtn"), Qt::LeftButton);
        QVERIFY(w.isVisible());
        QCOMPARE(bench_->messages.size(), std::size_t(1));
        const QString message = bench_->messages.front();
        QVERIFY2(message.startsWith("Запись не завершена. Ошибка!("), qPrintable(message));
        QVERIFY2(message.endsWith("\"Конец выходного диапазона преобразования\""),
                 qPrintable(message));
    }

    void failedReadShowsNothing() {
        const std::uint8_t d = bench_->Start(0xC3);
        bench_->sim.Unplug(DialogBench::kPort);
        TPVIWindow w(*bench_->model);
        QVERIFY(!w.OpenForDevice(d, 1));
        QVERIFY(!w.isVisible());
        QVERIFY(!bench_->surfaces.ErrorLog().empty());
        QVERIFY(!w.OpenForDevice(d, 3));  // no such output
    }

    void picture() {
        const std::uint8_t d = bench_->Start(0xC3);
        bench_->sim.SetReal(DialogBench::kPort, DialogBench::kAddress, "013F03", -50.0);
        bench_->sim.SetReal(DialogBench::kPort, DialogBench::kAddress, "013F04", 1250.5);
        bench_->sim.SetReal(DialogBench::kPort, DialogBench::kAddress, "013F05", 3.6);
        bench_->SetParam("013F01", "02");
        TPVIWindow w(*bench_->model);
        QVERIFY(w.LoadForDevice(d, 1));
        QVERIFY(ShowActive(w));
        QVERIFY(Picture(w, "pvi"));
    }
};

QTEST_MAIN(PviWindowTest)
#include "pvi_window_test.moc"
