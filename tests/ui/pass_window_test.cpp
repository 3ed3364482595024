// The passwords dialog: its key and paste filter, the equal-passwords
// refusal, and the write to a simulated instrument.
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "koefs_dialog_fixture.h"
#include "pass_window.h"
#include "sim/faults.h"

using namespace zorvat;
using namespace zorvat::testing;

class PassWindowTest : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<DialogBench> bench_;
    std::uint8_t d_ = 0;

    static QLineEdit* Field(TPassWindow& w, int n) {
        return w.findChild<QLineEdit*>(QStringLiteral("fPass%1").arg(n));
    }
    // A full field takes no key, not even over a selection: the operator
    // deletes first.
    static void Retype(QLineEdit* field, const QString& keys) {
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, keys);
    }
    static void Ok(TPassWindow& w) {
        QTest::mouseClick(w.findChild<QPushButton*>("WriteBtn"), Qt::LeftButton);
    }

  private slots:
    void init() {
        bench_ = std::make_unique<DialogBench>();
        d_ = bench_->Start(0xC3);
    }
    void cleanup() { bench_.reset(); }

    // What typing and pasting leave in a field.
    void keyFilter_data() {
        QTest::addColumn<QString>("start");   // the field's text before
        QTest::addColumn<bool>("selectAll");  // the start text selected
        QTest::addColumn<QString>("keys");    // typed ("\b" is Backspace) ...
        QTest::addColumn<QString>("paste");   // ... or pasted
        QTest::addColumn<QString>("text");
        QTest::newRow("lower case") << "" << false << "a1fc"
                                    << ""
                                    << "A1FC";
        QTest::newRow("beyond f") << "" << false << "g1zG2"
                                  << ""
                                  << "12";
        QTest::newRow("fifth character") << "" << false << "12345"
                                         << ""
                                         << "1234";
        QTest::newRow("over a full selection") << "1234" << true << "5"
                                               << ""
                                               << "1234";
        QTest::newRow("over a short selection") << "12" << true << "e"
                                                << ""
                                                << "E";
        QTest::newRow("backspace") << "ABCD" << false << "\b\b9"
                                   << ""
                                   << "AB9";
        QTest::newRow("paste mixed") << "" << false << ""
                                     << " 1a-2B:zz3c4"
                                     << "1A2B";
        QTest::newRow("paste after text") << "12" << false << ""
                                          << "abcdef"
                                          << "12AB";
        QTest::newRow("paste nothing usable") << "7" << false << ""
                                              << "xyz"
                                              << "7";
    }
    void keyFilter() {
        QFETCH(QString, start);
        QFETCH(bool, selectAll);
        QFETCH(QString, keys);
        QFETCH(QString, paste);
        QFETCH(QString, text);
        TPassWindow w(*bench_->model);
        QVERIFY(w.LoadForDevice(d_));
        QVERIFY(ShowActive(w));
        QLineEdit* field = Field(w, 2);
        field->setText(start);
        field->setFocus();
        field->end(false);
        if (selectAll) field->selectAll();
        for (QChar c : keys) {
            if (c == QLatin1Char('\b'))
                QTest::keyClick(field, Qt::Key_Backspace);
            else
                QTest::keyClicks(field, QString(c));
        }
        if (!paste.isEmpty()) {
            QApplication::clipboard()->setText(paste);
            field->paste();
        }
        QCOMPARE(field->text(), text);
    }

    // Passwords 2 and 3 may not be the same, compared as they would be
    // written: completed with zeros, either case.
    void equalPasswords_data() {
        QTest::addColumn<QString>("pass2");
        QTest::addColumn<QString>("pass3");
        QTest::addColumn<bool>("refused");
        QTest::newRow("same") << "1234"
                              << "1234" << true;
        QTest::newRow("same once completed") << "12"
                                             << "1200" << true;
        QTest::newRow("both empty") << ""
                                    << "" << true;
        QTest::newRow("case only") << "AB12"
                                   << "ab12" << true;
        QTest::newRow("different") << "1234"
                                   << "4321" << false;
        QTest::newRow("zero on the left") << "12"
                                          << "0012" << false;
    }
    void equalPasswords() {
        QFETCH(QString, pass2);
        QFETCH(QString, pass3);
        QFETCH(bool, refused);
        TPassWindow w(*bench_->model);
        QVERIFY(w.LoadForDevice(d_));
        QVERIFY(ShowActive(w));
        const std::string before = bench_->Device(d_).Pass2;
        Field(w, 2)->setText(pass2);
        Field(w, 3)->setText(pass3);
        Ok(w);
        if (refused) {
            QCOMPARE(bench_->messages,
                     std::vector<QString>{"Пароли 2 и 3 не могут быть одинаковыми."});
            QVERIFY(w.isVisible());
            QCOMPARE(bench_->Device(d_).Pass2, before);
            QCOMPARE(bench_->Param("005002"), std::string("0000"));
        } else {
            QVERIFY(bench_->messages.empty());
            QCOMPARE(w.result(), int(QDialog::Accepted));
        }
    }

    // The fields show the stored form (digit pairs exchanged); a short
    // password is completed with zeros, written, and read back the same.
    void editWriteReadBack() {
        bench_->SetParam("005001", "3412");
        bench_->SetParam("005003", "00AB");
        bench_->model->StopFlag = true;  // left over from a stopped operation
        TPassWindow w(*bench_->model);
        QVERIFY(w.LoadForDevice(d_));
        QCOMPARE(Field(w, 1)->text(), QString("1234"));
        QCOMPARE(Field(w, 3)->text(), QString("AB00"));
        QVERIFY(ShowActive(w));
        Retype(Field(w, 2), "5c");
        Ok(w);
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QVERIFY(bench_->messages.empty());
        QCOMPARE(bench_->Device(d_).Pass2, std::string("5C00"));
        QCOMPARE(bench_->Param("005001"), std::string("3412"));
        QCOMPARE(bench_->Param("005002"), std::string("005C"));

        TPassWindow again(*bench_->model);
        QVERIFY(again.LoadForDevice(d_));
        QCOMPARE(Field(again, 2)->text(), QString("5C00"));
    }

    // The demonstration bench's instruments take the first OK unchanged.
    void showcaseTakesTheFirstOk() {
        bench_->sim.Showcase(DialogBench::kPort, DialogBench::kAddress);
        TPassWindow w(*bench_->model);
        QVERIFY(w.LoadForDevice(d_));
        QVERIFY(Field(w, 2)->text() != Field(w, 3)->text());
        QVERIFY(ShowActive(w));
        Ok(w);
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QVERIFY(bench_->messages.empty());
    }

    void failedWriteKeepsDialogOpen() {
        TPassWindow w(*bench_->model);
        QVERIFY(w.LoadForDevice(d_));
        QVERIFY(ShowActive(w));
        Retype(Field(w, 1), "1111");
        Retype(Field(w, 2), "2222");
        bench_->sim.AddFault(DialogBench::kPort, DialogBench::kAddress,
                             sim::Fault(sim::FaultKind::BadChecksum).OnParameter("005002"));
        Ok(w);
        QVERIFY(w.isVisible());
        QCOMPARE(bench_->messages.size(), std::size_t(1));
        const QString message = bench_->messages.front();
        QVERIFY2(message.startsWith("Запись не завершена. Ошибка!("), qPrintable(message));
        QVERIFY2(message.endsWith("\"Pass2\""), qPrintable(message));
        QCOMPARE(bench_->Param("005001"), std::string("1111"));
    }

    // "Отмена" asks first; typed texts never reach the record.
    void cancel_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closed");
        QTest::newRow("no") << int(QMessageBox::No) << false;
        QTest::newRow("yes") << int(QMessageBox::Yes) << true;
    }
    void cancel() {
        QFETCH(int, answer);
        QFETCH(bool, closed);
        TPassWindow w(*bench_->model);
        QVERIFY(w.LoadForDevice(d_));
        QVERIFY(ShowActive(w));
        Retype(Field(w, 1), "ABCD");
        bench_->answer = QMessageBox::StandardButton(answer);
        QTest::mouseClick(w.findChild<QPushButton*>("CancelBtn"), Qt::LeftButton);
        QCOMPARE(bench_->messages.size(), std::size_t(1));
        QVERIFY(bench_->messages.front().startsWith("Все незаписанные в прибор изменения"));
        QCOMPARE(w.isVisible(), !closed);
        if (closed) QCOMPARE(w.result(), int(QDialog::Rejected));
        QCOMPARE(bench_->Device(d_).Pass1, std::string("0000"));
        // Escape is the same as "Отмена".
        if (!closed) {
            QTest::keyClick(&w, Qt::Key_Escape);
            QCOMPARE(bench_->messages.size(), std::size_t(2));
            QVERIFY(w.isVisible());
        }
    }

    void failedReadShowsNothing() {
        bench_->sim.AddFault(DialogBench::kPort, DialogBench::kAddress,
                             sim::Fault(sim::FaultKind::Silent).OnParameter("005003"));
        TPassWindow w(*bench_->model);
        QVERIFY(!w.OpenForDevice(d_));
        QVERIFY(!w.isVisible());
        QVERIFY(!bench_->surfaces.ErrorLog().empty());
    }

    void picture() {
        bench_->SetParam("005001", "3412");
        bench_->SetParam("005002", "0A0B");
        bench_->SetParam("005003", "00C0");
        TPassWindow w(*bench_->model);
        QVERIFY(w.LoadForDevice(d_));
        QVERIFY(ShowActive(w));
        QVERIFY(Picture(w, "pass"));
    }
};

QTEST_MAIN(PassWindowTest)
#include "pass_window_test.moc"
