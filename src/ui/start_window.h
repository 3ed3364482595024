// The start window: shown for a few seconds while the program starts, it
// names the program and tells the screen resolution. Also the texts and the
// embossed label that the start window and the About box share.
#pragma once

#include <QLabel>
#include <QPixmap>
#include <QString>
#include <QWidget>

namespace zorvat {

// Registers the pictures of the windows. The program calls it once, before
// any window is made.
void InitUiResources();

// The program's document designation and the line with the year of release
// and the maker.
QString ProgramDesignation();
QString ReleaseLine();

// A label whose text looks pressed into the surface: a light edge above and
// to the left, a shadow below and to the right.
class TEmbossLabel : public QLabel {
    Q_OBJECT
  public:
    explicit TEmbossLabel(const QString& text, QWidget* parent = nullptr);
    void SetColours(const QColor& face, const QColor& light, const QColor& shadow);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor face_{40, 48, 60};
    QColor light_{255, 255, 255, 200};
    QColor shadow_{0, 0, 0, 110};
};

class TStartW : public QWidget {
    Q_OBJECT
  public:
    explicit TStartW(QWidget* parent = nullptr);

    // The screen width in pixels; `Screen_lbl` shows the resolution it
    // stands for (empty for widths without a known resolution).
    void SetScreenWidth(int pixels);
    int ScreenWidth() const { return screenWidth_; }

    // The label text for a screen width, and whether closing the window
    // warns that the screen is too small.
    static QString ResolutionText(int pixels);
    static bool WarnsOfResolution(int pixels);

    // Makes a start window, shows and paints it centred on the screen, and
    // closes it after `milliseconds` (or when it is clicked). While it is
    // shown the other windows take no input; on closing it hides, warns of
    // a small screen when due and deletes itself. Returns at once.
    static TStartW* ShowFor(QWidget* parent, int screenWidth, int milliseconds = 4000);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void CentreOnScreen();

    int screenWidth_ = 0;
    bool closing_ = false;
    QPixmap picture_;
    QLabel* Screen_lbl = nullptr;
};

}  // namespace zorvat
