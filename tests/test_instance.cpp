// Copies of the program, and the window's player, under a real X server.
#include "app/frmProgress.h"
#include "tests/support/FakeRunner.h"
#include "tests/support/TestSupport.h"

#include <QtQuick>
#include <signal.h>

const QString MainTitle = "^Kestrel FLV Converter & Watermarker 7$";

// The first visible window of the copy whose title matches, waiting up to ms; 0 if there is none.
static qulonglong FindWindow(const QProcess& copy, const QString& title, int ms = 0)
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

class TestInstance : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (qgetenv("DISPLAY").isEmpty())
            QSKIP("needs an X server (run under xvfb-run)");
        TestSupport::IsolateProcess();
    }
    void secondCopyThenKilledCopy();
    void openWithThenPlayer();
};

// A second copy says so and ends; a killed one's lock keeps nobody out; bad arguments need no X.
void TestInstance::secondCopyThenKilledCopy()
{
    QProcess first, second, next, openWith; // a copy still running when the test ends is killed
    for (QProcess* copy : {&first, &second, &next, &openWith})
        copy->setProgram(TestSupport::BuiltAppFolder() + "/kestrel");
    first.start();
    QVERIFY(FindWindow(first, MainTitle, 20000));

    second.start();
    const qulonglong message = FindWindow(second, "^Error$", 20000);
    QVERIFY2(message, "the second copy showed no message");
    QVERIFY(!FindWindow(second, MainTitle));
    // A typed key: the box closes on the press, so a key release sent to it would find it gone.
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
    // It listens where the killed copy did, and says what it cannot take.
    openWith.setArguments({"missing.avi"});
    openWith.start();
    QVERIFY(openWith.waitForFinished(15000));
    QCOMPARE(openWith.exitCode(), 0);
    QVERIFY(FindWindow(next, "^Error$", 20000));
    // Bad arguments are refused before a display is needed; Qt's own pass.
    const ToolTest::Run bogus =
        ToolTest::run("env", {"-u", "DISPLAY", openWith.program(), "--bogus"});
    QVERIFY(bogus.code == 2 && bogus.err.contains("\nUsage: kestrel"));
    QCOMPARE(QProcess::execute(
                 "env", {"-u", "DISPLAY", openWith.program(), "-style", "fusion", "--version"}),
             0);
}

// Files given to a later copy reach the running window, which comes to the front and takes them as
// a drop, or once a running job ends; a copy without files only says the program is open.
void TestInstance::openWithThenPlayer()
{
    FakeTools tools;
    SetToolRunnerFactory([&](QObject*) { return new FakeRunner(tools); });
    TestSupport::Window win;
    QTemporaryDir dir;
    for (const char* name : {"clip.avi", "other.avi"})
        QVERIFY(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
    auto openWith = [&](const QStringList& files) {
        return ToolTest::run(TestSupport::BuiltAppFolder() + "/kestrel", files, {}, dir.path())
                   .code == 0;
    };
    win.messages.answers = {vbNo};
    QVERIFY(openWith({"clip.avi", "other.avi"})); // No to the batch: the first counts
    QTRY_COMPARE(win.ui()->lblInput->text(), dir.filePath("clip.avi"));
    frmMain second; // a copy in this process: it has no file to hand over
    TestSupport::StartWindow(second);
    QCOMPARE(win.messages.texts(),
             (QStringList{"CONVERT ALL 2 VIDEOS WITH THESE SETTINGS?|36|Confirm",
                          "THIS SOFTWARE IS ALREADY OPEN!|16|Error"}));
    QCOMPARE(second.ui()->cmbVideoWindow->count(), 0); // start-up stopped before the lists
    tools.script = {"hang"};
    win.ui()->cmdConvert->click();
    QWidget other; // the window the user works in
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(openWith({"other.avi"}));
    QTRY_VERIFY(win.w.isActiveWindow());
    QCOMPARE(win.ui()->lblInput->text(), dir.filePath("clip.avi"));
    win.w.ProgressWindow()->findChild<QPushButton*>("cmdCancel")->click();
    QTRY_COMPARE(win.ui()->lblInput->text(), dir.filePath("other.avi"));

    // The player's own view keeps the window's native window; keys typed in it reach the window.
    win.messages.messages.clear();
    win.w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&win.w));
    const WId before = win.w.winId();
    win.ui()->sstThis->setCurrentWidget(win.ui()->tabPlay);
    QTRY_VERIFY(win.ui()->swfControl->MovieItem());
    QCOMPARE(win.w.winId(), before);
    win.ui()->swfControl->setFocus();
    QTRY_VERIFY(QGuiApplication::focusWindow() == win.ui()->swfControl->View());
    win.messages.answers = {vbNo};
    for (const char* key : {"F1", "alt+x", "Tab"})
        QProcess::execute("xdotool", {"key", key});
    QTRY_COMPARE(win.links.opened.size(), 1); // the help page
    QTRY_COMPARE(win.messages.texts(), QStringList{"EXIT KESTREL FLV CONVERTER?|36|Confirm"});
    QTRY_VERIFY(QApplication::focusWidget() && QApplication::focusWidget() != win.ui()->swfControl);
    const QPoint centre = win.ui()->swfControl->mapToGlobal(QPoint(200, 150));
    for (int step : {0, 3})
        QProcess::execute("xdotool", {"mousemove", QString::number(centre.x() + step),
                                      QString::number(centre.y())});
    QTRY_COMPARE(QToolTip::text(), win.ui()->swfControl->toolTip());
}

QTEST_MAIN(TestInstance)
#include "test_instance.moc"
