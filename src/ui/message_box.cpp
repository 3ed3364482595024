#include "message_box.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>
#include <utility>

namespace zorvat {
namespace {

MessageHandler& messageHandler() {
    static MessageHandler handler;
    return handler;
}
FileHandler& fileHandler() {
    static FileHandler handler;
    return handler;
}
FolderHandler& folderHandler() {
    static FolderHandler handler;
    return handler;
}

QMessageBox::Icon IconOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::Information:
            return QMessageBox::Information;
        case MessageKind::Warning:
            return QMessageBox::Warning;
        case MessageKind::Error:
            return QMessageBox::Critical;
        case MessageKind::Question:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

QString ProgramTitle() {
    return QStringLiteral("Настройка приборов ЗОРВАТ-7X");
}

QMessageBox::StandardButton ShowMessage(const MessageRequest& asked) {
    // A question answers Enter with "Нет" unless it says otherwise: Enter
    // never starts anything on an instrument, nor closes the program.
    MessageRequest request = asked;
    if (request.defaultButton == QMessageBox::NoButton && request.buttons.testFlag(QMessageBox::No))
        request.defaultButton = QMessageBox::No;
    if (messageHandler()) return messageHandler()(request);
    QMessageBox box(IconOf(request.kind), request.title.isEmpty() ? ProgramTitle() : request.title,
                    request.text, request.buttons, request.parent);
    if (request.defaultButton != QMessageBox::NoButton) box.setDefaultButton(request.defaultButton);
    // Russian captions on the standard buttons, whatever the system's language.
    const std::pair<QMessageBox::StandardButton, const char*> captions[] = {
        {QMessageBox::Yes, "Да"},          {QMessageBox::No, "Нет"},
        {QMessageBox::Ok, "OK"},           {QMessageBox::Cancel, "Отмена"},
        {QMessageBox::Retry, "Повторить"}, {QMessageBox::Ignore, "Пропустить"},
        {QMessageBox::Save, "Сохранить"},  {QMessageBox::Discard, "Не сохранять"}};
    for (const auto& [button, caption] : captions) {
        if (QAbstractButton* b = box.button(button)) b->setText(QString::fromUtf8(caption));
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void Inform(QWidget* parent, const QString& text, MessageKind kind, const QString& title) {
    ShowMessage({parent, kind, title, text, QMessageBox::Ok, QMessageBox::Ok});
}

QMessageBox::StandardButton Ask(QWidget* parent, const QString& text,
                                QMessageBox::StandardButtons buttons, const QString& title,
                                QMessageBox::StandardButton defaultButton) {
    return ShowMessage({parent, MessageKind::Question, title, text, buttons, defaultButton});
}

QString ChooseFile(const FileRequest& request) {
    if (fileHandler()) return fileHandler()(request);
    // Qt's own dialog, not the desktop's: the desktop's speaks the system's
    // language, Qt's speaks Russian like the rest of the window.
    const QFileDialog::Options native = QFileDialog::DontUseNativeDialog;
    if (request.choice == FileChoice::Folder) {
        return QFileDialog::getExistingDirectory(request.parent, request.caption, request.folder,
                                                 native | QFileDialog::ShowDirsOnly);
    }
    if (request.choice == FileChoice::Open) {
        return QFileDialog::getOpenFileName(request.parent, request.caption, request.folder,
                                            request.filter, nullptr, native);
    }
    return QFileDialog::getSaveFileName(request.parent, request.caption, request.folder,
                                        request.filter, nullptr, native);
}

MessageHandler SetMessageHandler(MessageHandler handler) {
    return std::exchange(messageHandler(), std::move(handler));
}
FileHandler SetFileHandler(FileHandler handler) {
    return std::exchange(fileHandler(), std::move(handler));
}

void ShowFolder(const QString& folder) {
    if (folderHandler()) {
        folderHandler()(folder);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}
FolderHandler SetFolderHandler(FolderHandler handler) {
    return std::exchange(folderHandler(), std::move(handler));
}

}  // namespace zorvat
