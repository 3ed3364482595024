// Which regulator a page shows, with the page's two buttons "Регулятор 1" and
// "Регулятор 2": bold, each in its regulator's colour, the shown one down.
//
// A click does not change what is shown: the shown regulator's button stays
// down and the page hears the number clicked; the main window decides and
// calls the page's ShowRegulator.
#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "surfaces.h"

class QBoxLayout;
class QPushButton;
class QWidget;

namespace zorvat {

class TModel;
class TParams;
class TDevice;

class TRegulatorChoice {
  public:
    // The buttons are children of `page`, named `name1` and `name2`;
    // `clicked` gets the number of the button clicked.
    TRegulatorChoice(TModel& model, QWidget* page, const QString& name1, const QString& name2,
                     std::function<void(int)> clicked);
    TRegulatorChoice(const TRegulatorChoice&) = delete;
    TRegulatorChoice& operator=(const TRegulatorChoice&) = delete;

    // Puts both buttons into the page's top row.
    void AddButtons(QBoxLayout* row) const;
    void SetRegulator2Visible(bool visible);

    std::optional<RegulatorRef> Shown() const { return shown_; }
    // The regulator whose colour the page wears: 2 while regulator 2 is
    // shown, 1 otherwise.
    int Number() const;
    // The shown regulator's record and instrument; nullptr while nothing is
    // shown or the model no longer has them.
    TParams* Reg() const;
    TDevice* Dev() const;

    // Shows `ref`; its button goes down.
    void Show(RegulatorRef ref);
    // Nothing shown; button 1 goes down.
    void Clear();

  private:
    void PressShown();

    TModel& model_;
    std::optional<RegulatorRef> shown_;
    QPushButton* buttons_[2] = {};
    std::function<void(int)> clicked_;
};

}  // namespace zorvat
