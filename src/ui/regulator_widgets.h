// Small indicators of the regulator page: the live relay and input lamps and
// the two state pictures (regulator on/off, autotuning on/off).
#pragma once

#include <QLabel>
#include <QPixmap>
#include <QWidget>

namespace zorvat {

// A numbered lamp: green while its relay or input is clear, red while set.
class TStateLamp : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool active READ Active WRITE SetActive)
  public:
    TStateLamp(const QString& text, QWidget* parent = nullptr);
    bool Active() const { return active_; }
    void SetActive(bool active);
    QColor Color() const;
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString text_;
    bool active_ = false;
};

// A picture with an "on" and an "off" image.
class TStatePicture : public QLabel {
    Q_OBJECT
    Q_PROPERTY(bool on READ On WRITE SetOn)
  public:
    enum class Kind { Regulator, Autotune };
    TStatePicture(Kind kind, QWidget* parent = nullptr);
    bool On() const { return on_; }
    void SetOn(bool on);

  private:
    QPixmap onImage_, offImage_;
    bool on_ = false;
};

// The images themselves, drawn at `size` pixels.
QPixmap RegulatorStateImage(bool on, int size);
QPixmap AutotuneStateImage(bool on, int size);

}  // namespace zorvat
