// The page "Связь": the search range with "Найти приборы" and "Прочитать
// параметры всех приборов", and the panel of the instrument selected, with
// "Проверить связь" and "Прочитать параметры из прибора" (or, while no
// instrument is known, a panel that says so). The main window decides what
// the buttons do and when they are available.
#pragma once

#include <QStringList>
#include <QWidget>
#include <string>
#include <vector>

#include "search.h"

class QComboBox;
class QFrame;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QCheckBox;
class QStackedWidget;
class QGroupBox;
class QLabel;
class QTimer;

namespace zorvat {

class TLinkPage : public QWidget {
    Q_OBJECT

  public:
    explicit TLinkPage(QWidget* parent = nullptr);

    // The range as the fields give it; a range given backwards is shown
    // corrected, as the search corrects it.
    SearchRange Range();
    // The search button's two forms; the range fields are disabled while a
    // search runs.
    void SetSearchForm(bool running);
    bool SearchFormRunning() const { return searching_; }

    void SetMemo(const QStringList& lines);
    void SetMemoLines(const std::vector<std::string>& lines);
    void ClearMemo();
    void ShowNoInstrumentsPanel(bool shown);
    bool NoInstrumentsPanelShown() const;
    // The line statistics of a port (the selected port node), kept current
    // while shown; an empty name hides them.
    void ShowLineStats(const QString& port);
    QString LineStatsPort() const { return statsPort_; }
    QLabel* LineStatsLabel() const { return statsText_; }
    QPushButton* LineStatsResetButton() const { return statsReset_; }

    QPushButton* SearchButton() const { return searchBtn_; }
    QPushButton* ReadAllButton() const { return readAllBtn_; }
    QPushButton* ReadOneButton() const { return readOneBtn_; }
    QPushButton* CheckLinkButton() const { return checkLinkBtn_; }

  private:
    bool searching_ = false;
    QComboBox* comMin_ = nullptr;
    QComboBox* comMax_ = nullptr;
    QSpinBox* minAddr_ = nullptr;
    QSpinBox* maxAddr_ = nullptr;
    QComboBox* baud_ = nullptr;
    QCheckBox* fast_ = nullptr;
    QSpinBox* margin_ = nullptr;
    QPushButton* searchBtn_ = nullptr;
    QPushButton* readAllBtn_ = nullptr;
    QPushButton* readOneBtn_ = nullptr;
    QPushButton* checkLinkBtn_ = nullptr;
    QPlainTextEdit* memo_ = nullptr;
    QWidget* devInfoPanel_ = nullptr;
    QFrame* devInfoHide_ = nullptr;
    QStackedWidget* devInfoStack_ = nullptr;
    QString statsPort_;
    QGroupBox* statsBox_ = nullptr;
    QLabel* statsText_ = nullptr;
    QPushButton* statsReset_ = nullptr;
    QTimer* statsTimer_ = nullptr;
    void RefreshLineStats();
};

}  // namespace zorvat
