// The chart page: view arithmetic, time unit, which series the chart
// mirrors, forgetting the series, colours, zoom and printing without a
// printer.
#include <qcustomplot.h>
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

#include "graph_axis.h"
#include "graph_page.h"
#include "graph_print.h"
#include "message_box.h"
#include "model.h"
#include "recording_surfaces.h"
#include "th_search.h"
#include "trend_file.h"

namespace zorvat {
namespace {

// A model with instruments whose regulators can be filled by hand, as the
// polling job fills them, and a page on it.
struct Rig {
    RecordingSurfaces surfaces;
    TModel model{surfaces, MakePortJobs};
    std::unique_ptr<TGraphPage> page;

    explicit Rig(int devices = 1) {
        for (int i = 0; i < devices; ++i) {
            auto device = std::make_unique<TDevice>();
            const auto index = static_cast<std::uint8_t>(model.DeviceList.Count());
            device->Present = true;
            device->ParentPort = "COM1";
            device->Address = std::to_string(index + 1);
            device->Regs[1] = std::make_unique<TParams>(index, 1);
            device->Regs[2] = std::make_unique<TParams>(index, 2);
            model.DeviceList.Append(std::move(device));
        }
        page = std::make_unique<TGraphPage>(model);
        page->resize(900, 560);
    }
    ~Rig() { page->Clear(); }

    ChartSeries& Serie(RegulatorRef ref) {
        return model.Regulator(ref.device, ref.regulator)->Serie;
    }
    // What the polling job does for one poll.
    void Add(RegulatorRef ref, double x, double y) {
        Serie(ref).Append(x, y);
        page->PointAdded(ref, x, y);
    }
    QCPGraph* Graph() const { return page->Plot()->graph(0); }
    std::vector<QPointF> Points() const {
        std::vector<QPointF> out;
        for (auto it = Graph()->data()->constBegin(); it != Graph()->data()->constEnd(); ++it)
            out.emplace_back(it->key, it->value);
        return out;
    }
    TAxisLimits X() const {
        return {page->Plot()->xAxis->range().lower, page->Plot()->xAxis->range().upper};
    }
    TAxisLimits Y() const {
        return {page->Plot()->yAxis->range().lower, page->Plot()->yAxis->range().upper};
    }
    template <typename T>
    T* Find(const char* name) const {
        T* widget = page->findChild<T*>(QString::fromLatin1(name));
        if (widget == nullptr) qFatal("no widget %s", name);
        return widget;
    }
    void Click(const char* name) { Find<QAbstractButton>(name)->click(); }
};

}  // namespace

// Failure messages of QCOMPARE.
char* toString(const TAxisLimits& limits) {
    return QTest::toString(
        QString("%1..%2").arg(limits.min, 0, 'g', 17).arg(limits.max, 0, 'g', 17));
}

namespace {

constexpr RegulatorRef kA{0, 1};
constexpr RegulatorRef kB{0, 2};

bool Near(double a, double b) {
    return std::abs(a - b) <= 1e-9 * std::max(1.0, std::abs(b));
}

}  // namespace

class GraphPageTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        SetMessageHandler({});
        SetFileHandler({});
        SetPrinterCheck({});
    }

    void viewArithmetic_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<double>("newMin");
        QTest::addColumn<double>("newMax");
        QTest::newRow("narrow 0..400") << "narrow" << 0.0 << 400.0 << 10.0 << 390.25;
        QTest::newRow("widen 0..400") << "widen" << 0.0 << 400.0 << -10.0 << 410.25;
        QTest::newRow("narrow below zero") << "narrow" << -80.0 << -40.0 << -79.0 << -40.975;
        QTest::newRow("move forward") << "forward" << 0.0 << 400.0 << 10.0 << 410.0;
        QTest::newRow("move back") << "back" << 20.0 << 60.0 << 19.0 << 59.0;
    }
    void viewArithmetic() {
        QFETCH(QString, operation);
        QFETCH(double, min);
        QFETCH(double, max);
        QFETCH(double, newMin);
        QFETCH(double, newMax);
        TAxisLimits out;
        if (operation == "narrow") out = StretchLimits({min, max}, true);
        if (operation == "widen") out = StretchLimits({min, max}, false);
        if (operation == "forward") out = MoveLimits({min, max}, true);
        if (operation == "back") out = MoveLimits({min, max}, false);
        QVERIFY2(Near(out.min, newMin), qPrintable(QString::number(out.min, 'g', 17)));
        QVERIFY2(Near(out.max, newMax), qPrintable(QString::number(out.max, 'g', 17)));
    }

    // Each button works on its own axis; the other axis keeps following the
    // curve. The curve spans 0..400 on both axes.
    void buttonsWorkOnTheirAxis_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("timeAxis");
        QTest::addColumn<double>("newMin");
        QTest::addColumn<double>("newMax");
        QTest::newRow("LeftMoveBtn") << "LeftMoveBtn" << true << 10.0 << 410.0;
        QTest::newRow("RightMoveBtn") << "RightMoveBtn" << true << -10.0 << 390.0;
        QTest::newRow("DownMoveBtn") << "DownMoveBtn" << false << 10.0 << 410.0;
        QTest::newRow("UpMoveBtn") << "UpMoveBtn" << false << -10.0 << 390.0;
        QTest::newRow("LeftScrathBtn") << "LeftScrathBtn" << false << 10.0 << 390.25;
        QTest::newRow("DownScrathBtn") << "DownScrathBtn" << true << 10.0 << 390.25;
        QTest::newRow("UpScrathBtn") << "UpScrathBtn" << false << -10.0 << 410.25;
        QTest::newRow("RightScrathBtn") << "RightScrathBtn" << true << -10.0 << 410.25;
    }
    void buttonsWorkOnTheirAxis() {
        QFETCH(QString, button);
        QFETCH(bool, timeAxis);
        QFETCH(double, newMin);
        QFETCH(double, newMax);
        Rig b;
        b.page->ShowRegulator(kA);
        b.Add(kA, 0, 0);
        b.Add(kA, 400, 400);
        QCOMPARE(b.X(), (TAxisLimits{0, 400}));
        QCOMPARE(b.Y(), (TAxisLimits{0, 400}));

        b.Click(qPrintable(button));
        const TAxisLimits moved = timeAxis ? b.X() : b.Y();
        QVERIFY2(Near(moved.min, newMin) && Near(moved.max, newMax),
                 qPrintable(QString("%1..%2").arg(moved.min).arg(moved.max)));
        const TAxisScale& changed = timeAxis ? b.page->TimeAxis() : b.page->ValueAxis();
        const TAxisScale& other = timeAxis ? b.page->ValueAxis() : b.page->TimeAxis();
        QVERIFY(!changed.AutoMin() && !changed.AutoMax());
        QVERIFY(other.AutoMin() && other.AutoMax());

        // The fixed axis stays put when the curve grows; the other follows.
        b.Add(kA, 500, 500);
        QCOMPARE(timeAxis ? b.X() : b.Y(), moved);
        QCOMPARE(timeAxis ? b.Y().max : b.X().max, 500.0);

        b.Click("RefreshBtn");
        QCOMPARE(b.X(), (TAxisLimits{0, 500}));
        QCOMPARE(b.Y(), (TAxisLimits{0, 500}));
    }

    // A fixed time axis gets an automatic maximum back (after two minutes of
    // polling, or with "Автообновление"); its minimum stays where it was.
    void timeAxisMaximumReleased() {
        Rig b;
        QSignalSpy spy(b.page.get(), &TGraphPage::autoUpdateChanged);
        b.page->ShowRegulator(kA);
        b.Add(kA, 0, 10);
        b.Add(kA, 40, 30);
        b.Click("LeftMoveBtn");  // 1..41
        b.Add(kA, 80, 20);
        QCOMPARE(b.X(), (TAxisLimits{1, 41}));

        b.page->SetTimeAxisAutomatic();
        QCOMPARE(b.X(), (TAxisLimits{1, 80}));
        b.Add(kA, 120, 20);
        QCOMPARE(b.X(), (TAxisLimits{1, 120}));
        QVERIFY(!b.page->TimeAxis().AutoMin());

        QVERIFY(!b.page->AutoUpdate());
        b.Find<QCheckBox>("CheckBox1")->setChecked(true);
        QVERIFY(b.page->AutoUpdate());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), true);
    }

    void timeUnit_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<double>("multiplier");
        QTest::addColumn<double>("shownX");
        QTest::addColumn<QString>("caption");
        QTest::newRow("hours") << 1 << kHoursMultiplier << 1.5 << "Время, час.";
        QTest::newRow("minutes") << 0 << 1.0 << 90.0 << "Время, мин.";
    }
    void timeUnit() {
        QFETCH(int, index);
        QFETCH(double, multiplier);
        QFETCH(double, shownX);
        QFETCH(QString, caption);
        Rig b;
        // The other unit first, so that the list really changes.
        b.Serie(kA).SetXMultiplier(MultiplierForStep(1 - index));
        b.page->ShowRegulator(kA);
        auto* step = b.Find<QComboBox>("StepSelect");
        QCOMPARE(step->currentIndex(), 1 - index);
        b.Add(kA, 30, 25.5);
        b.Add(kA, 90, 26.0);

        step->setCurrentIndex(index);
        QCOMPARE(b.Serie(kA).XMultiplier(), multiplier);
        QCOMPARE(b.Points().back(), QPointF(shownX, 26.0));
        QCOMPARE(b.page->Plot()->xAxis->label(), caption);
        // Points still arrive in minutes.
        b.Add(kA, 120, 27.0);
        QCOMPARE(b.Points().back(), QPointF(120 * multiplier, 27.0));

        // The record keeps the unit for the next time it is shown.
        b.page->ShowRegulator(kB);
        QCOMPARE(step->currentIndex(), 0);
        b.page->ShowRegulator(kA);
        QCOMPARE(step->currentIndex(), index);
        QCOMPARE(b.Points().back(), QPointF(120 * multiplier, 27.0));
    }

    // A fixed time axis keeps showing the same stretch of time in the new unit.
    void fixedTimeAxisFollowsTheUnit() {
        Rig b;
        b.page->ShowRegulator(kA);
        b.Add(kA, 0, 1);
        b.Add(kA, 120, 2);
        b.Click("DownScrathBtn");  // 3..117.075 minutes
        const TAxisLimits minutes = b.X();
        b.Find<QComboBox>("StepSelect")->setCurrentIndex(1);
        QVERIFY(Near(b.X().min, minutes.min / 60) && Near(b.X().max, minutes.max / 60));
    }

    void chartMirrorsOnlyTheShownRegulator() {
        Rig b(2);
        const RegulatorRef other{1, 1};
        b.page->ShowRegulator(kA);
        QVERIFY(b.Serie(kA).Active());
        b.Add(kA, 0.01, 20);
        b.Add(kB, 0.02, 500);
        b.Add(other, 0.03, 700);
        b.Add(kA, 0.61, 21);
        QCOMPARE(b.Points(), (std::vector<QPointF>{{0.01, 20}, {0.61, 21}}));
        QCOMPARE(b.Y(), (TAxisLimits{20, 21}));
        // A value that is no number leaves a gap, not an axis without limits.
        b.Add(kA, 0.62, std::nan(""));
        QCOMPARE(b.Y(), (TAxisLimits{20, 21}));

        // Another regulator: its whole series, and only it, is active.
        b.page->ShowRegulator(other);
        QCOMPARE(b.Points(), (std::vector<QPointF>{{0.03, 700}}));
        QVERIFY(!b.Serie(kA).Active());
        QVERIFY(!b.Serie(kB).Active());
        QVERIFY(b.Serie(other).Active());

        // Points that arrived while it was hidden are there when it is back.
        b.Add(kA, 1.21, 22);
        b.page->ShowRegulator(kA);
        QCOMPARE(b.Points().size(), std::size_t{4});

        b.page->ShowRegulator(std::nullopt);
        QVERIFY(b.Points().empty());
        QVERIFY(!b.Serie(kA).Active());
        // A regulator the instrument does not have shows nothing.
        b.page->ShowRegulator(RegulatorRef{7, 1});
        QVERIFY(!b.page->Shown());
        QVERIFY(b.Points().empty());
    }

    // "Очистить" empties the shown series only; later points keep their
    // elapsed time.
    void clearButtonEmptiesTheShownSeries() {
        Rig b;
        b.page->ShowRegulator(kA);
        b.Add(kA, 5, 20);
        b.Add(kA, 6, 21);
        b.Add(kB, 5, 30);
        b.Click("ClrBtn");
        QCOMPARE(b.Serie(kA).Size(), std::size_t{0});
        QCOMPARE(b.Serie(kB).Size(), std::size_t{1});
        QVERIFY(b.Points().empty());
        b.Add(kA, 7, 22);
        QCOMPARE(b.Points(), (std::vector<QPointF>{{7, 22}}));
    }

    // After Clear the page never reaches into the model: the records may be
    // gone (the address sanitizer sees any access).
    void clearForgetsEverySeries() {
        Rig b;
        b.page->ShowRegulator(kA);
        b.Add(kA, 1, 20);
        b.page->Clear();
        QVERIFY(!b.page->Shown());
        QVERIFY(b.Points().empty());
        b.model.ClearDevices();

        b.page->PointAdded(kA, 2, 21);
        for (const char* name : {"LeftMoveBtn", "LeftScrathBtn", "RefreshBtn", "ClrBtn"})
            b.Click(name);
        b.Find<QComboBox>("StepSelect")->setCurrentIndex(1);
        b.Find<QComboBox>("GraphColor")->setCurrentIndex(2);
        b.page->ShowRegulator(kA);
        QVERIFY(!b.page->Shown());
        QVERIFY(b.Points().empty());
    }

    void colourList_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QColor>("pen");
        QTest::newRow("never given") << -1 << "Красный" << QColor(255, 0, 0);
        QTest::newRow("project default") << 0 << "Чёрный" << QColor(0, 0, 0);
        QTest::newRow("blue (0x00BBGGRR)") << 0xFF0000 << "Синий" << QColor(0, 0, 255);
        QTest::newRow("not in the list") << 0x123456 << "#563412" << QColor(0x56, 0x34, 0x12);
    }
    void colourList() {
        QFETCH(int, stored);
        QFETCH(QString, item);
        QFETCH(QColor, pen);
        Rig b;
        b.Serie(kA).SetColor(stored);
        b.page->ShowRegulator(kA);
        auto* colours = b.Find<QComboBox>("GraphColor");
        QCOMPARE(colours->currentText(), item);
        QCOMPARE(b.Graph()->pen().color(), pen);
        QCOMPARE(b.Serie(kA).Color(), stored);  // showing changes nothing

        colours->setCurrentIndex(colours->findText("Зелёный"));
        QCOMPARE(b.Serie(kA).Color(), 0x008000);
        QCOMPARE(b.Graph()->pen().color(), QColor(0, 128, 0));
        QCOMPARE(b.Serie(kB).Color(), -1);
    }

    // Framing an area with the mouse glides the view there; framing from
    // right to left gives the automatic limits back.
    void mouseZoom() {
        Rig b;
        b.page->ShowRegulator(kA);
        for (int i = 0; i <= 100; ++i)
            b.Add(kA, i, i);
        b.page->show();
        QVERIFY(QTest::qWaitForWindowExposed(b.page.get()));
        QCustomPlot* plot = b.page->Plot();
        plot->replot();
        const int left = qRound(plot->xAxis->coordToPixel(20));
        const int right = qRound(plot->xAxis->coordToPixel(40));
        const int top = qRound(plot->yAxis->coordToPixel(70));
        const int bottom = qRound(plot->yAxis->coordToPixel(50));
        emit plot->selectionRect()->accepted(QRect(QPoint(left, top), QPoint(right, bottom)),
                                             nullptr);
        QTRY_VERIFY(std::abs(b.X().min - 20) < 0.5 && std::abs(b.X().max - 40) < 0.5);
        QTRY_VERIFY(std::abs(b.Y().min - 50) < 0.5 && std::abs(b.Y().max - 70) < 0.5);
        QVERIFY(!b.page->TimeAxis().AutoMax() && !b.page->ValueAxis().AutoMax());

        emit plot->selectionRect()->accepted(QRect(QPoint(right, top), QPoint(left, bottom)),
                                             nullptr);
        QCOMPARE(b.X(), (TAxisLimits{0, 100}));
        QCOMPARE(b.Y(), (TAxisLimits{0, 100}));
    }

    // New points on a hidden page cost no redraw; showing it draws once, and
    // a burst of points on a shown page is drawn together.
    void redrawsAreGathered() {
        Rig b;
        b.page->ShowRegulator(kA);
        QCoreApplication::processEvents();
        QSignalSpy replots(b.page->Plot(), &QCustomPlot::afterReplot);
        for (int i = 0; i < 50; ++i)
            b.Add(kA, i * 0.01, 20 + i);
        QCoreApplication::processEvents();
        QCOMPARE(replots.count(), 0);

        b.page->show();
        QVERIFY(QTest::qWaitForWindowExposed(b.page.get()));
        QTRY_VERIFY(replots.count() >= 1);
        QTest::qWait(150);
        replots.clear();
        for (int i = 50; i < 100; ++i)
            b.Add(kA, i * 0.01, 20 + i);
        QTRY_VERIFY(replots.count() >= 1);
        QTest::qWait(150);
        QVERIFY2(replots.count() <= 2, qPrintable(QString::number(replots.count())));
    }

    void saveChart_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");  // "" when nothing is
        QTest::addColumn<QByteArray>("begins");
        QTest::newRow("points") << "run.csv"
                                << "run.csv" << QByteArray("minutes,value\n0.0000,20\n0.0100,21\n");
        QTest::newRow("no type: points") << "run"
                                         << "run.csv" << QByteArray("minutes,value\n");
        QTest::newRow("picture") << "run.png"
                                 << "run.png" << QByteArray("\x89PNG");
        QTest::newRow("page") << "run.PDF"
                              << "run.PDF" << QByteArray("%PDF");
        QTest::newRow("other type") << "run.txt"
                                    << "" << QByteArray();
        QTest::newRow("folder missing") << "no/such/run.csv"
                                        << "" << QByteArray();
    }
    void saveChart() {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        QFETCH(QByteArray, begins);
        QTemporaryDir dir;
        std::vector<MessageRequest> messages;
        SetMessageHandler([&](const MessageRequest& r) {
            messages.push_back(r);
            return QMessageBox::Ok;
        });
        SetFileHandler([&](const FileRequest& r) {
            [&] { QCOMPARE(r.choice, FileChoice::Save); }();
            return dir.filePath(chosen);
        });
        Rig b;
        b.page->show();
        b.page->ShowRegulator(kA);
        for (int i = 0; i < 50; ++i)
            b.Add(kA, i * 0.01, 20 + i);
        b.Click("SaveChartBtn");

        const QStringList files = QDir(dir.path()).entryList(QDir::Files);
        QCOMPARE(files, written.isEmpty() ? QStringList() : QStringList{written});
        QCOMPARE(messages.size(), written.isEmpty() ? std::size_t{1} : std::size_t{0});
        if (written.isEmpty()) {
            QCOMPARE(messages[0].kind, MessageKind::Error);
            return;
        }
        QFile file(dir.filePath(written));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY2(bytes.startsWith(begins), bytes.left(60).constData());
        if (written.endsWith(".csv")) QCOMPARE(bytes.count('\n'), 51);
    }

    // A trend file beside the live series: its own line on the same axes,
    // a gap where a poll failed, the same time unit; a damaged line is
    // reported and the rest shown; the record goes again on request.
    void openRecord() {
        QTemporaryDir dir;
        const QString path = dir.filePath("2026-12-10_COM1_001_R1.csv");
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            std::string text = std::string(kTrendHeader) + "\n";
            TrendRow row;
            row.wallMs = 1796911385123;
            row.setpoint = 300;
            for (int i = 0; i < 4; ++i) {
                row.minutes = 60.0 + i * 0.01;
                row.hasValue = i != 2;
                row.value = 100.0 + i;
                row.error = i == 2 ? "-14" : "";
                AppendTrendLine(row, text);
                row.wallMs += 600;
            }
            text += "2026-12-10T14:0";  // cut off by a crash
            file.write(text.data(), static_cast<qint64>(text.size()));
        }
        std::vector<MessageRequest> messages;
        SetMessageHandler([&](const MessageRequest& r) {
            messages.push_back(r);
            return QMessageBox::Ok;
        });
        SetFileHandler([&](const FileRequest& r) {
            [&] { QCOMPARE(r.choice, FileChoice::Open); }();
            [&] { QCOMPARE(r.folder, dir.path()); }();
            return path;
        });
        Rig b;
        b.page->SetRecordsFolder(dir.path());
        b.page->show();
        b.page->ShowRegulator(kA);
        b.Add(kA, 0.0, 20);
        b.Add(kA, 1.0, 30);
        b.Click("OpenRecordBtn");

        QCOMPARE(messages.size(), std::size_t{1});
        QCOMPARE(messages[0].kind, MessageKind::Warning);
        QVERIFY2(messages[0].text.contains("строка 6"), qPrintable(messages[0].text));
        QCPGraph* record = b.page->Plot()->graph(1);
        QCOMPARE(record->dataCount(), 4);
        QVERIFY(std::isnan(record->data()->at(2)->value));
        QCOMPARE(record->data()->at(3)->key, 60.03);
        QCOMPARE(b.Find<QLabel>("RecordLabel")->text(),
                 QString("Запись: 2026-12-10_COM1_001_R1.csv — точек: 4"));
        QVERIFY(b.Find<QWidget>("RecordLabel")->isVisible());
        QCOMPARE(b.Graph()->dataCount(), 2);  // the live line as it was
        // Both lines fit the automatic axes.
        QCOMPARE(b.X(), (TAxisLimits{0.0, 60.03}));
        QCOMPARE(b.Y(), (TAxisLimits{20.0, 103.0}));

        b.Find<QComboBox>("StepSelect")->setCurrentIndex(1);  // hours
        QVERIFY(Near(record->data()->at(3)->key, 60.03 / 60.0));
        b.Find<QComboBox>("StepSelect")->setCurrentIndex(0);

        // A foreign file: a message, nothing shown from it.
        const QString foreign = dir.filePath("other.csv");
        {
            QFile file(foreign);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("x,y\n1,2\n");
        }
        const QString problem = b.page->OpenRecord(foreign);
        QVERIFY2(problem.contains("не является записью опроса"), qPrintable(problem));
        QCOMPARE(record->dataCount(), 0);

        b.Click("CloseRecordBtn");
        QCOMPARE(record->dataCount(), 0);
        QVERIFY(!b.Find<QAbstractButton>("CloseRecordBtn")->isEnabled());
        QVERIFY(!b.Find<QWidget>("RecordLabel")->isVisible());
        QCOMPARE(b.X(), (TAxisLimits{0.0, 1.0}));
        QVERIFY(b.page->OpenRecord(dir.filePath("missing.csv")).contains("Не удалось открыть"));
    }

    void printWithoutPrinter_data() {
        QTest::addColumn<bool>("agree");
        QTest::addColumn<QString>("chosen");  // relative to a temporary folder; "" cancels
        QTest::addColumn<QString>("written");
        QTest::addColumn<bool>("failureShown");
        QTest::newRow("saved") << true << "chart.pdf"
                               << "chart.pdf" << false;
        QTest::newRow("suffix added") << true << "chart"
                                      << "chart.pdf" << false;
        QTest::newRow("declined") << false << "chart.pdf"
                                  << "" << false;
        QTest::newRow("chooser cancelled") << true << ""
                                           << "" << false;
        QTest::newRow("folder missing") << true << "no/such/chart.pdf"
                                        << "" << true;
    }
    void printWithoutPrinter() {
        QFETCH(bool, agree);
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        QFETCH(bool, failureShown);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        SetPrinterCheck([] { return false; });
        std::vector<MessageRequest> messages;
        SetMessageHandler([&](const MessageRequest& r) {
            messages.push_back(r);
            return agree ? QMessageBox::Yes : QMessageBox::No;
        });
        int choosers = 0;
        SetFileHandler([&](const FileRequest& r) {
            ++choosers;
            [&] { QCOMPARE(r.choice, FileChoice::Save); }();
            return chosen.isEmpty() ? QString() : dir.filePath(chosen);
        });

        Rig b;
        b.page->ShowRegulator(kA);
        for (int i = 0; i < 200; ++i)
            b.Add(kA, i * 0.01, 20 + 80 * (1 - std::exp(-i / 40.0)));
        b.Click("Print_Btn");

        QVERIFY(!messages.empty());
        QCOMPARE(messages.front().kind, MessageKind::Question);
        QVERIFY(messages.front().text.contains("PDF"));
        QCOMPARE(choosers, agree ? 1 : 0);
        QCOMPARE(messages.size() > 1, failureShown);
        if (failureShown) QCOMPARE(messages.back().kind, MessageKind::Error);

        const QStringList files = QDir(dir.path()).entryList(QDir::Files);
        QCOMPARE(files, written.isEmpty() ? QStringList() : QStringList{written});
        if (written.isEmpty()) return;
        QFile pdf(dir.filePath(written));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        const QByteArray bytes = pdf.readAll();
        QVERIFY(bytes.startsWith("%PDF"));
        // One landscape page.
        const auto box = QRegularExpression(R"(/MediaBox \[\s*0 0 ([\d.]+) ([\d.]+)\s*\])")
                             .match(QString::fromLatin1(bytes));
        QVERIFY(box.hasMatch());
        QVERIFY(box.captured(1).toDouble() > box.captured(2).toDouble());
    }
};

}  // namespace zorvat

QTEST_MAIN(zorvat::GraphPageTest)
#include "graph_page_test.moc"
