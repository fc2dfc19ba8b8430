// Real copies of the program under a real X server: a second copy shows its
// message and ends; the lock of a killed copy does not lock the user out.
#include "tests/support/TestSupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <signal.h>

namespace
{

const QString MainTitle = QStringLiteral("^Kestrel FLV Converter & Watermarker 7$");

// The first visible window of the process whose title matches, or 0.
qulonglong findWindow(qint64 pid, const QString& titlePattern)
{
    QProcess xdotool;
    xdotool.start("xdotool", {"search", "--all", "--onlyvisible", "--pid", QString::number(pid),
                              "--name", titlePattern});
    xdotool.waitForFinished(5000);
    const QList<QByteArray> ids = xdotool.readAllStandardOutput().split('\n');
    return ids.isEmpty() ? 0 : ids.first().trimmed().toULongLong();
}

qulonglong waitForWindow(qint64 pid, const QString& titlePattern, int ms = 20000)
{
    qulonglong id = 0;
    QElapsedTimer timer;
    timer.start();
    while (!(id = findWindow(pid, titlePattern)) && timer.elapsed() < ms)
        QTest::qWait(200);
    return id;
}

} // namespace

class TestInstance : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void secondCopyShowsMessageAndEnds();
    void killedCopyDoesNotLockOut();
    void cleanup();

private:
    QProcess* start();
    QTemporaryDir m_runtime;
    QProcessEnvironment m_env;
    QList<QProcess*> m_started; // killed after each test
};

void TestInstance::initTestCase()
{
    if (qgetenv("DISPLAY").isEmpty())
        QSKIP("needs an X server (run under xvfb-run)");
    QFile::setPermissions(m_runtime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert("XDG_RUNTIME_DIR", m_runtime.path());
    m_env.insert("QT_QPA_PLATFORM", "xcb");
}

QProcess* TestInstance::start()
{
    auto* p = new QProcess(this);
    p->setProcessEnvironment(m_env);
    p->start(TestSupport::BuiltAppFolder() + "/kestrel", {});
    p->waitForStarted();
    m_started << p;
    return p;
}

void TestInstance::cleanup()
{
    for (QProcess* p : m_started) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished();
        }
        delete p;
    }
    m_started.clear();
}

void TestInstance::secondCopyShowsMessageAndEnds()
{
    QProcess* first = start();
    QVERIFY(waitForWindow(first->processId(), MainTitle));

    QProcess* second = start();
    const qulonglong message = waitForWindow(second->processId(), "^Error$");
    QVERIFY2(message, "the second copy showed no message");
    QVERIFY(!findWindow(second->processId(), MainTitle));
    // A typed key (not one sent to the window): the box closes on the key
    // press, so a sent key release would find its window gone.
    QProcess::execute("xdotool",
                      {"windowfocus", "--sync", QString::number(message), "key", "Return"});
    QVERIFY(second->waitForFinished(15000));
    QCOMPARE(second->exitCode(), 1);
    QCOMPARE(first->state(), QProcess::Running);
}

void TestInstance::killedCopyDoesNotLockOut()
{
    QProcess* crashed = start();
    QVERIFY(waitForWindow(crashed->processId(), MainTitle));
    ::kill(pid_t(crashed->processId()), SIGKILL);
    QVERIFY(crashed->waitForFinished());

    QProcess* next = start();
    QVERIFY2(waitForWindow(next->processId(), MainTitle), "a new copy did not start");
    QVERIFY(!findWindow(next->processId(), "^Error$"));
}

QTEST_GUILESS_MAIN(TestInstance)
#include "test_instance.moc"
