// The page "График": the regulated value of the selected regulator against
// time.
//
// Every regulator record keeps its own points (TParams::Serie, in minutes);
// the chart mirrors only the series of the regulator that is shown, and
// takes from it just the points it has not drawn yet. Axis limits are
// worked out from a running box around the points, so a new point never
// walks the whole curve, and redraws are gathered into one every 100 ms at
// most, none while the page is hidden.
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstddef>
#include <optional>
#include <vector>

#include "chart_series.h"
#include "graph_axis.h"
#include "model.h"
#include "surfaces.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QCPGraph;
class QCustomPlot;
class QScrollArea;
class QLabel;
class QPushButton;
class QToolButton;

namespace zorvat {

// The colour of a series (0x00BBGGRR, as the project file keeps it) and
// back; a series that has no colour yet (negative) is drawn in the first
// colour of the list.
QColor SeriesColor(std::int32_t bgr);
std::int32_t SeriesColorValue(const QColor& color);

class TGraphPage : public QWidget {
    Q_OBJECT
  public:
    explicit TGraphPage(TModel& model, QWidget* parent = nullptr);

    // The chart shows exactly this regulator's series (every other
    // deactivated); nullopt: none.
    void ShowRegulator(std::optional<RegulatorRef> ref);
    // On the UI thread, right after the point was appended to the record's Serie.
    void PointAdded(RegulatorRef ref, double x, double y);
    // The maximum of the time axis follows the curve again.
    void SetTimeAxisAutomatic();
    // Both axes automatic (used at program start).
    void AutoScaleGraph();
    // The "Автообновление" check.
    bool AutoUpdate() const;
    // Every series forgotten: called before the model frees its records.
    void Clear();
    // Removes every point of the shown regulator's series.
    void ClearGraph();
    QCustomPlot* Plot() const;

    // The chart saved by the file's type: .csv the shown series (minutes,
    // value; the loaded record's when no regulator is shown; a name without
    // a type gets ".csv"), .png a picture, .pdf a page. An empty result
    // means done, else what failed.
    QString SaveChart(const QString& path);
    // A trend file as a second, read-only line in a colour of its own, on
    // the same axes as the live one. Returns what could not be read (empty
    // when the whole file was); the rows that could be read are shown.
    QString OpenRecord(const QString& path);
    void CloseRecord();
    // Points of the loaded record on the chart (gaps of failed polls too).
    std::size_t RecordPoints() const { return recordPoints_.size(); }
    QString RecordFile() const { return recordFile_; }
    // Where "Открыть запись..." starts.
    void SetRecordsFolder(const QString& folder) { recordsFolder_ = folder; }

    // The axes' automatic or fixed state (shared by all regulators).
    const TAxisScale& TimeAxis() const { return timeAxis_; }
    const TAxisScale& ValueAxis() const { return valueAxis_; }
    std::optional<RegulatorRef> Shown() const { return shown_; }

  signals:
    void autoUpdateChanged(bool on);

  protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QScrollArea* panelScroll_ = nullptr;
    QWidget* BuildPanel();
    void BuildChart();

    void MoveBtnClick(QAbstractButton* button);
    void LeftScrathBtnClick(QAbstractButton* button);
    void RefreshBtnClick();
    void ClrBtnClick();
    void Print_BtnClick();
    void SaveBtnClick();
    void OpenRecordBtnClick();
    // The loaded record's points again (another time unit).
    void RebuildRecord();
    // The box around the live and the recorded points.
    std::optional<TAxisLimits> BoundsX() const;
    std::optional<TAxisLimits> BoundsY() const;
    void StepSelectChange(int index);
    void GraphColorCloseUp(int index);

    // The record of the shown regulator; null when none is shown.
    TParams* ShownRecord() const;
    // Takes the whole series again (another regulator, another time unit).
    void Rebuild();
    // Takes the points added since the last look.
    void TakeNewPoints();
    void ShowColor(std::int32_t bgr);
    void ApplyRanges();
    void ScheduleReplot();
    void ReplotNow();

    // Zoom by the mouse: the view glides to the framed area in 10 steps.
    void ZoomTo(const QRect& pixels);
    void ZoomStep();

    TModel& model_;

    QToolButton* LeftMoveBtn = nullptr;
    QToolButton* DownMoveBtn = nullptr;
    QToolButton* UpMoveBtn = nullptr;
    QToolButton* RightMoveBtn = nullptr;
    QToolButton* LeftScrathBtn = nullptr;
    QToolButton* DownScrathBtn = nullptr;
    QToolButton* UpScrathBtn = nullptr;
    QToolButton* RightScrathBtn = nullptr;
    QPushButton* RefreshBtn = nullptr;
    QPushButton* ClrBtn = nullptr;
    QPushButton* Print_Btn = nullptr;
    QPushButton* SaveBtn = nullptr;
    QPushButton* OpenRecordBtn = nullptr;
    QPushButton* CloseRecordBtn = nullptr;
    QLabel* RecordLabel = nullptr;
    QWidget* recordBar_ = nullptr;
    QLabel* Label30 = nullptr;
    QComboBox* StepSelect = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QComboBox* GraphColor = nullptr;
    QCustomPlot* Chart1 = nullptr;
    QCPGraph* graph_ = nullptr;
    QCPGraph* recordGraph_ = nullptr;

    std::optional<RegulatorRef> shown_;
    std::size_t taken_ = 0;  // points of the shown series already on the chart
    double multiplier_ = kMinutesMultiplier;
    TDataBounds bounds_;  // of the points on the chart, in minutes
    std::vector<ChartPoint> fresh_;

    // The trend file shown beside the live series.
    QString recordsFolder_;
    QString recordFile_;
    std::vector<ChartPoint> recordPoints_;  // minutes; NaN values are gaps
    TDataBounds recordBounds_;

    TAxisScale timeAxis_;
    TAxisScale valueAxis_;

    QTimer replotTimer_;
    bool replotPending_ = false;

    QTimer zoomTimer_;
    int zoomStep_ = 0;
    TAxisLimits zoomFromX_, zoomFromY_, zoomToX_, zoomToY_;
};

}  // namespace zorvat
