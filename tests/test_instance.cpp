// Real copies of the program under a real X server: a second copy shows its
// message and ends; the lock of a killed copy does not lock the user out.
#include "tests/support/TestSupport.h"

#include <QProcess>
#include <QTest>
#include <signal.h>

namespace
{

const QString MainTitle = "^Kestrel FLV Converter & Watermarker 7$";

// The first visible window of the process whose title matches, waiting up to
// ms for it; 0 when there is none.
qulonglong FindWindow(const QProcess& copy, const QString& title, int ms = 0)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        QProcess xdotool;
        xdotool.start("xdotool", {"search", "--all", "--onlyvisible", "--pid",
                                  QString::number(copy.processId()), "--name", title});
        xdotool.waitForFinished(5000);
        const qulonglong id = xdotool.readAllStandardOutput().split('\n').first().toULongLong();
        if (id || timer.elapsed() >= ms)
            return id;
        QTest::qWait(200);
    }
}

} // namespace

class TestInstance : public QObject
{
    Q_OBJECT
private slots:
    void secondCopyThenKilledCopy();
};

void TestInstance::secondCopyThenKilledCopy()
{
    if (qgetenv("DISPLAY").isEmpty())
        QSKIP("needs an X server (run under xvfb-run)");
    TestSupport::IsolateProcess();
    QProcess first, second, next; // a copy still running when the test ends is killed
    for (QProcess* copy : {&first, &second, &next})
        copy->setProgram(TestSupport::BuiltAppFolder() + "/kestrel");
    first.start();
    QVERIFY(FindWindow(first, MainTitle, 20000));

    second.start();
    const qulonglong message = FindWindow(second, "^Error$", 20000);
    QVERIFY2(message, "the second copy showed no message");
    QVERIFY(!FindWindow(second, MainTitle));
    // A typed key (not one sent to the window): the box closes on the key
    // press, so a sent key release would find its window gone.
    QProcess::execute("xdotool",
                      {"windowfocus", "--sync", QString::number(message), "key", "Return"});
    QVERIFY(second.waitForFinished(15000));
    QCOMPARE(second.exitCode(), 1);
    QCOMPARE(first.state(), QProcess::Running);

    ::kill(pid_t(first.processId()), SIGKILL);
    QVERIFY(first.waitForFinished());
    next.start();
    QVERIFY2(FindWindow(next, MainTitle, 20000), "a new copy did not start");
    QVERIFY(!FindWindow(next, "^Error$"));
}

QTEST_GUILESS_MAIN(TestInstance)
#include "test_instance.moc"
