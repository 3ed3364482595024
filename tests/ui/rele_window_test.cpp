// The relay table dialog: the packing of the cells into the table bytes, and
// the dialog against a simulated instrument.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include "koefs_dialog_fixture.h"
#include "rele_window.h"
#include "sim/faults.h"

using namespace zorvat;
using namespace zorvat::testing;

namespace {

using Table = std::array<std::uint8_t, 12>;

Table TableFromHex(const QByteArray& hex) {
    Table table{};
    const QByteArray bytes = QByteArray::fromHex(hex);
    for (std::size_t i = 0; i < table.size() && i < std::size_t(bytes.size()); ++i)
        table[i] = static_cast<std::uint8_t>(bytes[qsizetype(i)]);
    return table;
}

QByteArray HexFromTable(const Table& table) {
    return QByteArray(reinterpret_cast<const char*>(table.data()), qsizetype(table.size()))
        .toHex()
        .toUpper();
}

}  // namespace

class ReleWindowTest : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<DialogBench> bench_;

    static QLabel* Cell(TFormRELE& w, int r, int c, int k) {
        return w.findChild<QLabel*>(QStringLiteral("Cell%1%2%3").arg(r).arg(c).arg(k));
    }
    // The operator clicks a cell and picks an item of its menu.
    static void Choose(TFormRELE& w, int r, int c, int k, const char* item) {
        QTest::mouseClick(Cell(w, r, c, k), Qt::RightButton);
        auto* action = w.findChild<QAction*>(QString::fromUtf8(item));
        QVERIFY(action != nullptr);
        action->trigger();
    }

  private slots:
    void init() { bench_ = std::make_unique<DialogBench>(); }
    void cleanup() { bench_.reset(); }

    // Cell (relay, channel, row) of a table, and the table packed back.
    void packing_data() {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<int>("relay");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("value");
        QTest::addColumn<QByteArray>("packed");
        const QByteArray zero(24, '0');
        // 46 = 01 00 01 10: setpoint 1 upper, 2 lower, 3 none, error on.
        const QByteArray b46 = "46" + QByteArray(22, '0');
        QTest::newRow("46 setpoint 1") << b46 << 1 << 1 << 1 << 2 << b46;
        QTest::newRow("46 setpoint 2") << b46 << 1 << 1 << 2 << 1 << b46;
        QTest::newRow("46 setpoint 3") << b46 << 1 << 1 << 3 << 0 << b46;
        QTest::newRow("46 error") << b46 << 1 << 1 << 4 << 1 << b46;
        // Relay 2, channel 1 is byte 3; setpoint 3 bits 4-5.
        const QByteArray upper =
            "000000"
            "20" +
            QByteArray(16, '0');
        QTest::newRow("relay 2 channel 1 setpoint 3") << upper << 2 << 1 << 3 << 2 << upper;
        // Relay 4, channel 3 is the last byte; setpoint off is 3.
        const QByteArray last = QByteArray(22, '0') + "03";
        QTest::newRow("relay 4 channel 3 setpoint 1") << last << 4 << 3 << 1 << 3 << last;
        // An error field of 3 means nothing: shown as none, written as 0.
        const QByteArray error3 =
            "0000000000"
            "D5" +
            QByteArray(12, '0');
        const QByteArray error0 =
            "0000000000"
            "15" +
            QByteArray(12, '0');
        QTest::newRow("error field 3") << error3 << 2 << 3 << 4 << 0 << error0;
        QTest::newRow("beside error field 3") << error3 << 2 << 3 << 1 << 1 << error0;
        QTest::newRow("empty") << zero << 3 << 2 << 2 << 0 << zero;
    }
    void packing() {
        QFETCH(QByteArray, table);
        QFETCH(int, relay);
        QFETCH(int, channel);
        QFETCH(int, row);
        QFETCH(int, value);
        QFETCH(QByteArray, packed);
        const RelayCells cells = UnPack(TableFromHex(table));
        QCOMPARE(int(cells[std::size_t(relay - 1)][std::size_t(channel - 1)][std::size_t(row - 1)]),
                 value);
        Table out = TableFromHex("FF FF FF FF FF FF FF FF FF FF FF FF");
        Pack(cells, out);
        QCOMPARE(HexFromTable(out), packed);
    }

    void delayItems_data() {
        QTest::addColumn<int>("nrL");
        QTest::addColumn<int>("item");
        QTest::newRow("off") << 1 << 0;
        QTest::newRow("2 of 2") << 2 << 1;
        QTest::newRow("3 of 4") << 4 << 2;
        QTest::newRow("4 of 6") << 6 << 3;
        QTest::newRow("5 of 8") << 8 << 4;
        QTest::newRow("zero") << 0 << -1;
        QTest::newRow("five") << 5 << -1;
    }
    void delayItems() {
        QFETCH(int, nrL);
        QFETCH(int, item);
        QCOMPARE(DelayItem(std::uint8_t(nrL)), item);
        if (item >= 0) QCOMPARE(int(DelayValue(item)), nrL);
    }

    // Cells and delay lists edited in the window are written and come back
    // from the instrument; a delay the list has no item for stays as read.
    void editWriteReadBack() {
        const std::uint8_t d = bench_->Start(0xC3);
        bench_->SetParam("002110", "02");
        bench_->SetParam("002111", "05");
        bench_->SetParam("00200C", "0000000000C0" + std::string(12, '0'));
        bench_->model->StopFlag = true;  // left over from a stopped operation
        TFormRELE w(*bench_->model);
        QVERIFY(w.LoadForDevice(d, 7, 0x0F));
        QCOMPARE(w.height(), TFormRELE::kFullHeight);
        QCOMPARE(w.findChild<QComboBox*>("MenuMajor1")->currentText(), QString("2из2"));
        QVERIFY(ShowActive(w));
        QCOMPARE(w.findChild<QComboBox*>("MenuMajor2")->currentIndex(), -1);
        QCOMPARE(Cell(w, 2, 3, 4)->text(), QString("Hет"));

        Choose(w, 2, 1, 3, "N3");
        QCOMPARE(Cell(w, 2, 1, 3)->text(), QString("Верхняя"));
        Choose(w, 1, 2, 4, "E2");
        QCOMPARE(Cell(w, 1, 2, 4)->text(), QString("Вкл"));
        auto* delay1 = w.findChild<QComboBox*>("MenuMajor1");
        delay1->setCurrentIndex(3);
        emit delay1->activated(3);
        QCOMPARE(int(bench_->Device(d).nrL1), 6);

        QTest::mouseClick(w.findChild<QPushButton*>("BtnER"), Qt::LeftButton);
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QVERIFY(bench_->messages.empty());
        QCOMPARE(bench_->Param("002110"), std::string("06"));
        QCOMPARE(bench_->Param("002111"), std::string("05"));
        // Byte 1: relay 1 channel 2 error on; byte 3: relay 2 channel 1
        // setpoint 3 upper; byte 5's error field of 3 written as 0.
        QCOMPARE(bench_->Param("00200C"),
                 "0040002000"
                 "00" +
                     std::string(12, '0'));

        TFormRELE again(*bench_->model);
        QVERIFY(again.LoadForDevice(d, 7, 0x0F));
        QCOMPARE(Cell(again, 2, 1, 3)->text(), QString("Верхняя"));
        QCOMPARE(again.findChild<QComboBox*>("MenuMajor1")->currentText(), QString("4из6"));
    }

    // Which relays and channels the window shows, and its height.
    void masks_data() {
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("channelMask");
        QTest::addColumn<int>("relayMask");
        QTest::addColumn<int>("height");
        QTest::newRow("three channels, relays 1 and 2") << 0xC3 << 7 << 3 << TFormRELE::kFullHeight;
        QTest::newRow("one channel, four relays") << 0x51 << 1 << 15 << TFormRELE::kShortHeight;
        QTest::newRow("three channels, relays 1, 3") << 0xD3 << 7 << 5 << TFormRELE::kFullHeight;
    }
    void masks() {
        QFETCH(int, model);
        QFETCH(int, channelMask);
        QFETCH(int, relayMask);
        QFETCH(int, height);
        const std::uint8_t d = bench_->Start(std::uint8_t(model));
        TFormRELE w(*bench_->model);
        QVERIFY(w.LoadForDevice(d, std::uint8_t(channelMask), std::uint8_t(relayMask)));
        QCOMPARE(w.height(), height);
        for (int c = 1; c <= 3; ++c) {
            const bool channel = channelMask & (1 << (c - 1));
            QCOMPARE(w.findChild<QGroupBox*>(QStringLiteral("GroupBox%1").arg(c))->isHidden(),
                     !channel);
            for (int r = 1; r <= 4; ++r) {
                const bool relay = relayMask & (1 << (r - 1));
                if (c == 1) {
                    QCOMPARE(
                        w.findChild<QComboBox*>(QStringLiteral("MenuMajor%1").arg(r))->isHidden(),
                        !relay);
                }
                for (int k = 1; k <= 4; ++k)
                    QCOMPARE(Cell(w, r, c, k)->isHidden(), !(relay && channel));
            }
        }
    }

    void picture() {
        const std::uint8_t d = bench_->Start(0xC3);
        bench_->SetParam("002110", "04");
        bench_->SetParam("002111", "01");
        bench_->SetParam("00200C",
                         "4609A0"
                         "02"
                         "0000"
                         "0A4000" +
                             std::string(6, '0'));
        TFormRELE w(*bench_->model);
        QVERIFY(w.LoadForDevice(d, 7, 0x07));
        QVERIFY(ShowActive(w));
        QVERIFY(Picture(w, "rele"));
    }

    void failedWriteKeepsWindowOpen() {
        const std::uint8_t d = bench_->Start(0xC3);
        TFormRELE w(*bench_->model);
        QVERIFY(w.LoadForDevice(d, 7, 7));
        QVERIFY(ShowActive(w));
        Choose(w, 1, 1, 1, "N2");
        bench_->sim.AddFault(DialogBench::kPort, DialogBench::kAddress,
                             sim::Fault(sim::FaultKind::Silent).OnParameter("00200C"));
        QTest::mouseClick(w.findChild<QPushButton*>("BtnER"), Qt::LeftButton);
        QVERIFY(w.isVisible());
        QCOMPARE(bench_->messages.size(), std::size_t(1));
        const QString message = bench_->messages.front();
        QVERIFY2(message.startsWith("Запись не завершена. Ошибка!("), qPrintable(message));
        QVERIFY2(message.endsWith("\"relTbl\""), qPrintable(message));
    }

    void failedReadShowsNothing() {
        const std::uint8_t d = bench_->Start(0xC3);
        bench_->sim.AddFault(DialogBench::kPort, DialogBench::kAddress,
                             sim::Fault(sim::FaultKind::ErrorStatus).OnParameter("002112"));
        TFormRELE w(*bench_->model);
        QVERIFY(!w.OpenForDevice(d, 7, 7));
        QVERIFY(!w.isVisible());
        QVERIFY(!bench_->surfaces.ErrorLog().empty());
    }
};

QTEST_MAIN(ReleWindowTest)
#include "rele_window_test.moc"
