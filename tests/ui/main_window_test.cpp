// The main window against simulated instruments: the search and the tree,
// the selection rules, the read buttons, the project commands and the event
// loop's responsiveness while exchanges and polling run.
#include <qcustomplot.h>
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <memory>

#include "Files.h"
#include "device_tree.h"
#include "graph_page.h"
#include "line_stats.h"
#include "main_window.h"
#include "message_box.h"
#include "regulator_page.h"
#include "th_search.h"
#include "trend_file.h"
#include "trend_recorder.h"
#include "ui_fixture.h"

using namespace zorvat;
using namespace zorvat::testing;

namespace {

// The message boxes' answers, and the file chooser's.
struct Answers : MessageAnswers {
    QString file;  // what the file chooser returns
    QStringList foldersShown;
    Answers() {
        SetFileHandler([this](const FileRequest&) { return file; });
        SetFolderHandler([this](const QString& folder) { foldersShown << folder; });
    }
    ~Answers() {
        SetFileHandler({});
        SetFolderHandler({});
    }
};

QStringList Lines(const QPlainTextEdit* edit) {
    return edit->toPlainText().split('\n', Qt::SkipEmptyParts);
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<SimBench> bench_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<TMainWindow> window_;
    std::unique_ptr<Answers> answers_;

    void StartBench(char startSwitch = 0) {
        bench_ = std::make_unique<SimBench>();
        bench_->Add("COM1", 1, 0x51);
        bench_->Add("COM1", 2, 0xC3);
        bench_->Add("COM2", 1, 0xF3);
        bench_->Start();
        dir_ = std::make_unique<QTemporaryDir>();
        answers_ = std::make_unique<Answers>();
        MainWindowOptions options;
        options.programDir = dir_->path().toStdString();
        options.startSwitch = startSwitch;
        options.showStartWindow = false;
        window_ = std::make_unique<TMainWindow>(options);
        window_->show();
        window_->Start();
    }

    template <typename T>
    T* Find(const char* name) const {
        T* w = window_->findChild<T*>(name);
        if (w == nullptr) qFatal("no widget %s", name);
        return w;
    }

    // Presses "Найти приборы" for COM1..COM2, addresses 1..3, and waits for
    // the search and its read to end.
    void Search() {
        Find<QComboBox>("COMmin")->setCurrentIndex(0);
        Find<QComboBox>("COMmax")->setCurrentIndex(1);
        Find<QSpinBox>("MinAddr")->setValue(1);
        Find<QSpinBox>("MaxAddr")->setValue(3);
        Find<QComboBox>("cmbBaudIptv")->setCurrentText("19200");
        auto* button = Find<QPushButton>("RzBitBtn1");
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor(
            [&] { return button->text().remove(QLatin1Char('&')) == "Остановить поиск"; }, 2000));
        QVERIFY(QTest::qWaitFor(
            [&] { return button->text().remove(QLatin1Char('&')) == "Найти приборы"; }, 60000));
    }

    QTreeWidgetItem* Node(const QString& path) const {
        // "Порт COM1>Прибор: ZURURU-71/M2(2)>Регулятор 2"
        const QStringList parts = path.split('>');
        QTreeWidgetItem* item = nullptr;
        QTreeWidget* tree = window_->Tree();
        for (const QString& part : parts) {
            QTreeWidgetItem* next = nullptr;
            const int n = item ? item->childCount() : tree->topLevelItemCount();
            for (int i = 0; i < n && next == nullptr; ++i) {
                QTreeWidgetItem* c = item ? item->child(i) : tree->topLevelItem(i);
                if (c->text(0) == part) next = c;
            }
            if (next == nullptr) return nullptr;
            item = next;
        }
        return item;
    }

    QStringList TreeTexts() const {
        QStringList out;
        std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* item, int depth) {
            QString line = QString(depth * 2, ' ') + item->text(0);
            if (item->data(0, Qt::CheckStateRole).isValid())
                line += item->checkState(0) == Qt::Checked ? " [x]" : " [ ]";
            out << line;
            for (int i = 0; i < item->childCount(); ++i)
                walk(item->child(i), depth + 1);
        };
        for (int i = 0; i < window_->Tree()->topLevelItemCount(); ++i)
            walk(window_->Tree()->topLevelItem(i), 0);
        return out;
    }

    bool PanelHidden() const {
        auto* stack = Find<QWidget>("DevInfoPanel")->parentWidget();
        return qobject_cast<QStackedWidget*>(stack)->currentWidget()->objectName() ==
               "DevInfoPanel";
    }

    // With ZORVAT_SHOTS=DIR set, the window is saved there as NAME.png.
    void Shoot(const QString& name) {
        const QString dir = qEnvironmentVariable("ZORVAT_SHOTS");
        if (dir.isEmpty()) return;
        QTest::qWait(300);
        window_->grab().save(dir + "/" + name + ".png");
    }

  private slots:
    void cleanup() {
        if (window_) {
            answers_->answer = QMessageBox::Yes;
            window_.reset();
        }
        answers_.reset();
        bench_.reset();
        dir_.reset();
    }

    void searchBuildsTheTree() {
        StartBench();
        QCOMPARE(Find<QLabel>("Project_msg")->text().remove(QLatin1Char('&')),
                 QString("Нет изменений"));
        QVERIFY(!PanelHidden());
        Search();
        const QStringList expected = {
            "Порт COM1",           "  Прибор: ZURURU-71/M1(1)",
            "    Регулятор 1 [ ]", "  Прибор: ZURURU-71/M2(2)",
            "    Регулятор 1 [ ]", "    Регулятор 2 [ ]",
            "Порт COM2",           "  Прибор: RAZIRI-72/M2(1)",
            "    Регулятор 1 [ ]", "    Регулятор 2 [ ]",
        };
        QCOMPARE(TreeTexts(), expected);
        QCOMPARE(Lines(Find<QPlainTextEdit>("FindedDevmem")),
                 QStringList(
                     {"Приборы найдены.", "Все параметры считаны.", "Сделайте выбор в дереве."}));
        QCOMPARE(window_->Tree()->currentItem()->text(0), QString("Порт COM1"));
        QVERIFY(PanelHidden());
        QVERIFY(Find<QPushButton>("ReadAllPar_Btn")->isEnabled());
        QVERIFY(!Find<QPushButton>("Read_sets_Btn")->isEnabled());
        QCOMPARE(Find<QLabel>("Project_msg")->text().remove(QLatin1Char('&')),
                 QString("Проект изменён"));
        QCOMPARE(window_->Model().DeviceList.Count(), std::size_t{3});
        Shoot("link");
    }

    void selectionRules() {
        StartBench();
        Search();
        QTabWidget* pages = window_->Pages();
        QTreeWidget* tree = window_->Tree();

        // An instrument: its data in the memo, page "Связь", pages enabled.
        tree->setCurrentItem(Node("Порт COM1>Прибор: ZURURU-71/M2(2)"));
        QCOMPARE(
            Lines(Find<QPlainTextEdit>("FindedDevmem")),
            QStringList({"Найден прибор ZURURU-71/M2", "Порт: COM1", "Адрес: 2", "Скорость: 19200",
                         "Версия ПО: " + QString::number(window_->Model().Device(1)->POversion)}));
        QCOMPARE(pages->currentIndex(), 0);
        QVERIFY(pages->isTabEnabled(1) && pages->isTabEnabled(2) && pages->isTabEnabled(3));
        QVERIFY(Find<QPushButton>("CheckConnectBtn")->isEnabled());

        // Its regulator from page "Связь": page "Параметры".
        tree->setCurrentItem(Node("Порт COM1>Прибор: ZURURU-71/M2(2)>Регулятор 2"));
        QCOMPARE(pages->currentIndex(), 1);
        QCOMPARE(window_->Surfaces().SelectedRegulator(), (RegulatorRef{1, 2}));
        QVERIFY(window_->RegulatorPage()->Shown() == (RegulatorRef{1, 2}));

        // Page "Связь" clicked with a regulator selected: its instrument.
        pages->setCurrentIndex(0);
        QCOMPARE(tree->currentItem(), Node("Порт COM1>Прибор: ZURURU-71/M2(2)"));
        // Page "График" clicked with an instrument selected: its regulator 1.
        pages->setCurrentIndex(3);
        QCOMPARE(tree->currentItem(), Node("Порт COM1>Прибор: ZURURU-71/M2(2)>Регулятор 1"));
        QCOMPARE(pages->currentIndex(), 3);

        // A port: pages disabled, memo says whether instruments are there.
        tree->setCurrentItem(Node("Порт COM2"));
        QCOMPARE(pages->currentIndex(), 0);
        QVERIFY(!pages->isTabEnabled(1));
        QCOMPARE(Lines(Find<QPlainTextEdit>("FindedDevmem")),
                 QStringList({"На этом порте есть приборы."}));
        QVERIFY(!Find<QPushButton>("CheckConnectBtn")->isEnabled());

        // An instrument that no longer answers is shown as not found.
        window_->Model().Device(2)->Present = false;
        tree->setCurrentItem(Node("Порт COM2>Прибор: RAZIRI-72/M2(1)"));
        QCOMPARE(Lines(Find<QPlainTextEdit>("FindedDevmem")), QStringList({"Прибор не найден."}));
        QVERIFY(!pages->isTabEnabled(3));
    }

    void startSwitches_data() {
        QTest::addColumn<char>("startSwitch");
        QTest::addColumn<bool>("parametersEnabled");
        QTest::addColumn<bool>("settingsMenu");
        QTest::newRow("none") << char(0) << true << false;
        QTest::newRow("d") << 'd' << false << false;
        QTest::newRow("service") << kServiceSwitch << true << true;
    }
    void startSwitches() {
        QFETCH(char, startSwitch);
        QFETCH(bool, parametersEnabled);
        QFETCH(bool, settingsMenu);
        StartBench(startSwitch);
        Search();
        window_->Tree()->setCurrentItem(Node("Порт COM1>Прибор: ZURURU-71/M1(1)>Регулятор 1"));
        // With "d" the page still changes to "Параметры"; it stays disabled.
        QCOMPARE(window_->Pages()->currentIndex(), 1);
        QCOMPARE(window_->Pages()->isTabEnabled(1), parametersEnabled);
        QCOMPARE(window_->Pages()->isTabEnabled(2), true);
        auto* menu = Find<QMenu>("Settings_Menu");
        QCOMPARE(menu->menuAction()->isVisible(), settingsMenu);
        window_->Tree()->setCurrentItem(Node("Порт COM1"));
        QVERIFY(!menu->menuAction()->isVisible());
    }

    void readButtonsFormsAndRefusal() {
        StartBench();
        Search();
        window_->Tree()->setCurrentItem(Node("Порт COM1>Прибор: ZURURU-71/M2(2)"));
        auto* readOne = Find<QPushButton>("Read_sets_Btn");
        auto* readAll = Find<QPushButton>("ReadAllPar_Btn");
        QAbstractButton* pageRead = window_->RegulatorPage()->ReadButton();
        QAction* fileMenu = Find<QMenu>("File_Menu")->menuAction();

        bench_->sim.SetTurnaround(std::chrono::milliseconds(30));  // a read that lasts a while
        QTest::mouseClick(readAll, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor(
            [&] { return readAll->text().remove(QLatin1Char('&')) == "Остановить чтение"; }, 2000));
        QVERIFY(readAll->isChecked());
        QVERIFY(!readOne->isEnabled() && !pageRead->isEnabled());
        QVERIFY(!fileMenu->isEnabled());

        // Released while it runs: down again until the worker has ended.
        QTest::mouseClick(readAll, Qt::LeftButton);
        QVERIFY(readAll->isChecked());
        QVERIFY(QTest::qWaitFor(
            [&] {
                return readAll->text().remove(QLatin1Char('&')) ==
                       "Прочитать параметры всех приборов";
            },
            30000));
        QVERIFY(!readAll->isChecked());
        QVERIFY(readOne->isEnabled() && pageRead->isEnabled() && fileMenu->isEnabled());
        QVERIFY(window_->Model().StopFlag);

        // A second read while one runs is refused and stays up.
        QTest::mouseClick(readOne, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor(
            [&] { return readOne->text().remove(QLatin1Char('&')) == "Остановить чтение"; }, 2000));
        readAll->setEnabled(true);  // what the operator could not do: the handler refuses it
        QTest::mouseClick(readAll, Qt::LeftButton);
        QVERIFY(!readAll->isChecked());
        QVERIFY(QTest::qWaitFor([&] { return !readOne->isChecked(); }, 30000));
        QCOMPARE(readOne->text().remove(QLatin1Char('&')),
                 QString("Прочитать параметры из прибора"));
    }

    // A search pressed while a read runs: the window waits only until the
    // read has seen its stop (not for the polling job's pauses), the read's
    // late end leaves the search's state alone, and no record the read still
    // uses is freed (AddressSanitizer would say).
    void searchDuringAReadKeepsTheSearchState() {
        StartBench();
        Search();
        window_->Tree()->setCurrentItem(Node("Порт COM1>Прибор: ZURURU-71/M2(2)"));
        window_->Operations().StartSwitch(1, 1, true);  // a polling job runs
        QVERIFY(
            QTest::qWaitFor([&] { return window_->Model().Regulator(1, 1)->RegOn.load(); }, 5000));
        auto* readOne = Find<QPushButton>("Read_sets_Btn");
        auto* readAll = Find<QPushButton>("ReadAllPar_Btn");
        auto* search = Find<QPushButton>("RzBitBtn1");
        QAction* fileMenu = Find<QMenu>("File_Menu")->menuAction();
        bench_->sim.SetTurnaround(std::chrono::milliseconds(30));
        QTest::mouseClick(readOne, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor(
            [&] { return readOne->text().remove(QLatin1Char('&')) == "Остановить чтение"; }, 2000));

        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(search, Qt::LeftButton);
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString("%1 ms").arg(clock.elapsed())));
        QVERIFY(QTest::qWaitFor(
            [&] { return search->text().remove(QLatin1Char('&')) == "Остановить поиск"; }, 2000));
        QTest::qWait(100);  // the read's end has come through
        QCOMPARE(readOne->text().remove(QLatin1Char('&')),
                 QString("Прочитать параметры из прибора"));
        QVERIFY(!readOne->isChecked());
        QVERIFY(!readAll->isEnabled());
        QVERIFY(!readAll->isChecked());
        QVERIFY(!fileMenu->isEnabled());
        QVERIFY(QTest::qWaitFor(
            [&] { return search->text().remove(QLatin1Char('&')) == "Найти приборы"; }, 60000));
        QVERIFY(readAll->isEnabled() && fileMenu->isEnabled());
    }

    // Closing the window while a read of all runs stops the read and waits
    // for it before anything is freed.
    void closingDuringAReadWaitsForIt() {
        StartBench();
        Search();
        bench_->sim.SetTurnaround(std::chrono::milliseconds(30));
        auto* readAll = Find<QPushButton>("ReadAllPar_Btn");
        QTest::mouseClick(readAll, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor(
            [&] { return readAll->text().remove(QLatin1Char('&')) == "Остановить чтение"; }, 2000));
        QTest::qWait(50);
        answers_->answer = QMessageBox::Yes;
        QVERIFY(window_->close());
        QCOMPARE(window_->Model().Workers.Running(), 0);
        QVERIFY(window_->Model().DeviceList.Empty());
    }

    // A port the account may not open: its line in the error window each
    // time a port is new to it, and the message box with the command once a
    // run.
    void accessDeniedIsShownOnce() {
        StartBench();
        answers_->Clear();
        const std::string detail = "нет прав доступа к /dev/ttyUSB0: группа dialout";
        window_->Surfaces().PortAccessDenied("COM3", detail);
        window_->Surfaces().PortAccessDenied("COM4", detail);
        QVERIFY(QTest::qWaitFor([&] { return !answers_->messages.empty(); }, 2000));
        QTest::qWait(50);
        QCOMPARE(answers_->messages.size(), std::size_t{1});
        QVERIFY2(answers_->messages[0].contains("sudo usermod -aG dialout "),
                 qPrintable(answers_->messages[0]));
        QVERIFY(answers_->messages[0].contains("COM3"));
        const QStringList lines = Lines(Find<QPlainTextEdit>("ErrorLog"));
        QCOMPARE(lines.filter("dialout").size(), 2);
        QCOMPARE(
            TMainWindow::AccessDeniedText("COM1", "ivan").count("sudo usermod -aG dialout ivan"),
            1);
    }

    // While the settings dialog reads its instrument, the pauses between its
    // channels belong to the exchange: the operator's input waits, and the
    // window says it is in an exchange, so nothing can close it or empty the
    // model under the dialog (a randomized session did, between channels 1
    // and 2, with seed 4232377558).
    void settingsDialogReadIsOneExchange() {
        StartBench(kServiceSwitch);
        Search();
        window_->Tree()->setCurrentItem(Node("Порт COM2>Прибор: RAZIRI-72/M2(1)"));
        int loading = 0;
        int outside = 0;
        QTimer probe;
        probe.setInterval(5);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                QMetaObject::invokeMethod(modal, "reject");
                return;
            }
            auto* dialog = window_->findChild<QDialog*>("SettingsWindow");
            if (dialog == nullptr || dialog->isVisible()) return;
            ++loading;
            if (!window_->Surfaces().InExchange()) ++outside;
        });
        probe.start();
        window_->findChild<QAction*>("ElMenuItem2")->trigger();
        probe.stop();
        QVERIFY(loading > 10);
        QCOMPARE(outside, 0);
    }

    // The operator's stop of a read stays asked when a settings dialog is
    // opened meanwhile; the questions that start something on an instrument
    // answer Enter with "Нет".
    void stopStaysAndQuestionsDefaultToNo() {
        StartBench(kServiceSwitch);
        Search();
        window_->Tree()->setCurrentItem(Node("Порт COM1>Прибор: ZURURU-71/M2(2)"));
        QTimer closer;
        closer.setInterval(20);
        QObject::connect(&closer, &QTimer::timeout, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                QMetaObject::invokeMethod(modal, "reject");
        });
        closer.start();
        QAction* settings = window_->findChild<QAction*>("ElMenuItem2");
        settings->trigger();  // made once, shown and closed

        // Slow replies: the read sees its stop only a while after the click.
        bench_->sim.SetTurnaround(std::chrono::milliseconds(100));
        auto* readAll = Find<QPushButton>("ReadAllPar_Btn");
        QTest::mouseClick(readAll, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor(
            [&] { return readAll->text().remove(QLatin1Char('&')) == "Остановить чтение"; }, 2000));
        QTest::mouseClick(readAll, Qt::LeftButton);  // stop
        QVERIFY(window_->Model().StopFlag);
        settings->trigger();
        QVERIFY(window_->Model().StopFlag || !window_->Model().ReadThread);
        QVERIFY(QTest::qWaitFor([&] { return !readAll->isChecked(); }, 30000));
        QVERIFY(Lines(Find<QPlainTextEdit>("ErrorLog"))
                    .contains("Внимание! Чтение параметров прервано!!!"));
        closer.stop();

        // The switch, autotune and write questions.
        window_->Tree()->setCurrentItem(Node("Порт COM1>Прибор: ZURURU-71/M2(2)>Регулятор 1"));
        answers_->Clear();
        answers_->answer = QMessageBox::No;
        for (const char* name : {"OnOffReg_Btn", "AutoSetOn_Btn", "WriteKoeffBtn4"})
            QTest::mouseClick(Find<QAbstractButton>(name), Qt::LeftButton);
        QCOMPARE(answers_->shown.size(), std::size_t{3});
        for (const MessageRequest& question : answers_->shown)
            QCOMPARE(question.defaultButton, QMessageBox::No);
    }

    // A project opened while the pages show a regulator: they forget it, so
    // the write button never starts on an instrument that is gone (it
    // stayed in its stop form, with no write behind it).
    void openForgetsTheShownRegulator() {
        StartBench();
        Search();
        window_->Tree()->setCurrentItem(Node("Порт COM1>Прибор: ZURURU-71/M2(2)>Регулятор 1"));
        QVERIFY(window_->RegulatorPage()->Shown().has_value());

        RecordingSurfaces quiet;
        TModel other(quiet, MakePortJobs);
        AddDevice(other, "COM2", 1, 0xF3);
        const QString file = dir_->filePath("one.prj");
        QVERIFY(SaveProject(other, file.toStdString()));
        answers_->file = file;
        window_->findChild<QAction*>("OpenItem")->trigger();
        QCOMPARE(window_->Model().DeviceList.Count(), std::size_t{1});
        QVERIFY(!window_->RegulatorPage()->Shown().has_value());

        window_->Tree()->setCurrentItem(Node("Порт COM2>Прибор: RAZIRI-72/M2(1)"));
        auto* write = Find<QPushButton>("WriteKoeffBtn4");
        if (write->isEnabled() && write->isVisible()) QTest::mouseClick(write, Qt::LeftButton);
        QTest::qWait(200);
        QVERIFY(!write->isChecked());
        QCOMPARE(write->text().remove(QLatin1Char('&')), QString("Записать параметры в прибор"));
    }

    // The window fits a screen of 800 x 600 (the offscreen screen is wider),
    // every node of the tree shows its whole text, the splitter between the
    // tree and the pages can be dragged, and the pages are not squeezed
    // below what they need (they scroll instead).
    void smallScreenLayout() {
        StartBench();
        Search();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        const QRect frame = window_->frameGeometry();
        QVERIFY2(frame.width() <= 800 && frame.height() <= 600,
                 qPrintable(QString("%1x%2").arg(frame.width()).arg(frame.height())));
        TDeviceTree* tree = window_->Tree();
        QCOMPARE(tree->header()->sectionSize(0), tree->FirstColumnWidth());
        const int columns = tree->header()->sectionSize(0) + tree->header()->sectionSize(1);
        QVERIFY2(tree->viewport()->width() >= columns,
                 qPrintable(QString("the tree shows %1 of %2 pixels")
                                .arg(tree->viewport()->width())
                                .arg(columns)));
        auto* pages = window_->Pages();
        for (int page = 0; page < pages->count(); ++page) {
            QVERIFY2(pages->widget(page)->minimumSizeHint().width() <= pages->width(),
                     qPrintable(pages->tabText(page)));
        }

        auto* splitter = window_->findChild<QSplitter*>("Splitter1");
        QSplitterHandle* handle = splitter->handle(1);
        const int before = tree->width();
        QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(2, 10));
        QTest::mouseMove(handle, QPoint(42, 10));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(42, 10));
        QVERIFY2(tree->width() > before, qPrintable(QString("%1").arg(tree->width())));
    }

    // The window's size, place and splitters, kept in the settings file at
    // the exit, come back at the next start; a project command keeps them.
    void windowStateIsKept() {
        StartBench();
        auto* splitter = window_->findChild<QSplitter*>("Splitter1");
        splitter->setSizes({333, window_->width() - 333});
        const QList<int> sizes = splitter->sizes();
        answers_->answer = QMessageBox::Yes;
        QVERIFY(window_->close());
        window_.reset();
        QVERIFY(WriteSettingsFile(dir_->path().toStdString(),
                                  dir_->filePath("Default.prj").toStdString()));

        MainWindowOptions options;
        options.programDir = dir_->path().toStdString();
        options.showStartWindow = false;
        window_ = std::make_unique<TMainWindow>(options);
        window_->show();
        window_->Start();
        QCOMPARE(window_->findChild<QSplitter*>("Splitter1")->sizes(), sizes);
    }

    // Keys: Ctrl+O is "Открыть", Alt+Ф opens "Файл"; while a read runs the
    // menu's keys do nothing, as the menu does nothing.
    void keyboard() {
        StartBench();
        Search();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        int chosen = 0;
        SetFileHandler([&](const FileRequest&) {
            ++chosen;
            return QString();
        });
        QTest::keyClick(window_.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(chosen, 1);

        bench_->sim.SetTurnaround(std::chrono::milliseconds(30));
        auto* readAll = Find<QPushButton>("ReadAllPar_Btn");
        QTest::mouseClick(readAll, Qt::LeftButton);
        QVERIFY(readAll->isChecked());
        QTest::keyClick(window_.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(chosen, 1);
        QCOMPARE(Find<QMenu>("File_Menu")->title(), QString("&Файл"));
        QVERIFY(QTest::qWaitFor([&] { return !readAll->isChecked(); }, 30000));
        QTest::keyClick(window_.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(chosen, 2);
    }

    void projectCommands() {
        StartBench();
        Search();
        const QString dir = dir_->path();
        // Save as: the file, the title, the settings file.
        answers_->file = dir + "/bench";
        QMetaObject::invokeMethod(window_.get(), [this] { window_->SaveProjectAs(); });
        QTest::qWait(0);
        QVERIFY(QFile::exists(dir + "/bench.prj"));
        QVERIFY(window_->windowTitle().endsWith(" - [bench.prj]"));
        QCOMPARE(Find<QLabel>("Project_msg")->text().remove(QLatin1Char('&')),
                 QString("Нет изменений"));
        QCOMPARE(QString::fromStdString(ReadSettingsFile(dir.toStdString()).projectPath),
                 dir + "/bench.prj");

        // New after a change asks; No changes nothing.
        window_->Surfaces().SetProjectChanged(true);
        answers_->answer = QMessageBox::No;
        window_->NewProject();
        QVERIFY(answers_->messages.back().contains("Текущий проект был изменён."));
        QCOMPARE(window_->Model().DeviceList.Count(), std::size_t{3});
        answers_->answer = QMessageBox::Yes;
        window_->NewProject();
        QVERIFY(window_->Model().DeviceList.Empty());
        QVERIFY(window_->windowTitle().endsWith(" - [New.prj]"));
        QVERIFY(!PanelHidden());

        // Open: the instruments and the tree come back, with their jobs.
        answers_->file = dir + "/bench.prj";
        window_->OpenProject();
        QCOMPARE(window_->Model().DeviceList.Count(), std::size_t{3});
        QVERIFY(Node("Порт COM1>Прибор: ZURURU-71/M2(2)>Регулятор 2") != nullptr);
        QVERIFY(window_->windowTitle().endsWith(" - [bench.prj]"));
        QCOMPARE(Lines(Find<QPlainTextEdit>("FindedDevmem")).first(),
                 QString("Информация о приборах загружена."));

        // Save over a file that cannot be written: said, nothing changes.
        QFile::remove(dir + "/bench.prj");
        QVERIFY(QDir(dir).mkdir("bench.prj"));
        window_->Surfaces().SetProjectChanged(true);
        window_->SaveProject();
        QCOMPARE(answers_->messages.back(), QString("Нет доступа к файлу.\nЭто папка, а не файл."));
        QCOMPARE(Find<QLabel>("Project_msg")->text().remove(QLatin1Char('&')),
                 QString("Проект изменён"));

        // Open of a file that is not there: said, with the reason.
        answers_->file = dir + "/gone.prj";
        window_->OpenProject();
        QCOMPARE(answers_->messages.back(),
                 "Не удалось прочитать файл проекта:\n" + dir + "/gone.prj\nФайл не найден.");
        QCOMPARE(window_->Model().DeviceList.Count(), std::size_t{3});
    }

    void exitSavesOrSaysWhyNot() {
        StartBench();
        Search();
        const QString dir = dir_->path();
        const QString project = QString::fromStdString(window_->ProjectFile());
        QCOMPARE(project, dir + "/Default.prj");

        // No keeps the window.
        answers_->answer = QMessageBox::No;
        QVERIFY(!window_->close());
        QVERIFY(window_->isVisible());

        // The save fails: the operator is told and goes back to the window.
        QVERIFY(QDir(dir).mkdir("Default.prj"));
        answers_->Clear();
        answers_->answer = QMessageBox::Yes;
        int asked = 0;
        SetMessageHandler([&](const MessageRequest& r) {
            answers_->messages.push_back(r.text);
            return ++asked == 1 ? QMessageBox::Yes : QMessageBox::No;
        });
        QVERIFY(!window_->close());
        QCOMPARE(answers_->messages.size(), std::size_t{2});
        QVERIFY(answers_->messages[1].startsWith("Нет доступа к файлу."));
        QVERIFY(window_->isVisible());

        // Saved on a confirmed exit, and named for the next start.
        QVERIFY(QDir(dir).rmdir("Default.prj"));
        SetMessageHandler([](const MessageRequest&) { return QMessageBox::Yes; });
        QVERIFY(window_->close());
        QVERIFY(QFile::exists(dir + "/Default.prj"));
        QVERIFY(window_->Model().DeviceList.Empty());
        window_.reset();

        // The next start opens it again.
        MainWindowOptions options;
        options.programDir = dir.toStdString();
        options.showStartWindow = false;
        window_ = std::make_unique<TMainWindow>(options);
        window_->Start();
        QCOMPARE(window_->Model().DeviceList.Count(), std::size_t{3});
        QCOMPARE(TreeTexts().first(), QString("Порт COM1"));
    }

    // The menu "Параметры" opens the channel settings of the selected
    // instrument, and its buttons the other dialogs of the same instrument.
    void settingsDialogsFromTheMenu_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("title");
        QTest::newRow("coefficients") << "KoefTblBtn"
                                      << "Коэффициенты";
        QTest::newRow("relays") << "RelayTblBtn"
                                << "Управление коммутацией РЕЛЕ";
        QTest::newRow("passwords") << "PasswordBtn"
                                   << "Пароли";
        QTest::newRow("output 1") << "PVIbtn"
                                  << "ПВИ";
    }
    void settingsDialogsFromTheMenu() {
        QFETCH(QString, button);
        QFETCH(QString, title);
        StartBench(kServiceSwitch);
        Search();
        window_->Tree()->setCurrentItem(Node("Порт COM2>Прибор: RAZIRI-72/M2(1)"));
        QAction* open = window_->findChild<QAction*>("ElMenuItem2");
        QVERIFY(open != nullptr && Find<QMenu>("Settings_Menu")->menuAction()->isVisible());

        // The dialogs run their own event loops: a timer walks through them.
        // The channel settings: press `button`; the dialog it opens: note it
        // and leave it; the channel settings again: leave them too (the
        // cancel questions are answered Yes).
        QStringList seen;
        int step = 0;
        QTimer walker;
        walker.setInterval(50);
        QObject::connect(&walker, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr) return;
            const bool settings = modal->windowTitle() == "Параметры выбранного прибора";
            if (step == 0 && settings) {
                seen << modal->windowTitle();
                auto* b = modal->findChild<QPushButton*>(button);
                if (b == nullptr || !b->isVisible()) {
                    step = 2;
                    return;
                }
                step = 1;
                QTimer::singleShot(0, b, [b] { b->click(); });
            } else if (step == 1 && !settings) {
                seen << modal->windowTitle();
                step = 2;
                QTimer::singleShot(0, modal,
                                   [modal] { QMetaObject::invokeMethod(modal, "reject"); });
            } else if (step == 2 && settings) {
                step = 3;
                QTimer::singleShot(0, modal,
                                   [modal] { QMetaObject::invokeMethod(modal, "reject"); });
            }
        });
        walker.start();
        QTimer::singleShot(0, open, [open] { open->trigger(); });
        QVERIFY(QTest::qWaitFor(
            [&] { return step == 3 && QApplication::activeModalWidget() == nullptr; }, 60000));
        QCOMPARE(seen.value(0), QString("Параметры выбранного прибора"));
        QCOMPARE(seen.value(1), title);
    }

    // Not a check: with ZORVAT_SHOTS=DIR set, a short session on the bench is
    // saved page by page, to look at.
    void tour() {
        if (qEnvironmentVariable("ZORVAT_SHOTS").isEmpty()) QSKIP("ZORVAT_SHOTS not set");
        StartBench();
        bench_->sim.SetSpeed(60);
        Search();
        Shoot("tour-link");
        window_->Tree()->setCurrentItem(Node("Порт COM1>Прибор: ZURURU-71/M2(2)"));
        Shoot("tour-instrument");
        window_->Tree()->setCurrentItem(Node("Порт COM1>Прибор: ZURURU-71/M2(2)>Регулятор 1"));
        window_->Operations().StartSwitch(1, 1, true);
        QVERIFY(
            QTest::qWaitFor([&] { return window_->Model().Regulator(1, 1)->RegOn.load(); }, 10000));
        Shoot("tour-parameters");
        window_->Pages()->setCurrentIndex(2);
        Shoot("tour-programmer");
        window_->Pages()->setCurrentIndex(3);
        QTest::qWait(20000);
        Shoot("tour-graph");
        window_->Operations().StartSwitch(1, 1, false);
        QTest::qWait(1000);
    }

    // Two regulators switched on record one file each in the program's
    // "records" folder, every point in it, and the file opens on the graph
    // page of the next run. A port node shows its line statistics on the
    // page "Связь", where they are reset.
    void recordsOfTheRunAndLineStatistics() {
        StartBench();
        Search();
        auto* recording = Find<QAction>("RecordingItem");
        QVERIFY(recording->isChecked());
        QCOMPARE(window_->Recorder().Folder(), (dir_->path() + "/records").toStdString());

        window_->Tree()->setCurrentItem(Node("Порт COM1"));
        auto* box = Find<QWidget>("LineStatsBox");
        auto* text = Find<QLabel>("LineStatsText");
        QVERIFY(box->isVisible());
        QVERIFY2(!text->text().contains("Запросов: 0\n"), qPrintable(text->text()));
        QVERIFY(
            TDeviceTree::LineStatsToolTip("COM1").startsWith("Статистика линии COM1\nЗапросов: "));
        QTest::mouseClick(Find<QPushButton>("LineStatsReset"), Qt::LeftButton);
        QVERIFY(text->text().startsWith("Запросов: 0\n"));
        window_->Tree()->setCurrentItem(Node("Порт COM1>Прибор: ZURURU-71/M2(2)"));
        QVERIFY(!box->isVisible());

        const RegulatorRef regs[] = {{0, 1}, {2, 1}};
        for (RegulatorRef r : regs)
            window_->Operations().StartSwitch(r.device, r.regulator, true);
        for (RegulatorRef r : regs) {
            QVERIFY(QTest::qWaitFor(
                [&] {
                    return window_->Model().Regulator(r.device, r.regulator)->Serie.Size() >= 3;
                },
                20000));
        }
        // Off and on again from the menu, kept in the settings file.
        recording->trigger();
        QVERIFY(!window_->Recorder().Enabled());
        QCOMPARE(ReadSettingsSection(window_->ProgramDir(), "Records"),
                 (SettingsSection{{"On", "0"}, {"Folder", ""}}));
        recording->trigger();
        QVERIFY(window_->Recorder().Enabled());
        QVERIFY(LineStatsOf("COM1").replies > 0);
        Find<QAction>("OpenRecordsItem")->trigger();
        QCOMPARE(answers_->foldersShown, QStringList{dir_->path() + "/records"});
        QVERIFY(QDir(dir_->path() + "/records").exists());
        // Another folder, kept in the settings file, and back.
        answers_->file = dir_->path() + "/other";
        Find<QAction>("ChooseRecordsItem")->trigger();
        QCOMPARE(window_->Recorder().Folder(), answers_->file.toStdString());
        QCOMPARE(ReadSettingsSection(window_->ProgramDir(), "Records"),
                 (SettingsSection{{"On", "1"}, {"Folder", answers_->file.toStdString()}}));
        answers_->file = dir_->path() + "/records";
        Find<QAction>("ChooseRecordsItem")->trigger();
        QCOMPARE(ReadSettingsSection(window_->ProgramDir(), "Records"),
                 (SettingsSection{{"On", "1"}, {"Folder", ""}}));

        std::vector<std::pair<std::string, std::size_t>> shown;
        for (RegulatorRef r : regs) {
            const TDevice* d = window_->Model().Device(r.device);
            shown.emplace_back(
                TrendFileName({d->ParentPort, std::stoi(d->Address), r.regulator}, WallMsNow()),
                window_->Model().Regulator(r.device, r.regulator)->Serie.Size());
        }
        window_.reset();  // closes the program

        const QStringList files = QDir(dir_->path() + "/records").entryList(QDir::Files);
        QCOMPARE(files.size(), 2);
        for (const auto& [name, points] : shown) {
            const TrendLoad load = LoadTrend((dir_->path() + "/records/").toStdString() + name);
            QVERIFY2(load.opened, name.c_str());
            QCOMPARE(load.damaged, std::size_t{0});
            // Every point the chart got, less those of the moment recording
            // was off (at most a few).
            QVERIFY2(load.rows - load.failed + 4 >= points, name.c_str());
        }

        // The next run opens one of them beside its own (empty) chart.
        MainWindowOptions options;
        options.programDir = dir_->path().toStdString();
        options.showStartWindow = false;
        window_ = std::make_unique<TMainWindow>(options);
        const QString path = dir_->path() + "/records/" + QString::fromStdString(shown[0].first);
        QCOMPARE(window_->GraphPage()->OpenRecord(path), QString());
        QVERIFY(window_->GraphPage()->RecordPoints() >= shown[0].second);
        QCOMPARE(window_->GraphPage()->Plot()->graph(1)->dataCount(),
                 static_cast<int>(window_->GraphPage()->RecordPoints()));
    }

    // The window's thread never stalls long while a search, a read of all
    // and the polling jobs run.
    void eventLoopStaysResponsive() {
        StartBench();
        QElapsedTimer clock;
        qint64 worst = 0;
        qint64 last = -1;
        QTimer probe;
        probe.setInterval(5);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            if (last >= 0) worst = std::max(worst, now - last);
            last = now;
        });
        clock.start();
        probe.start();
        Search();
        window_->Tree()->setCurrentItem(Node("Порт COM1>Прибор: ZURURU-71/M2(2)>Регулятор 1"));
        QTest::mouseClick(Find<QPushButton>("ReadAllPar_Btn"), Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return !Find<QPushButton>("ReadAllPar_Btn")->isChecked(); },
                                30000));
        QTest::qWait(1500);
        probe.stop();
        qInfo("longest pause of the event loop: %lld ms", worst);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        const qint64 limit = 250;  // instrumented builds run several times slower
#else
        const qint64 limit = 50;
#endif
        QVERIFY2(worst <= limit, qPrintable(QString("the event loop stalled %1 ms").arg(worst)));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
