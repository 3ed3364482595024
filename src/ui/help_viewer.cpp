#include "help_viewer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPointer>
#include <QShortcut>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

#include "message_box.h"

namespace zorvat {

namespace {

constexpr const char* kContentsAnchor = "contents";

QToolButton* ToolButton(QWidget* parent, const QString& text, const QString& tip,
                        QStyle::StandardPixmap icon, const QString& name) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setToolTip(tip);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    return button;
}

}  // namespace

QString HelpFileName() {
    return QStringLiteral("ZORVAT-7x.html");
}

QStringList HelpFileCandidates(const QString& programDir) {
    QStringList folders;
    const QString fromEnvironment = qEnvironmentVariable("ZORVAT_HELP_DIR");
    if (!fromEnvironment.isEmpty()) folders << fromEnvironment;
    if (!programDir.isEmpty()) folders << programDir << QDir(programDir).filePath("help");
    const QString exeDir = QCoreApplication::applicationDirPath();
    if (!exeDir.isEmpty()) {
        folders << exeDir << QDir(exeDir).filePath("help");
        // Installed: bin/zorvat7x and share/zorvat7x/ZORVAT-7x.html.
        folders << QDir(exeDir).filePath("../share/zorvat7x");
    }
    QStringList files;
    for (const QString& folder : folders) {
        const QString file = QDir::cleanPath(QDir(folder).filePath(HelpFileName()));
        if (!files.contains(file)) files << file;
    }
    return files;
}

QString FindHelpFile(const QString& programDir) {
    for (const QString& file : HelpFileCandidates(programDir)) {
        if (QFileInfo(file).isFile()) return file;
    }
    return {};
}

THelpViewer::THelpViewer(QWidget* parent) : QDialog(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QStringLiteral("Справка"));
    setModal(false);
    resize(920, 680);

    backBtn_ = ToolButton(this, QStringLiteral("Назад"), QStringLiteral("Назад (Alt+Влево)"),
                          QStyle::SP_ArrowBack, QStringLiteral("HelpBackBtn"));
    forwardBtn_ = ToolButton(this, QStringLiteral("Вперёд"), QStringLiteral("Вперёд (Alt+Вправо)"),
                             QStyle::SP_ArrowForward, QStringLiteral("HelpForwardBtn"));
    auto* homeBtn =
        ToolButton(this, QStringLiteral("Содержание"), QStringLiteral("К содержанию (Alt+Home)"),
                   QStyle::SP_DirHomeIcon, QStringLiteral("HelpHomeBtn"));
    auto* closeBtn = ToolButton(this, QStringLiteral("Закрыть"), QStringLiteral("Закрыть справку"),
                                QStyle::SP_DialogCloseButton, QStringLiteral("HelpCloseBtn"));

    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    browser_->setOpenExternalLinks(true);
    browser_->setOpenLinks(true);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(6, 4, 6, 2);
    bar->addWidget(backBtn_);
    bar->addWidget(forwardBtn_);
    bar->addWidget(homeBtn);
    bar->addStretch(1);
    bar->addWidget(closeBtn);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(bar);
    layout->addWidget(browser_, 1);

    backBtn_->setEnabled(false);
    forwardBtn_->setEnabled(false);
    connect(backBtn_, &QToolButton::clicked, browser_, &QTextBrowser::backward);
    connect(forwardBtn_, &QToolButton::clicked, browser_, &QTextBrowser::forward);
    connect(homeBtn, &QToolButton::clicked, browser_, &QTextBrowser::home);
    connect(closeBtn, &QToolButton::clicked, this, &QDialog::close);
    connect(browser_, &QTextBrowser::backwardAvailable, backBtn_, &QToolButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forwardBtn_, &QToolButton::setEnabled);
    connect(browser_, &QTextBrowser::sourceChanged, this, &THelpViewer::UpdateTitle);

    connect(new QShortcut(QKeySequence::Back, this), &QShortcut::activated, browser_,
            &QTextBrowser::backward);
    connect(new QShortcut(QKeySequence::Forward, this), &QShortcut::activated, browser_,
            &QTextBrowser::forward);
    connect(new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Home), this), &QShortcut::activated,
            browser_, &QTextBrowser::home);
}

void THelpViewer::OpenAtContents(const QString& file) {
    QUrl url = QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath());
    url.setFragment(QString::fromLatin1(kContentsAnchor));
    browser_->setSearchPaths({QFileInfo(file).absolutePath()});
    browser_->clearHistory();
    browser_->setSource(url);
    UpdateTitle();
}

void THelpViewer::UpdateTitle() {
    const QString title = browser_->documentTitle();
    setWindowTitle(title.isEmpty() ? QStringLiteral("Справка")
                                   : QStringLiteral("Справка — ") + title);
}

void OpenHelp(QWidget* parent, const QString& programDir) {
    const QString file = FindHelpFile(programDir);
    if (file.isEmpty()) {
        const QString expected =
            programDir.isEmpty()
                ? QDir(QCoreApplication::applicationDirPath()).filePath(HelpFileName())
                : QDir(programDir).filePath(HelpFileName());
        Inform(parent,
               QStringLiteral("Файл справки не найден: ") + QDir::toNativeSeparators(expected),
               MessageKind::Warning);
        return;
    }
    // One viewer per owner; a viewer without an owner deletes itself when
    // it is closed.
    static QPointer<THelpViewer> ownerless;
    THelpViewer* viewer = nullptr;
    if (parent != nullptr) {
        viewer = parent->findChild<THelpViewer*>(QString(), Qt::FindDirectChildrenOnly);
    } else {
        viewer = ownerless;
    }
    if (viewer == nullptr) {
        viewer = new THelpViewer(parent);
        if (parent == nullptr) {
            viewer->setAttribute(Qt::WA_DeleteOnClose);
            ownerless = viewer;
        }
    }
    viewer->OpenAtContents(file);
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

}  // namespace zorvat
