// The page "Параметры": the settings of one regulator in a table and a few
// lists, its on/off and autotuning switches, the write button and, while the
// regulator runs, the live relay and input states.
//
// The page shows the regulator the main window chose (ShowRegulator) and
// writes every edit straight through to that regulator's record; the
// instrument changes only when the write button sends the record.
#pragma once

#include <QWidget>
#include <optional>
#include <vector>

#include "regulator_choice.h"
#include "surfaces.h"

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTableWidgetItem;
class QTimer;

namespace zorvat {

class TModel;
class TOperations;
class TParams;
class TDevice;
class TGrid;
class TStateLamp;
class TStatePicture;

class TRegulatorPage : public QWidget {
    Q_OBJECT
  public:
    TRegulatorPage(TModel& model, TOperations& ops, TSurfaces& surfaces, QWidget* parent = nullptr);

    // Presses the regulator's button, takes its colour and fills the page.
    void ShowRegulator(RegulatorRef ref);
    // Refills the page from the record; does nothing for another regulator.
    void FillRegulatorPage(RegulatorRef ref);
    std::optional<RegulatorRef> Shown() const { return choice_.Shown(); }
    // The button "Регулятор 2" and the setpoint source label and list.
    void SetRegulator2Visible(bool visible);
    // Nothing shown any more: the model is being emptied.
    void Clear();
    // "Прочитать параметры из прибора": the main window handles its clicks;
    // the page shows its running form between the read's start and end.
    QAbstractButton* ReadButton() const;
    // Lets the once-a-second refresh of the live states run (while the
    // panel is shown) or holds it.
    void SetRefreshEnabled(bool on);
    // The tree's check box of a regulator changed: the on/off button follows
    // and the switch runs as if the button had been clicked.
    void SwitchFromTree(RegulatorRef ref, bool on);

    void OperationStarted(Operation op);
    void OperationFinished(Operation op);
    void RegulatorSwitched(RegulatorRef ref, bool on, bool succeeded);
    void AutotuneSwitched(RegulatorRef ref, bool on, bool succeeded);

  signals:
    // A regulator button was clicked (1 or 2).
    void regulatorChosen(int number);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildUi();
    QWidget* BuildTable();
    QWidget* BuildSideColumn();
    QWidget* BuildSwitches();
    QWidget* BuildLiveStates();

    TParams* Reg() const { return choice_.Reg(); }
    TDevice* Dev() const { return choice_.Dev(); }
    void SetRegulatorColour(int number);
    void SetRowText(int row);
    void SetValueCellLook(int row, bool grey);
    void UpdateWriteButton();
    void EditMade();
    void UpdateRefreshTimer();
    void ShowLiveStates(bool shown);
    void UpdateSwitchButtons();

    // Handlers.
    void Par_TableItemChanged(QTableWidgetItem* item);
    void Par_TableCellValidate(QTableWidgetItem* item);
    void Par_TableCheckBoxClick(bool checked);
    void ChannelBoxChange(int index);
    void RelayListClickCheck(QListWidget* list);
    void Direction_WorkClick(int id);
    void cb_rSouChange(int index);
    void cb_rPOSChange(int index);
    void WriteKoeffBtn4Click(bool down);
    void OnOffReg_BtnClick(bool down);
    void AutoSetBtnClick(bool on);
    void RefreshTimerTimer();
    void Panel2Resize();
    void RequestSwitch(RegulatorRef ref, bool on);

    TModel& model_;
    TOperations& ops_;
    TSurfaces& surfaces_;
    TRegulatorChoice choice_;  // Reg_1_Btn, Reg_2_Btn
    bool filling_ = false;
    bool refreshEnabled_ = true;
    bool liveShown_ = false;
    bool writeRunning_ = false;
    // Regulators whose switch or autotune worker runs.
    struct Tuning {
        RegulatorRef ref;
        bool on;  // which of the two buttons started it
    };
    std::vector<RegulatorRef> switching_;
    std::vector<Tuning> autotuning_;

    std::vector<Tuning>::iterator FindTuning(RegulatorRef ref);

    QPushButton* Read_sets_Btn1 = nullptr;
    QPushButton* WriteKoeffBtn4 = nullptr;
    TGrid* Par_Table = nullptr;
    QLabel* channelLabel_ = nullptr;
    QComboBox* ChannelBox = nullptr;
    QLabel* relayLabel1_ = nullptr;
    QLabel* relayLabel2_ = nullptr;
    QListWidget* chl_Relay = nullptr;
    QListWidget* chl_Relay2 = nullptr;
    QGroupBox* Direction_Work = nullptr;
    QButtonGroup* directionGroup_ = nullptr;
    QLabel* sourceLabel_ = nullptr;
    QComboBox* cb_rSou = nullptr;
    QComboBox* cb_rPOS = nullptr;
    QPushButton* OnOffReg_Btn = nullptr;
    TStatePicture* OnOffPict = nullptr;
    QGroupBox* autoGroup_ = nullptr;
    QPushButton* AutoSetOn_Btn = nullptr;
    QPushButton* AutoSetOff_Btn = nullptr;
    TStatePicture* AutoOnOFFPict = nullptr;
    QFrame* DiskretPnl = nullptr;
    TStateLamp* chk_R[4] = {};
    TStateLamp* chk_Din[5] = {};
    QTimer* RefreshTimer = nullptr;
};

}  // namespace zorvat
