// What the desktop hears of a job, from fake services on a private session bus.
#include "panels/DesktopSession.h"
#include "pipeline/StepResult.h"
#include "tests/support/FakeRunner.h"
#include "tests/support/TestSupport.h"

#include <QtDBus>

using namespace TestSupport;
using L = QStringList;

static const QString Pd = "/org/freedesktop/portal/desktop", SS = "/org/freedesktop/ScreenSaver",
                     Nt = "/org/freedesktop/Notifications", G = "GetCapabilities() " + Nt,
                     C = "Close() request", Why = " Converting a video to FLV",
                     P = "Inhibit(sua{sv}) " + Pd + "  8" + Why,
                     S = "Inhibit(ss) %1 " KESTREL_APP_ID + Why,
                     N = "Notify(susssasa{sv}i) " + Nt +
                         " Kestrel FLV Converter & Watermarker 7 0 " KESTREL_APP_ID
                         " Conversion %1 %2  " KESTREL_APP_ID " -1",
                     flv = "clip &amp; &lt;b&gt;.flv\n";

// Owns the three services, notes each call (member, signature, path, arguments) and answers it when
// the setup lists its path, else with an error ("silent": not at all); "plain": takes no markup.
struct FakeDesktop : QDBusVirtualObject {
    L setup, calls;
    QString handle; // the portal's request
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override
    {
        L line{m.member() + '(' + m.signature() + ')', m.path() == handle ? "request" : m.path()};
        for (const QVariant& v : m.arguments()) {
            QVariantMap map = qdbus_cast<QVariantMap>(v);
            if (map.contains("handle_token"))
                handle = Pd + "/request/" + m.service().mid(1).replace('.', '_') + '/' +
                         map.take("handle_token").toString();
            line << (map.isEmpty() ? v.toString() : map.first().toString());
        }
        calls << line.join(' ');
        if (!setup.contains(m.path()) && m.path() != handle)
            return setup.contains("silent") || bus.send(m.createErrorReply(QDBusError::Failed, ""));
        const QVariant reply = m.member() == "GetCapabilities"
                                   ? QVariant(L{setup.contains("plain") ? "body" : "body-markup"})
                               : m.member() != "Inhibit" ? QVariant()
                               : m.path() == Pd ? QVariant::fromValue(QDBusObjectPath(handle))
                                                : QVariant(7u);
        return bus.send(reply.isValid() ? m.createReply(reply) : m.createReply());
    }
};

class TestDesktop : public QObject
{
    Q_OBJECT
    QProcess m_daemon;
    QByteArray m_address;
    FakeDesktop m_fake;
    static L onBus() { return QDBusConnection("fake").interface()->registeredServiceNames(); }

private slots:
    void initTestCase()
    {
        IsolateProcess();
        m_daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        QVERIFY(m_daemon.waitForReadyRead(30000));
        m_address = m_daemon.readLine().trimmed();
        QDBusConnection fake = QDBusConnection::connectToBus(m_address, "fake");
        for (const char* name : {"portal.Desktop", "ScreenSaver", "Notifications"})
            QVERIFY(fake.registerService("org.freedesktop." + QString(name)));
        QVERIFY(fake.registerVirtualObject("/", &m_fake, QDBusConnection::SubPath));
    }
    void cleanupTestCase() { m_daemon.terminate(), m_daemon.waitForFinished(); }

    void init() { m_fake.calls.clear(); }

    void job_data()
    {
        QTest::addColumn<L>("setup");    // the paths that answer, the server, the bus
        QTest::addColumn<L>("messages"); // user here or away, style, text
        QTest::addColumn<L>("calls");
        // No session has been on the bus before these two.
        QTest::newRow("no bus named") << L{Pd, Nt, "="} << L{"a16FAILED!"} << L{};
        QTest::newRow("no bus there") << L{Pd, Nt, "=unix:path=/none"} << L{"a16FAILED!"} << L{};
        QTest::newRow("finished away, after the portal answered")
            << L{Pd, Nt, "wait"} << L{"a64FLV CONVERSION SUCCESSFUL!"}
            << L{G, P, N.arg("finished", flv + "FLV CONVERSION SUCCESSFUL!"), C};
        QTest::newRow("failed here, stills away, plain server")
            << L{Pd, Nt, "plain", "wait"} << L{"h16FAILED!", "a64STILLS!"}
            << L{G, P, N.arg("failed", "clip & <b>.flv\nFAILED!\nSTILLS!"), C};
        QTest::newRow("silent portal, older screen saver")
            << L{"/ScreenSaver", "silent"} << L{}
            << L{G, P, C, S.arg(SS), S.arg("/ScreenSaver"), "UnInhibit(u) /ScreenSaver 7"};
    }
    // A job told through the slots, ending at once unless it waits for the inhibition.
    void job()
    {
        QFETCH(L, setup);
        QFETCH(L, messages);
        QFETCH(L, calls);
        m_fake.setup = setup;
        qputenv("DBUS_SESSION_BUS_ADDRESS",
                setup.filter("=").value(0, "=" + QString(m_address)).mid(1).toUtf8());
        const L before = onBus();
        QTest::failOnWarning(QRegularExpression("."));
        bool here = true;
        DesktopSession session([&here] { return here; });
        session.SetTimeout(setup.contains("silent") ? 1000 : 30000);
        session.JobStarted("clip & <b>.flv");
        if (setup.contains("wait"))
            QTRY_VERIFY(session.Inhibiting());
        for (const QString& m : messages) {
            here = m.startsWith('h');
            session.JobStepEnded(
                {JobStep::Inject,
                 m[1] == '1' ? StepOutcome::EncodingFailed : StepOutcome::Converted,
                 m.mid(3),
                 {}});
        }
        session.JobEnded();
        QTRY_COMPARE(m_fake.calls, calls);
        QVERIFY(!calls.isEmpty() || onBus() == before);
    }

    // The window keeps off the bus until its first job, then passes on the job's end and messages.
    void windowCancelledBeforeThePortalAnswered()
    {
        m_fake.setup = L{Pd, Nt};
        FakeTools tools;
        SetToolRunnerFactory([&tools](QObject*) { return new FakeRunner(tools); });
        const L before = onBus();
        Window win;
        for (const QString& name : onBus()) // earlier sessions may still be leaving
            QVERIFY(before.contains(name));
        win.w.SetCaption(win.ui()->lblInput, QCoreApplication::applicationFilePath());
        win.w.SetCaption(win.ui()->lblOutDir, QCoreApplication::applicationDirPath() + '/');
        win.ui()->txtOutFile->setText("clip & <b>.flv");
        tools.script = {"hang"};
        win.ui()->cmdConvert->click();
        QTRY_VERIFY(tools.last);
        QApplication::setActiveWindow(nullptr);
        emit tools.last->Finished({ToolOutcome::Exited, 0x8000000F, 0, true});
        QTRY_COMPARE(m_fake.calls, (L{G, P, N.arg("cancelled", flv + "CONVERSION CANCELLED!"), C}));

        // A batch is heard of once, at its end: the folder, then each video's outcome.
        m_fake.calls.clear();
        QTemporaryDir dir;
        const L videos{dir.filePath("a.avi"), dir.filePath("b.avi")};
        for (const QString& video : videos)
            QVERIFY(QFile(video).open(QIODevice::WriteOnly));
        win.w.SetCaption(win.ui()->lblOutDir, dir.path() + '/');
        win.messages.answers = {vbYes};
        win.w.TakeFilesFromCommandLine(videos);
        QTRY_COMPARE(win.messages.messages.size(), 3);
        const QString done = ": FLV CONVERSION SUCCESSFUL!",
                      body = "/\n2 OF 2 VIDEOS CONVERTED.\n\na.avi" + done + "\nb.avi" + done;
        QTRY_COMPARE(m_fake.calls, (L{P, N.arg("finished", dir.path() + body), C}));
        SetToolRunnerFactory({});
    }
};

QTEST_MAIN(TestDesktop)
#include "test_desktop.moc"
