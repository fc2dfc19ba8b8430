#pragma once

#include "app/CommonDialog.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <functional>
#include <optional>

class frmMain;

namespace TestSupport
{

// The application folder the build assembled.
QString BuiltAppFolder();

// Gives this test process its own runtime, state and cache folders (single-
// instance lock, short-name links, job logs) and points the program at the
// built application folder.
void IsolateProcess();

// A copy of the built application folder that a test may change.
class AppFolderCopy
{
public:
    AppFolderCopy();
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    void writeFile(const QString& name, const QByteArray& bytes) const;

private:
    QTemporaryDir m_dir;
};

// Records every message and answers with the scripted button codes (then 1).
struct Message {
    QString text;
    int style;
    QString title;
    QString details;
};
class MessageRecorder
{
public:
    MessageRecorder();
    ~MessageRecorder();
    QList<Message> messages;
    QList<int> answers;
};

// Answers file dialogs from a script (nullopt = the user cancels) and
// records each request.
class DialogScript
{
public:
    DialogScript();
    ~DialogScript();
    QList<std::optional<QString>> answers;
    QList<FileDialogRequest> requests;
};

// Records the addresses the program hands to the system.
class LinkRecorder
{
public:
    LinkRecorder();
    ~LinkRecorder();
    QList<QUrl> opened;
};

// The entries of a hostile-input list of tests/corpus (one per line).
QStringList Corpus(const QString& fileName);

// Builds the main window and runs its start-up with a short splash.
void StartWindow(frmMain& window, int splashMs = 10);

} // namespace TestSupport
