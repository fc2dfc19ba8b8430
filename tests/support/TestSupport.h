#pragma once

#include "app/CommonDialog.h"
#include "app/LinkStyle.h"
#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "tests/support/ToolTest.h"
#include "ui_frmMain.h"

#include <QtTest> // and QtCore
#include <QtWidgets>
#include <optional>

namespace TestSupport
{

inline const auto BuiltAppFolder = [] { return QString(KESTREL_TEST_APP_DIR); };

// Own temporary runtime, state, cache and configuration folders; the built application folder.
void IsolateProcess();

inline void WriteFile(const QString& path, const QByteArray& b)
{
    QVERIFY(ToolTest::writeFile(path, b));
}
inline const auto ReadFile = ToolTest::readAll; // empty when it cannot be read

// A copy of the built application folder that a test may change.
class AppFolderCopy
{
public:
    AppFolderCopy();
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    void writeFile(const QString& name, const QByteArray& b) const { WriteFile(file(name), b); }

private:
    QTemporaryDir m_dir;
};

// Records every message and answers with the scripted button codes (then 1).
struct Message {
    QString text, title, details;
    int style;
};
struct MessageRecorder {
    MessageRecorder();
    ~MessageRecorder() { SetMsgBoxHandler({}); }
    QStringList texts() const; // "text|style|title" each
    QList<Message> messages;
    QList<int> answers;
};

// Answers file dialogs from a script (nullopt: a cancel), recording each request.
struct DialogScript {
    DialogScript();
    ~DialogScript() { CommonDialog::SetBackend({}); }
    QList<std::optional<QString>> answers;
    QList<FileDialogRequest> requests;
};

// Records the addresses the program hands to the system.
struct LinkRecorder {
    LinkRecorder()
    {
        SetLinkOpener([this](const QUrl& url) { opened.append(url); });
    }
    ~LinkRecorder() { SetLinkOpener({}); }
    QList<QUrl> opened;
};

// What a program printed, or nothing (and its errors as a warning) when it did not end well.
std::optional<QString> Run(const QString& program, const QStringList& args);

inline const auto Corpus = ToolTest::corpus; // a hostile-input list of tests/corpus, one a line

void StartWindow(frmMain& window, int splashMs = 10); // start-up with a short splash

// A started main window whose messages, dialogs and links are recorded.
struct Window {
    MessageRecorder messages;
    DialogScript dialogs;
    LinkRecorder links;
    frmMain w;
    Window() { StartWindow(w); }
    Ui::frmMain* ui() const { return w.ui(); }
};

// Each note: a step, the messages, dialogs, addresses since the last, and every control changed.
class Transcript
{
public:
    explicit Transcript(Window& win) : m_win(win) { m_controls = Controls(); }
    void note(const QString& step);
    QString text;

private:
    QStringList Controls() const;
    Window& m_win;
    QStringList m_controls;
    QString m_lastDialog;
    qsizetype m_messages = 0, m_dialogs = 0, m_links = 0;
};

// The controls real Tab presses visit once round from the focus ("then X": a round not back).
QStringList TabCycle(QWidget* window);

QColor CaptionColor(QWidget* frame);

// Frame and menus, then each named control: class, place, state, tooltip, Tab place, key, look.
QString DescribeWindow(QWidget* window);

// Compares text with tests/golden/NAME (KESTREL_UPDATE_GOLDEN=1: rewrites the file instead).
void CompareGolden(const QString& name, const QString& text);

// tests/golden/NAME as a table of JSON ["input", "result"] lines (others are comments): a VbError
// gives "error N: description", another exception "refused".
void CompareGoldenTable(const QString& name, const std::function<QString(const QString&)>& call);

} // namespace TestSupport
