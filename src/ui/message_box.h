// Every question and message box of the program, and the file choosers, go
// through these functions, so that tests can answer them.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

namespace zorvat {

enum class MessageKind { Information, Warning, Error, Question };

struct MessageRequest {
    QWidget* parent = nullptr;
    MessageKind kind = MessageKind::Information;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Shows a modal message box and returns the button pressed. A question
// with a "Нет" button and no default button defaults to "Нет".
QMessageBox::StandardButton ShowMessage(const MessageRequest& request);

// Short forms. The title is the program's when empty.
void Inform(QWidget* parent, const QString& text, MessageKind kind = MessageKind::Information,
            const QString& title = {});
QMessageBox::StandardButton Ask(QWidget* parent, const QString& text,
                                QMessageBox::StandardButtons buttons = QMessageBox::Yes |
                                                                       QMessageBox::No,
                                const QString& title = {},
                                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// Folder: a folder to choose (the filter is not used).
enum class FileChoice { Open, Save, Folder };
struct FileRequest {
    QWidget* parent = nullptr;
    FileChoice choice = FileChoice::Open;
    QString caption;
    QString folder;  // where the chooser starts; may name a file
    QString filter;  // "Проекты (*.prj);;Все файлы (*)"
};
// The chosen file's full path, empty when the operator cancelled.
QString ChooseFile(const FileRequest& request);

// Tests: answer messages and file choosers without showing anything. An
// empty function puts the real dialogs back. Returns the previous handler.
using MessageHandler = std::function<QMessageBox::StandardButton(const MessageRequest&)>;
using FileHandler = std::function<QString(const FileRequest&)>;
MessageHandler SetMessageHandler(MessageHandler handler);
FileHandler SetFileHandler(FileHandler handler);

// Shows a folder in the desktop's file manager; tests put a handler of
// their own in its place. Returns the previous handler.
void ShowFolder(const QString& folder);
using FolderHandler = std::function<void(const QString&)>;
FolderHandler SetFolderHandler(FolderHandler handler);

// The program's title for message boxes.
QString ProgramTitle();

}  // namespace zorvat
