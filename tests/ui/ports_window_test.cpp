// The dialog "Порты": what it shows, what it checks, what it saves.
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "message_box.h"
#include "port_map.h"
#include "ports_window.h"
#include "ser2net_server.h"

using namespace zorvat;

class PortsWindowTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir_;
    QStringList messages_;

    static void Choose(TPortsWindow& w, int n, const QString& device) {
        w.findChild<QComboBox*>(QString("COM%1Choice").arg(n))->setCurrentText(device);
    }
    static void Press(TPortsWindow& w, const char* name) {
        QTest::mouseClick(w.findChild<QPushButton*>(name), Qt::LeftButton);
    }
    QByteArray PortsIni() const {
        QFile f(dir_.filePath("ports.ini"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

  private slots:
    void init() {
        QFile f(dir_.filePath("ports.ini"));
        f.remove();
        SetPortMapFolder(dir_.path().toStdString());
        messages_.clear();
        SetMessageHandler([this](const MessageRequest& r) {
            messages_ << r.text;
            return QMessageBox::Ok;
        });
    }
    void cleanup() {
        SetMessageHandler({});
        ClearPortOverrides();
        SetPortMapFolder("");
    }

    // A choice is checked in the background and says why it cannot be used;
    // OK saves the choices, but not the ports set outside ports.ini.
    void checksAndSaves() {
        SetPortOverride("COM2", "/dev/zorvat-demo-port");
        {
            QFile f(dir_.filePath("ports.ini"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("; line A\n[Ports]\nCOM1=/dev/ttyUSB0\nCOM12=/dev/ttyUSB7\n");
        }
        TPortsWindow w(dir_.path().toStdString());
        QCOMPARE(w.Choice(1), QString("/dev/ttyUSB0"));  // from ports.ini
        QVERIFY(!w.findChild<QComboBox*>("COM2Choice")->isEnabled());
        QVERIFY(QTest::qWaitFor([&] { return w.ChecksDone(); }, 5000));

        const QString refused =
            QString("tcp://127.0.0.1:%1").arg(zorvat::testing::FreeLoopbackPort());
        Choose(w, 3, refused);
        Choose(w, 4, "/nonexistent/ttyUSB3");
        Press(w, "CheckBtn");
        QVERIFY(QTest::qWaitFor([&] { return w.ChecksDone(); }, 5000));
        QVERIFY2(w.CheckResult(3).contains("отказал"), qPrintable(w.CheckResult(3)));
        QVERIFY2(w.CheckResult(4).contains("не найдено"), qPrintable(w.CheckResult(4)));

        // A malformed address is refused before anything is saved.
        Choose(w, 5, "tcp://plc-gateway");
        Press(w, "OkBtn");
        QCOMPARE(w.result(), int(QDialog::Rejected));
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_[0].startsWith("COM5"), qPrintable(messages_[0]));

        Choose(w, 5, "");
        Choose(w, 1, "");
        Press(w, "OkBtn");
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QCOMPARE(PortsIni(), QByteArray("; line A\n[Ports]\nCOM12=/dev/ttyUSB7\nCOM3=" +
                                        refused.toUtf8() + "\nCOM4=/nonexistent/ttyUSB3\n"));
        QCOMPARE(QString::fromStdString(ResolvePort("COM3").device), refused);
        QCOMPARE(QString::fromStdString(ResolvePort("COM2").device),
                 QString("/dev/zorvat-demo-port"));
    }

    // Closed while a check still waits for a server: nothing is left behind.
    void closedWhileChecking() {
        auto w = std::make_unique<TPortsWindow>(dir_.path().toStdString());
        // 192.0.2.1 (TEST-NET-1) does not answer: the check waits its time-out.
        Choose(*w, 6, "tcp://192.0.2.1:4001");
        Press(*w, "CheckBtn");
        w.reset();
        QTest::qWait(50);
    }
};

QTEST_MAIN(PortsWindowTest)
#include "ports_window_test.moc"
