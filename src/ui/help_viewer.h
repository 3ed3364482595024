// The program's manual: an HTML file shown in a window of its own, beside
// the main window, with back, forward and contents buttons.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <QUrl>

class QTextBrowser;
class QToolButton;

namespace zorvat {

// The manual's file name.
QString HelpFileName();

// Where the manual is looked for, in order: the folder named by the
// environment variable ZORVAT_HELP_DIR, the program's folder, its "help"
// subfolder, the executable's folder and its "help" subfolder.
QStringList HelpFileCandidates(const QString& programDir);

// The first candidate that exists; empty when none does.
QString FindHelpFile(const QString& programDir);

class THelpViewer : public QDialog {
    Q_OBJECT
  public:
    explicit THelpViewer(QWidget* parent = nullptr);

    // Opens `file` at its contents.
    void OpenAtContents(const QString& file);
    QTextBrowser* Browser() const { return browser_; }

  private:
    void UpdateTitle();

    QTextBrowser* browser_ = nullptr;
    QToolButton* backBtn_ = nullptr;
    QToolButton* forwardBtn_ = nullptr;
};

// Shows the manual at its contents in the viewer owned by `parent` (made on
// the first call, reused after), without blocking. When the file is found
// nowhere, says so.
void OpenHelp(QWidget* parent, const QString& programDir);

}  // namespace zorvat
