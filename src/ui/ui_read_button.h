// The read buttons of the page "Связь" and of the page "Параметры": one
// place for their two forms.
#pragma once

#include <QAbstractButton>
#include <QSignalBlocker>
#include <QString>

namespace zorvat {

enum class ReadScope { One, All };

// Up with its caption while no read runs; down with "Остановить чтение"
// while its read runs. The underlined letter gives the button its Alt key.
inline void ShowReadForm(QAbstractButton* button, bool running, ReadScope scope = ReadScope::One) {
    const QSignalBlocker quiet(button);
    button->setChecked(running);
    if (running) {
        button->setText(QStringLiteral("Остановить &чтение"));
    } else {
        button->setText(scope == ReadScope::All
                            ? QStringLiteral("Прочитать параметры &всех приборов")
                            : QStringLiteral("Прочитать параметры из п&рибора"));
    }
}

}  // namespace zorvat
