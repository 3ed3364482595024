#include "regulator_choice.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QPushButton>

#include "model.h"
#include "regulator_grid.h"

namespace zorvat {

TRegulatorChoice::TRegulatorChoice(TModel& model, QWidget* page, const QString& name1,
                                   const QString& name2, std::function<void(int)> clicked)
    : model_(model), clicked_(std::move(clicked)) {
    const QString captions[2] = {Text("Регулятор 1 "), Text("Регулятор 2")};
    const QString names[2] = {name1, name2};
    auto* group = new QButtonGroup(page);
    group->setExclusive(true);
    for (int i = 0; i < 2; ++i) {
        const int number = i + 1;
        auto* b = new QPushButton(captions[i], page);
        b->setObjectName(names[i]);
        b->setCheckable(true);
        b->setMinimumWidth(110);
        QFont f = b->font();
        f.setBold(true);
        b->setFont(f);
        SetTextColour(b, RegulatorColor(number));
        group->addButton(b, number);
        QObject::connect(b, &QPushButton::clicked, page, [this, number] {
            // The main window decides what is shown and calls ShowRegulator.
            PressShown();
            clicked_(number);
        });
        buttons_[i] = b;
    }
}

void TRegulatorChoice::AddButtons(QBoxLayout* row) const {
    for (QPushButton* b : buttons_)
        row->addWidget(b);
}

void TRegulatorChoice::SetRegulator2Visible(bool visible) {
    buttons_[1]->setVisible(visible);
}

int TRegulatorChoice::Number() const {
    return shown_ && shown_->regulator == 2 ? 2 : 1;
}

TParams* TRegulatorChoice::Reg() const {
    return shown_ ? model_.Regulator(shown_->device, shown_->regulator) : nullptr;
}

TDevice* TRegulatorChoice::Dev() const {
    return shown_ ? model_.Device(shown_->device) : nullptr;
}

void TRegulatorChoice::Show(RegulatorRef ref) {
    shown_ = ref;
    PressShown();
}

void TRegulatorChoice::Clear() {
    shown_.reset();
    PressShown();
}

void TRegulatorChoice::PressShown() {
    buttons_[Number() - 1]->setChecked(true);
}

}  // namespace zorvat
