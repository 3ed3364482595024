// A randomized session on the whole window, against simulated instruments:
// every button in both of its forms, the menus, tree clicks and ticks, page
// tabs, field and cell edits, the settings dialogs with their buttons, the
// questions answered yes or no and the file choosers, faults on the line and
// a port that vanishes and comes back, in random order at random intervals.
// It checks that the program survives (the sanitizers watch every access),
// that the window's thread never stalls for long, and that after a stop no
// worker is left running and every button is back in its idle form.
//
//   ZORVAT_STRESS_ACTIONS=N   actions per run (default 1500)
//   ZORVAT_STRESS_SEED=S      replays a run; the seed is printed at the start
//   ZORVAT_STRESS_VERBOSE=1   prints every action
#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "device_tree.h"
#include "main_window.h"
#include "message_box.h"
#include "port_map.h"
#include "regulator_page.h"
#include "sim/simulator.h"
#include "sim_bench.h"

using namespace zorvat;
using namespace zorvat::testing;
using namespace std::chrono_literals;

namespace {

int EnvInt(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

const char* const kValues[] = {"0",   "1",      "2",    "5",   "-1", "12.5",    "100",
                               "255", "999999", "1e39", "abc", "",   "0:00:01", "23:59:59"};

class Session {
  public:
    Session(std::uint32_t seed, int actions) : rng_(seed), actions_(actions) {}

    // Runs the session; returns an empty text when every check held.
    QString Run() {
        bench_.Add("COM1", 1, 0x51);
        bench_.Add("COM1", 2, 0xC3);
        bench_.Add("COM2", 1, 0xF3);
        bench_.sim.SetSpeed(20);
        bench_.Start();
        // The other ports of the lists lead nowhere, whatever this machine has.
        for (int n = 3; n <= 10; ++n) {
            const std::string name = "COM" + std::to_string(n);
            SetPortOverride(
                name, (dir_.path() + "/no-such-" + QString::fromStdString(name)).toStdString());
        }
        QFile readOnly(dir_.filePath("ro.prj"));
        readOnly.open(QIODevice::WriteOnly);
        readOnly.write("[Devices]\r\nCount=0\r\n");
        readOnly.close();
        readOnly.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        QDir(dir_.path()).mkdir("folder.prj");

        SetMessageHandler([this](const MessageRequest& r) { return Answer(r); });
        SetFileHandler([this](const FileRequest&) { return ChooseFile(); });
        SetFolderHandler([](const QString&) {});
        NewWindow();

        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        QTimer probe;
        probe.setInterval(10);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            worstStall_ = std::max(worstStall_, now - last);
            last = now;
        });
        probe.start();

        QTimer driver;
        driver.setSingleShot(true);
        QObject::connect(&driver, &QTimer::timeout, [&] {
            Tick();
            driver.start(Pick(0, 40));
        });
        driver.start(0);
        // Every action is started from the driver's timer; once all are
        // done it closes what dialogs are still open, and this loop, below
        // every dialog's own, returns.
        while (done_ < actions_ || QApplication::activeModalWidget() != nullptr)
            QTest::qWait(50);
        driver.stop();

        QString failure = Finish();
        probe.stop();
        SetMessageHandler({});
        SetFileHandler({});
        SetFolderHandler({});
        ClearPortOverrides();
        qInfo("worst stall of the window's thread: %lld ms", worstStall_);
        const qint64 limit = 15000;  // a clear waits for workers up to their time-outs
        if (failure.isEmpty() && worstStall_ > limit)
            failure = QString("the window's thread stalled %1 ms").arg(worstStall_);
        if (!failure.isEmpty()) failure += "\nlast actions:\n" + recent_.join('\n');
        return failure;
    }

  private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }
    template <typename T>
    T* PickOf(const QList<T*>& list) {
        return list.isEmpty() ? nullptr : list[Pick(0, static_cast<int>(list.size()) - 1)];
    }

    void Note(const QString& action) {
        recent_ << QString("%1 %2").arg(done_).arg(action);
        if (recent_.size() > 60) recent_.removeFirst();
        if (qEnvironmentVariableIsSet("ZORVAT_STRESS_VERBOSE"))
            std::fprintf(stderr, "%d %s\n", done_, qPrintable(action));
    }

    QMessageBox::StandardButton Answer(const MessageRequest& r) {
        if (!r.buttons.testFlag(QMessageBox::Yes)) return QMessageBox::Ok;
        // Leaving the program is rarer than the other questions.
        const bool leaving = r.text.contains("закрыть программу");
        return Chance(leaving ? 0.25 : 0.6) ? QMessageBox::Yes : QMessageBox::No;
    }

    QString ChooseFile() {
        const QString choices[] = {{},
                                   dir_.filePath("a.prj"),
                                   dir_.filePath("b.prj"),
                                   dir_.filePath("missing/c.prj"),
                                   dir_.filePath("folder.prj"),
                                   dir_.filePath("ro.prj"),
                                   dir_.filePath("chart.pdf")};
        return choices[Pick(0, 6)];
    }

    void NewWindow() {
        MainWindowOptions options;
        options.programDir = dir_.path().toStdString();
        options.startSwitch = Chance(0.8) ? kServiceSwitch : (Chance(0.5) ? 'd' : 0);
        options.showStartWindow = false;
        window_ = std::make_unique<TMainWindow>(options);
        window_->show();
        window_->Start();
        auto* min = window_->findChild<QSpinBox*>("MinAddr");
        auto* max = window_->findChild<QSpinBox*>("MaxAddr");
        window_->findChild<QComboBox*>("COMmax")->setCurrentIndex(1);
        min->setValue(1);
        max->setValue(2);
        window_->findChild<QComboBox*>("cmbBaudIptv")->setCurrentText("19200");
    }

    // One step of the operator: on the dialog in front, else on the window.
    void Tick() {
        if (window_ && window_->Surfaces().InExchange())
            return;  // input waits, as the operator's does
        QWidget* modal = QApplication::activeModalWidget();
        if (done_ >= actions_) {
            if (auto* d = qobject_cast<QDialog*>(modal)) d->reject();
            return;
        }
        if (!window_) return;
        ++done_;
        if (modal != nullptr && modal != window_.get()) {
            OnDialog(modal);
        } else if (!window_->isVisible()) {
            // The operator left; the program is started again.
            Note("start again");
            Later([this] {
                if (QApplication::activeModalWidget() == nullptr && window_ &&
                    !window_->Surfaces().InExchange() && !window_->isVisible()) {
                    window_.reset();
                    NewWindow();
                }
            });
        } else {
            OnWindow();
        }
    }

    // Actions leave the driver's timer at once: one that opens a dialog runs
    // its event loop in a timer of its own while the driver goes on.
    template <typename F>
    void Later(F f) {
        QTimer::singleShot(0, &context_, f);
    }

    // Whether the operator could reach `target` now: not while an exchange
    // holds the input back, nor behind a dialog in front of it.
    // The widget behind a guarded pointer when it is still there and may be used now.
    template <class T>
    T* Live(const QPointer<T>& weak) const {
        T* target = weak.data();
        return Reachable(target) ? target : nullptr;
    }

    bool Reachable(const QWidget* target) const {
        if (target == nullptr || !window_ || window_->Surfaces().InExchange()) return false;
        const QWidget* modal = QApplication::activeModalWidget();
        return modal == nullptr || modal == target->window();
    }

    void OnDialog(QWidget* dialog) {
        const int what = Pick(0, 9);
        if (what <= 1) {
            Note("dialog: close " + dialog->windowTitle());
            Later([this, weak = QPointer<QWidget>(dialog)] {
                auto* d = Live(weak);
                if (d == nullptr) return;
                if (auto* box = qobject_cast<QDialog*>(d)) box->reject();
            });
        } else if (what <= 5) {
            ClickButtonIn(dialog);
        } else {
            EditFieldIn(dialog);
        }
    }

    void OnWindow() {
        // An operator lets a search or a read run for a while more often
        // than not.
        const TModel& model = window_->Model();
        if ((model.SearchThread && Chance(0.6)) ||
            ((model.ReadThread || model.WriteThread) && Chance(0.4))) {
            Note("let it run");
            QTest::qWait(Pick(100, 500));
            return;
        }
        const int what = Pick(0, 99);
        if (what < 35) {
            ClickButtonIn(window_.get());
        } else if (what < 50) {
            EditFieldIn(window_.get());
        } else if (what < 65) {
            TreeAction();
        } else if (what < 75) {
            TabAction();
        } else if (what < 85) {
            MenuAction();
        } else if (what < 88) {
            Note("close button");
            Later([this] {
                if (Reachable(window_.get())) window_->close();
            });
        } else if (what < 94) {
            LineFault();
        } else {
            Note("wait");
            QTest::qWait(Pick(50, 400));
        }
    }

    template <typename T>
    QList<T*> Usable(QWidget* root) const {
        QList<T*> out;
        for (T* w : root->findChildren<T*>()) {
            if (w->isVisible() && w->isEnabled() && w->window() == root->window()) out << w;
        }
        return out;
    }

    void ClickButtonIn(QWidget* root) {
        const QList<QAbstractButton*> buttons = Usable<QAbstractButton>(root);
        QAbstractButton* button = PickOf(buttons);
        // The search button is on the first page with few others beside it.
        if (button != nullptr && button->objectName() == "RzBitBtn1") button = PickOf(buttons);
        if (button == nullptr) return;
        Note("click " + button->objectName() + " \"" + button->text() + "\"");
        Later([this, weak = QPointer<QAbstractButton>(button)] {
            auto* b = Live(weak);
            if (b != nullptr && b->isVisible() && b->isEnabled())
                QTest::mouseClick(b, Qt::LeftButton);
        });
    }

    void EditFieldIn(QWidget* root) {
        const int kind = Pick(0, 3);
        if (kind == 0) {
            QComboBox* box = PickOf(Usable<QComboBox>(root));
            if (box == nullptr || box->count() == 0) return;
            // The search range stays small; its other fields vary.
            const bool port = box->objectName().startsWith("COM");
            const int index = Pick(0, port ? std::min(2, box->count() - 1) : box->count() - 1);
            Note(QString("choose %1 #%2").arg(box->objectName()).arg(index));
            Later([this, weak = QPointer<QComboBox>(box), index] {
                auto* b = Live(weak);
                if (b == nullptr || !b->isEnabled()) return;
                b->setCurrentIndex(index);
                emit b->activated(index);
            });
        } else if (kind == 1) {
            QAbstractSpinBox* spin = PickOf(Usable<QAbstractSpinBox>(root));
            if (spin == nullptr) return;
            const bool address = spin->objectName().endsWith("Addr");
            const QString text = address ? QString::number(Pick(1, 4)) : kValues[Pick(0, 13)];
            Note("type " + spin->objectName() + " " + text);
            Later([this, weak = QPointer<QAbstractSpinBox>(spin), text] {
                auto* s = Live(weak);
                if (s == nullptr || !s->isEnabled()) return;
                s->setFocus();
                s->selectAll();
                QTest::keyClicks(s, text);
                QTest::keyClick(s, Qt::Key_Return);
            });
        } else if (kind == 2) {
            QList<QLineEdit*> edits;
            for (QLineEdit* e : Usable<QLineEdit>(root)) {
                // Those of spin boxes and combo boxes are theirs.
                if (!qobject_cast<QAbstractSpinBox*>(e->parentWidget()) &&
                    !qobject_cast<QComboBox*>(e->parentWidget()))
                    edits << e;
            }
            QLineEdit* edit = PickOf(edits);
            if (edit == nullptr) return;
            const QString text = kValues[Pick(0, 13)];
            Note("type " + edit->objectName() + " " + text);
            Later([this, weak = QPointer<QLineEdit>(edit), text] {
                auto* e = Live(weak);
                if (e == nullptr || !e->isEnabled()) return;
                e->setFocus();
                e->selectAll();
                QTest::keyClicks(e, text);
                QTest::keyClick(e, Qt::Key_Return);
            });
        } else {
            QTableWidget* table = PickOf(Usable<QTableWidget>(root));
            if (table == nullptr || table->rowCount() == 0 || table->columnCount() == 0) return;
            const int row = Pick(0, table->rowCount() - 1);
            const int column = Pick(0, table->columnCount() - 1);
            const QString text = kValues[Pick(0, 13)];
            Note(QString("cell %1 %2,%3 %4")
                     .arg(table->objectName())
                     .arg(row)
                     .arg(column)
                     .arg(text));
            Later([this, weak = QPointer<QTableWidget>(table), row, column, text] {
                auto* t = Live(weak);
                if (t == nullptr || !t->isEnabled()) return;
                QTableWidgetItem* item = t->item(row, column);
                if (item == nullptr) return;
                if (item->flags().testFlag(Qt::ItemIsUserCheckable)) {
                    item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked
                                                                          : Qt::Checked);
                    return;
                }
                if (!item->flags().testFlag(Qt::ItemIsEditable)) return;
                t->setCurrentItem(item);
                t->editItem(item);
                QWidget* editor = QApplication::focusWidget();
                if (editor == nullptr || editor == t) return;
                if (auto* line = editor->findChild<QLineEdit*>()) line->selectAll();
                if (auto* line = qobject_cast<QLineEdit*>(editor)) line->selectAll();
                QTest::keyClicks(editor, text);
                QTest::keyClick(editor, Qt::Key_Return);
            });
        }
    }

    void TreeAction() {
        QTreeWidget* tree = window_->Tree();
        if (!tree->isEnabled()) return;
        QList<QTreeWidgetItem*> items;
        for (QTreeWidgetItemIterator it(tree); *it; ++it)
            items << *it;
        if (items.isEmpty() || Chance(0.05)) {
            Note("click into the tree's empty space");
            Later([this, weak = QPointer<QTreeWidget>(tree)] {
                auto* t = Live(weak);
                if (t == nullptr || !t->isEnabled()) return;
                QTest::mouseClick(t->viewport(), Qt::LeftButton, {},
                                  QPoint(5, t->viewport()->height() - 3));
            });
            return;
        }
        QTreeWidgetItem* item = PickOf(items);
        const QString text = item->text(0);
        const bool tick = item->data(0, Qt::CheckStateRole).isValid() && Chance(0.4);
        Note((tick ? "tick " : "select ") + text);
        // The node may be gone when the action runs: it is looked up again.
        Later([this, weak = QPointer<QTreeWidget>(tree), text, tick] {
            auto* t = Live(weak);
            if (t == nullptr || !t->isEnabled()) return;
            for (QTreeWidgetItemIterator it(t); *it; ++it) {
                if ((*it)->text(0) != text) continue;
                if (tick) {
                    (*it)->setCheckState(
                        0, (*it)->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
                } else {
                    t->setCurrentItem(*it);
                }
                return;
            }
        });
    }

    void TabAction() {
        QTabWidget* pages = window_->Pages();
        const int page = Pick(0, pages->count() - 1);
        if (!pages->isTabEnabled(page)) return;
        Note(QString("page %1").arg(pages->tabText(page)));
        Later([this, weak = QPointer<QTabWidget>(pages), page] {
            auto* p = Live(weak);
            if (p != nullptr && p->isTabEnabled(page)) p->setCurrentIndex(page);
        });
    }

    void MenuAction() {
        QList<QAction*> actions;
        for (QMenu* menu : window_->findChildren<QMenu*>()) {
            if (!menu->menuAction()->isEnabled() || !menu->menuAction()->isVisible()) continue;
            for (QAction* a : menu->actions()) {
                if (a->isEnabled() && a->isVisible() && !a->isSeparator()) actions << a;
            }
        }
        QAction* action = PickOf(actions);
        if (action == nullptr) return;
        Note("menu " + action->text());
        QPointer<QAction> a = action;
        Later([this, a] {
            QAction* act = a.data();
            if (act != nullptr && Reachable(window_.get()) && act->isEnabled() && act->isVisible())
                act->trigger();
        });
    }

    // Misbehaving instruments and a port pulled out and plugged back.
    void LineFault() {
        sim::Simulator& sim = bench_.sim;
        if (!sim.Plugged("COM2")) {
            Note("plug COM2 back");
            sim.Replug("COM2");
            return;
        }
        if (Chance(0.2)) {
            Note("pull COM2 out");
            sim.Unplug("COM2");
            return;
        }
        const sim::FaultKind kinds[] = {sim::FaultKind::Silent, sim::FaultKind::Noise,
                                        sim::FaultKind::BadChecksum, sim::FaultKind::ErrorStatus,
                                        sim::FaultKind::Split};
        const sim::FaultKind kind = kinds[Pick(0, 4)];
        const int address = Pick(1, 2);
        Note(QString("fault %1 at COM1:%2")
                 .arg(QString::fromStdString(std::string(sim::FaultKindName(kind))))
                 .arg(address));
        sim.AddFault("COM1", address, sim::Fault(kind).Times(Pick(1, 3)));
    }

    // Stops whatever runs as the operator would, waits for it, and checks
    // that nothing is left running and every button is in its idle form.
    QString Finish() {
        for (int i = 0; i < 20 && QApplication::activeModalWidget() != nullptr; ++i) {
            if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
            QTest::qWait(100);
        }
        if (!bench_.sim.Plugged("COM2")) bench_.sim.Replug("COM2");
        bench_.sim.ClearFaults();
        if (!window_->isVisible()) return {};
        TModel& model = window_->Model();
        model.StopFlag = true;
        for (std::size_t d = 0; d < model.DeviceList.Count(); ++d) {
            for (int r = 1; r <= 2; ++r) {
                if (TParams* p = model.Regulator(d, r)) p->ProgStop = true;
            }
        }
        const bool ended = QTest::qWaitFor(
            [&] {
                return model.Workers.Running() == 0 && !model.SearchThread && !model.ReadThread &&
                       !model.WriteThread;
            },
            60000);
        QTest::qWait(500);  // what the workers reported has come through
        if (!ended) return "workers still run a minute after the stop";

        QStringList wrong;
        auto expect = [&](const char* name, const QString& caption) {
            auto* b = window_->findChild<QAbstractButton*>(name);
            if (b == nullptr) return;
            const QString text = b->text().remove(QLatin1Char('&'));
            if (text != caption) wrong << QString("%1 reads \"%2\"").arg(name, text);
            if (b->isChecked()) wrong << QString("%1 stays down").arg(name);
        };
        expect("RzBitBtn1", "Найти приборы");
        expect("ReadAllPar_Btn", "Прочитать параметры всех приборов");
        expect("Read_sets_Btn", "Прочитать параметры из прибора");
        expect("Read_sets_Btn1", "Прочитать параметры из прибора");
        expect("WriteKoeffBtn4", "Записать параметры в прибор");
        if (!window_->findChild<QMenu*>("File_Menu")->menuAction()->isEnabled())
            wrong << "the menu \"Файл\" stays disabled";
        if (!window_->findChild<QAbstractButton*>("RzBitBtn1")->isEnabled())
            wrong << "the search button stays disabled";
        const bool any = !model.DeviceList.Empty();
        if (window_->findChild<QAbstractButton*>("ReadAllPar_Btn")->isEnabled() != any)
            wrong << "\"Прочитать параметры всех приборов\" does not follow the instrument list";
        if (!wrong.isEmpty()) return wrong.join('\n');

        QElapsedTimer closing;
        closing.start();
        window_.reset();
        if (closing.elapsed() > 15000)
            return QString("the window took %1 ms to go").arg(closing.elapsed());
        return {};
    }

    std::mt19937 rng_;
    const int actions_;
    int done_ = 0;
    QObject context_;  // of the actions on their way
    qint64 worstStall_ = 0;
    QStringList recent_;
    QTemporaryDir dir_;
    SimBench bench_;
    std::unique_ptr<TMainWindow> window_;
};

}  // namespace

class MainWindowStressTest : public QObject {
    Q_OBJECT

  private slots:
    void randomSession() {
        const std::uint32_t seed = static_cast<std::uint32_t>(
            EnvInt("ZORVAT_STRESS_SEED", static_cast<int>(std::random_device{}())));
        const int actions = EnvInt("ZORVAT_STRESS_ACTIONS", 1500);
        std::fprintf(stderr, "stress session: ZORVAT_STRESS_SEED=%u ZORVAT_STRESS_ACTIONS=%d\n",
                     seed, actions);
        Session session(seed, actions);
        const QString failure = session.Run();
        QVERIFY2(failure.isEmpty(), qPrintable(QString("seed %1: %2").arg(seed).arg(failure)));
    }
};

int main(int argc, char** argv) {
    // A long session (ZORVAT_STRESS_ACTIONS) takes as long as it needs; the
    // test runner's own limit of five minutes a test function would cut it.
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", "86400000");
    QApplication app(argc, argv);
    MainWindowStressTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "main_window_stress_test.moc"
