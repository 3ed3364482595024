// The About box: what the program is, its version, the maker and how to
// reach them.
#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>

class QTimer;

namespace zorvat {

// Where the About box's links lead.
QString MakerWebPage();
QString MakerMail();

// A line of text that moves from right to left, over and over, while shown.
class TScrollLine : public QWidget {
    Q_OBJECT
  public:
    explicit TScrollLine(const QString& text, QWidget* parent = nullptr);
    QString Text() const { return text_; }
    bool IsRunning() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void Step();

    QString text_;
    int offset_ = 0;
    QTimer* timer_ = nullptr;
};

class TForm1 : public QDialog {
    Q_OBJECT
  public:
    explicit TForm1(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    static void OpenLink(const QString& link);
};

}  // namespace zorvat
