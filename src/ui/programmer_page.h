// The page "Программатор": the setpoint program of one regulator, a list of
// points (on/off, setpoint, duration) that this program runs point by point,
// with the buttons that start and stop it.
//
// The points live in the regulator's record; edits go straight there and
// reach the instrument only through the running program.
#pragma once

#include <QWidget>
#include <optional>

#include "regulator_choice.h"
#include "surfaces.h"

class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidgetItem;

namespace zorvat {

class TModel;
class TOperations;
class TParams;
class TGrid;

class TProgrammerPage : public QWidget {
    Q_OBJECT
  public:
    TProgrammerPage(TModel& model, TOperations& ops, TSurfaces& surfaces,
                    QWidget* parent = nullptr);

    // Presses the regulator's button, takes its colour and fills the grid.
    void ShowRegulator(RegulatorRef ref);
    // Refills the grid from the record; does nothing for another regulator.
    void FillProgramGrid(RegulatorRef ref);
    // The running point's duration cell: the time left, or the duration again.
    void ShowProgramTime(RegulatorRef ref, int point, const QString& text);
    void SetProgramStopEnabled(bool enabled);
    void SetRegulator2Visible(bool visible);
    std::optional<RegulatorRef> Shown() const { return choice_.Shown(); }
    // Nothing shown any more: the model is being emptied.
    void Clear();
    void OperationFinished(Operation op);

  signals:
    // A regulator button was clicked (1 or 2).
    void regulatorChosen(int number);

  private:
    void BuildUi();
    TParams* Reg() const { return choice_.Reg(); }
    void SetRegulatorColour(int number);
    void SetRowLook(int row, bool on, bool running);
    QTableWidgetItem* Cell(int row, int col);

    // Handlers.
    void PointCountChange(int value);
    void Prog_GridItemChanged(QTableWidgetItem* item);
    void Prog_GridCellValidate(QTableWidgetItem* item);
    void Prog_GridCheckBoxClick(QTableWidgetItem* item);
    void StartProg_btnClick();
    void StopBtnClick();

    TOperations& ops_;
    [[maybe_unused]] TSurfaces& surfaces_;
    TRegulatorChoice choice_;  // Reg1Prog_Btn, Reg2Prog_Btn
    bool filling_ = false;

    QLabel* ElLabel1 = nullptr;
    QSpinBox* PointCount = nullptr;
    QPushButton* StartProg_btn = nullptr;
    QPushButton* StopBtn = nullptr;
    TGrid* Prog_Grid = nullptr;
};

}  // namespace zorvat
