// The news tab against a real HTTP server on 127.0.0.1: what is asked for,
// what is shown, failures, the time-out, superseded requests, and the links.
#include "app/frmMain.h"
#include "common/AppPaths.h"
#include "panels/NewsFetcher.h"
#include "tests/support/TestSupport.h"
#include "ui_frmMain.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

using namespace TestSupport;

namespace
{

// A tiny HTTP server. Each request takes the next scripted answer (the last
// one repeats); an answer can be held back until Release, or never given.
class NewsServer : public QObject
{
public:
    struct Answer {
        QByteArray status = "200 OK";
        QByteArray body;
        enum { Now, Held, Never } when = Now;
    };

    NewsServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
    }
    QString Host() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort()); }

    QList<Answer> answers;
    QList<QByteArray> requests; // each request's head

    void Release()
    {
        for (const auto& [socket, answer] : std::as_const(m_held)) {
            if (socket)
                Send(socket, answer);
        }
        m_held.clear();
    }

private:
    void Read(QTcpSocket* socket)
    {
        const QByteArray head = socket->property("head").toByteArray() + socket->readAll();
        socket->setProperty("head", head);
        if (!head.contains("\r\n\r\n") || socket->property("seen").toBool())
            return;
        socket->setProperty("seen", true);
        requests << head.left(head.indexOf("\r\n\r\n") + 2);
        const Answer answer =
            answers.isEmpty() ? Answer{} : answers[std::min(requests.size(), answers.size()) - 1];
        if (answer.when == Answer::Held)
            m_held.append({socket, answer});
        else if (answer.when == Answer::Now)
            Send(socket, answer);
    }

    static void Send(QTcpSocket* socket, const Answer& answer)
    {
        socket->write("HTTP/1.1 " + answer.status + "\r\nContent-Type: text/plain\r\n" +
                      "Content-Length: " + QByteArray::number(answer.body.size()) +
                      "\r\nConnection: close\r\n\r\n" + answer.body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QList<QPair<QPointer<QTcpSocket>, Answer>> m_held;
};

bool Fetching(frmMain& w)
{
    auto* fetcher = w.findChild<NewsFetcher*>();
    return fetcher && fetcher->IsBusy();
}

void UseSite(const QString& host)
{
    qputenv("KESTREL_SITE_HOST", host.toLatin1());
}

} // namespace

class TestNews : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { IsolateProcess(); }
    void cleanup() { qunsetenv("KESTREL_SITE_HOST"); }
    void showsTheAnswer_data();
    void showsTheAnswer();
    void failuresLeaveItBlank_data();
    void failuresLeaveItBlank();
    void tabChanges();
    void clicksOpenTheNewsPage();
};

void TestNews::showsTheAnswer_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("shown");
    const QByteArray twenty = "Kestrel 7.0.2 is out";
    QByteArray long1500;
    for (int i = 0; long1500.size() < 1500; ++i)
        long1500 += "line " + QByteArray::number(i).rightJustified(4, '0') + " of the news. ";
    long1500.truncate(1500);
    QTest::newRow("20 bytes") << QByteArray("200 OK") << twenty << QString(twenty);
    QTest::newRow("1500 bytes, first 1000 kept")
        << QByteArray("200 OK") << long1500 << QString(long1500.left(1000));
    QTest::newRow("404 shows its body")
        << QByteArray("404 Not Found") << QByteArray("<h1>No news here</h1>")
        << "<h1>No news here</h1>";
    QTest::newRow("line breaks") << QByteArray("200 OK") << QByteArray("One\r\nTwo\nThree")
                                 << "One\nTwo\nThree";
    QTest::newRow("8-bit text") << QByteArray("200 OK") << QByteArray("Caf\xc3\xa9 news")
                                << QString::fromUtf8("Caf\xc3\xa9 news");
}

void TestNews::showsTheAnswer()
{
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, shown);
    NewsServer server;
    server.answers = {{status, body}};
    UseSite(server.Host());
    MessageRecorder messages;
    frmMain w;
    StartWindow(w);

    w.ui()->sstThis->setCurrentIndex(2);
    QCOMPARE(w.cursor().shape(), Qt::BusyCursor);
    QTRY_VERIFY_WITH_TIMEOUT(!Fetching(w), 15000);
    QCOMPARE(w.ui()->lblNews->text(), shown);
    QCOMPARE(w.ui()->lblNews->textFormat(), Qt::PlainText);
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
    QVERIFY(messages.messages.isEmpty());

    QCOMPARE(server.requests.size(), 1);
    const QByteArray head = server.requests[0];
    QVERIFY2(head.startsWith("GET /news/news.txt HTTP/1.1\r\n"), head.constData());
    QVERIFY2(head.contains("\r\nUser-Agent: Kestrel News\r\n"), head.constData());
    QVERIFY2(head.contains("\r\nCache-Control: no-cache\r\n"), head.constData());
}

void TestNews::failuresLeaveItBlank_data()
{
    QTest::addColumn<bool>("listening"); // else nothing listens on the port
    QTest::newRow("connection refused") << false;
    QTest::newRow("server never answers, time-out") << true;
}

void TestNews::failuresLeaveItBlank()
{
    QFETCH(bool, listening);
    NewsServer server;
    server.answers = {{"200 OK", "never sent", NewsServer::Answer::Never}};
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    closed.close();
    UseSite(listening ? server.Host() : QStringLiteral("127.0.0.1:%1").arg(closed.serverPort()));
    MessageRecorder messages;
    frmMain w;
    StartWindow(w);
    w.ui()->lblNews->setText("yesterday's news");

    w.ui()->sstThis->setCurrentIndex(2);
    if (listening) {
        // The window keeps working while it waits: its timers run, the user
        // changes tabs and types.
        QTRY_COMPARE(server.requests.size(), 1);
        bool ticked = false;
        QTimer::singleShot(100, [&] { ticked = true; });
        QTRY_VERIFY(ticked);
        w.ui()->sstThis->setCurrentIndex(0);
        QTest::keyClicks(w.ui()->txtWatermark, "still here");
        QCOMPARE(w.ui()->txtWatermark->text(), QString("still here"));
        QVERIFY(Fetching(w));
        QCOMPARE(w.cursor().shape(), Qt::BusyCursor);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!Fetching(w), 20000);
    QCOMPARE(w.ui()->lblNews->text(), QString());
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
    QVERIFY(messages.messages.isEmpty());
}

void TestNews::tabChanges()
{
    NewsServer server;
    server.answers = {{"200 OK", "old news", NewsServer::Answer::Held}, {"200 OK", "new news"}};
    UseSite(server.Host());
    MessageRecorder messages;
    frmMain w;
    StartWindow(w);

    // The other tabs ask nothing.
    w.ui()->sstThis->setCurrentIndex(1);
    w.ui()->sstThis->setCurrentIndex(0);
    QVERIFY(!Fetching(w));
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);

    // Two quick visits: only the second answer shows.
    w.ui()->sstThis->setCurrentIndex(2);
    QTRY_COMPARE(server.requests.size(), 1);
    w.ui()->sstThis->setCurrentIndex(0);
    w.ui()->sstThis->setCurrentIndex(2);
    QTRY_VERIFY_WITH_TIMEOUT(!Fetching(w), 15000);
    QCOMPARE(server.requests.size(), 2);
    QCOMPARE(w.ui()->lblNews->text(), QString("new news"));

    // The first answer comes late (if its connection is still open at all)
    // and changes nothing; nor does leaving the tab.
    server.Release();
    w.ui()->sstThis->setCurrentIndex(1);
    QTest::qWait(300);
    QCOMPARE(w.ui()->lblNews->text(), QString("new news"));
    QCOMPARE(server.requests.size(), 2);
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
    QVERIFY(messages.messages.isEmpty());
}

void TestNews::clicksOpenTheNewsPage()
{
    UseSite(QStringLiteral("127.0.0.1:1")); // nothing listens there
    MessageRecorder messages;
    LinkRecorder links;
    frmMain w;
    StartWindow(w);
    w.ui()->sstThis->setCurrentIndex(2); // no server there: the text stays blank
    QTest::mouseClick(w.ui()->lblNews, Qt::LeftButton, {}, QPoint(300, 200));
    QTest::mouseClick(w.ui()->lblKestrelNews, Qt::LeftButton, {}, QPoint(10, 8));
    QCOMPARE(links.opened,
             (QList<QUrl>{QUrl("http://127.0.0.1:1/news/"), QUrl("http://127.0.0.1:1/news/")}));
    QVERIFY(messages.messages.isEmpty());
}

QTEST_MAIN(TestNews)
#include "test_news.moc"
