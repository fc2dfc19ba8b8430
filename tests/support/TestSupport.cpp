#include "tests/support/TestSupport.h"

#include "app/LinkStyle.h"
#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "app/frmSplash.h"
#include "common/AppPaths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTest>

namespace TestSupport
{

QString BuiltAppFolder()
{
    return QStringLiteral(KESTREL_TEST_APP_DIR);
}

void IsolateProcess()
{
    static QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    // Job logs and caches stay out of the user's folders.
    static QTemporaryDir state, cache;
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
    AppPaths::SetAppFolder(BuiltAppFolder());
}

AppFolderCopy::AppFolderCopy()
{
    QDirIterator it(BuiltAppFolder(), QDir::Files | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString relative = QDir(BuiltAppFolder()).relativeFilePath(source);
        QDir().mkpath(QFileInfo(m_dir.filePath(relative)).path());
        QFile::copy(source, m_dir.filePath(relative));
    }
}

void AppFolderCopy::writeFile(const QString& name, const QByteArray& bytes) const
{
    QFile f(file(name));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

MessageRecorder::MessageRecorder()
{
    SetMsgBoxHandler(
        [this](const QString& text, int style, const QString& title, const QString& details) {
            messages.append({text, style, title, details});
            return answers.isEmpty() ? 1 : answers.takeFirst();
        });
}

MessageRecorder::~MessageRecorder()
{
    SetMsgBoxHandler({});
}

DialogScript::DialogScript()
{
    CommonDialog::SetBackend([this](const FileDialogRequest& request) -> std::optional<QString> {
        requests.append(request);
        return answers.isEmpty() ? std::nullopt : answers.takeFirst();
    });
}

DialogScript::~DialogScript()
{
    CommonDialog::SetBackend({});
}

LinkRecorder::LinkRecorder()
{
    SetLinkOpener([this](const QUrl& url) { opened.append(url); });
}

LinkRecorder::~LinkRecorder()
{
    SetLinkOpener({});
}

QStringList Corpus(const QString& fileName)
{
    QFile file(QStringLiteral(KESTREL_TEST_SOURCE_DIR "/tests/corpus/") + fileName);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test corpus %s", qPrintable(fileName));
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

void StartWindow(frmMain& window, int splashMs)
{
    frmSplash::TimerInterval() = splashMs;
    window.Form_Load();
}

} // namespace TestSupport
