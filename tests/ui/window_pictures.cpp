// Pictures of every page and dialog of the window on the simulated bench, at
// the size of the screen: for looking at the window as an operator meets it
// and for the manual. Not a test: it checks nothing.
//
//   xvfb-run -s "-screen 0 1024x768x24" window_pictures OUTDIR
//   xvfb-run -s "-screen 0 800x600x24" window_pictures OUTDIR
//
// writes OUTDIR/<width>x<height>-<what>.png.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <functional>
#include <memory>

#include "device_tree.h"
#include "graph_page.h"
#include "main_window.h"
#include "message_box.h"
#include "sim_bench.h"
#include "start_window.h"
#include "trend_recorder.h"

namespace zorvat {
namespace {

class Pictures {
  public:
    Pictures(QString outDir, QSize size) : outDir_(std::move(outDir)), size_(size) {}

    void Take() {
        testing::SimBench bench;
        bench.Add("COM1", 1, 0x51);
        bench.Add("COM1", 2, 0xC3);
        bench.Add("COM2", 1, 0xF3);
        bench.sim.Showcase("COM1", 1);
        bench.sim.Showcase("COM1", 2);
        bench.sim.Showcase("COM2", 1);
        bench.Start();
        QTemporaryDir dir;
        MainWindowOptions options;
        options.programDir = dir.path().toStdString();
        options.startSwitch = 's';
        options.showStartWindow = false;
        window_ = std::make_unique<TMainWindow>(options);
        window_->resize(size_);
        window_->show();
        window_->Start();
        (void)QTest::qWaitForWindowExposed(window_.get());
        Save(window_.get(), "link-empty");

        Search();
        Select("Порт COM1");
        Save(window_.get(), "link-port");
        Select("Порт COM1>Прибор: ZURURU-71/M2(2)");
        Save(window_.get(), "link-instrument");
        Select("Порт COM1>Прибор: ZURURU-71/M2(2)>Регулятор 1");
        window_->Pages()->setCurrentIndex(1);
        Save(window_.get(), "regulator");
        window_->Pages()->setCurrentIndex(2);
        Save(window_.get(), "programmer");
        window_->Pages()->setCurrentIndex(3);
        // A run of a few seconds on the chart and in its record.
        window_->Operations().StartSwitch(1, 1, true);
        (void)QTest::qWaitFor([&] { return window_->Model().Regulator(1, 1)->Serie.Size() >= 8; },
                              20000);
        QTest::qWait(1500);
        Save(window_.get(), "graph");
        // The run recorded so far, opened beside the live curve.
        window_->Recorder().Flush();
        const QDir records(dir.filePath("records"));
        const QStringList files = records.entryList({"*_R1.csv"}, QDir::Files);
        if (!files.isEmpty()) {
            window_->GraphPage()->OpenRecord(records.filePath(files.front()));
            Save(window_.get(), "graph-record");
        }

        for (const char* path :
             {"Порт COM1>Прибор: ZURURU-71/M2(2)", "Порт COM2>Прибор: RAZIRI-72/M2(1)"}) {
            Select(path);
            const QString model =
                QString(path).section('(', 0, 0).section(' ', -1).replace('/', '-');
            Modal([this] { Trigger("ElMenuItem2"); }, "settings-" + model,
                  [this, model](QWidget* settings) {
                      for (const char* button :
                           {"RelayTblBtn", "KoefTblBtn", "PasswordBtn", "PVIbtn", "PVI1btn"}) {
                          auto* b = settings->findChild<QPushButton*>(button);
                          if (b == nullptr || !b->isVisible() || !b->isEnabled()) continue;
                          Modal([b] { b->click(); },
                                "settings-" + model + "-" +
                                    QString(button).remove("Btn").remove("btn"),
                                {});
                      }
                  });
        }
        Modal([this] { Trigger("AboutItem"); }, "about", {});
        Modal([this] { Trigger("PortsItem"); }, "ports", {});

        TStartW start;
        start.show();
        (void)QTest::qWaitForWindowExposed(&start);
        Save(&start, "start");
        start.close();

        window_->close();
        window_.reset();
    }

  private:
    void Save(QWidget* widget, const QString& what) {
        QTest::qWait(300);
        const QString file = QDir(outDir_).filePath(
            QString("%1x%2-%3.png").arg(size_.width()).arg(size_.height()).arg(what));
        if (!widget->grab().save(file)) std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    }

    // Opens a modal dialog with `open`, takes its picture, runs `inside`
    // while it is open, then closes it.
    void Modal(const std::function<void()>& open, const QString& what,
               const std::function<void(QWidget*)>& inside) {
        QWidget* before = QApplication::activeModalWidget();
        // Polled, not waited for: a dialog that reads its instrument first
        // lets events run before it shows.
        auto* poll = new QTimer;
        auto* started = new QElapsedTimer;
        started->start();
        QObject::connect(poll, &QTimer::timeout, [=, this] {
            QWidget* dialog = QApplication::activeModalWidget();
            const bool shown = dialog != nullptr && dialog != before && dialog->isVisible();
            if (!shown && started->elapsed() < 20000) return;
            poll->stop();
            poll->deleteLater();
            delete started;
            if (!shown) {
                std::fprintf(stderr, "no dialog for %s\n", qPrintable(what));
                return;
            }
            Save(dialog, what);
            if (inside) inside(dialog);
            if (auto* d = qobject_cast<QDialog*>(dialog))
                d->reject();
            else
                dialog->close();
        });
        poll->start(50);
        open();
    }

    void Trigger(const char* name) {
        if (auto* action = window_->findChild<QAction*>(name)) action->trigger();
    }

    void Search() {
        window_->findChild<QComboBox*>("COMmin")->setCurrentIndex(0);
        window_->findChild<QComboBox*>("COMmax")->setCurrentIndex(1);
        window_->findChild<QSpinBox*>("MinAddr")->setValue(1);
        window_->findChild<QSpinBox*>("MaxAddr")->setValue(3);
        window_->findChild<QComboBox*>("cmbBaudIptv")->setCurrentText("19200");
        auto* button = window_->findChild<QPushButton*>("RzBitBtn1");
        button->click();
        QTest::qWait(500);
        Save(window_.get(), "link-searching");
        (void)QTest::qWaitFor([&] { return button->text().remove('&') == "Найти приборы"; }, 60000);
    }

    void Select(const QString& path) {
        QTreeWidgetItem* item = nullptr;
        QTreeWidget* tree = window_->Tree();
        for (const QString& part : path.split('>')) {
            QTreeWidgetItem* next = nullptr;
            const int n = item ? item->childCount() : tree->topLevelItemCount();
            for (int i = 0; i < n && next == nullptr; ++i) {
                QTreeWidgetItem* c = item ? item->child(i) : tree->topLevelItem(i);
                if (c->text(0) == part) next = c;
            }
            if (next == nullptr) {
                std::fprintf(stderr, "no node %s\n", qPrintable(path));
                return;
            }
            item = next;
        }
        tree->setCurrentItem(item);
        QTest::qWait(200);
    }

    QString outDir_;
    QSize size_;
    std::unique_ptr<TMainWindow> window_;
};

}  // namespace
}  // namespace zorvat

int main(int argc, char** argv) {
    QLocale::setDefault(QLocale::c());
    QApplication app(argc, argv);
    zorvat::InitUiResources();
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);
    // Questions are answered "Yes", messages "OK", so nothing waits.
    zorvat::SetMessageHandler([](const zorvat::MessageRequest& request) {
        return request.buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
    });
    zorvat::Pictures(out, QApplication::primaryScreen()->availableSize()).Take();
    return 0;
}
