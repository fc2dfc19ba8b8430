// The news tab against a real HTTP server on 127.0.0.1.
#include "panels/NewsFetcher.h"
#include "tests/support/TestSupport.h"

#include <QtNetwork>

using namespace TestSupport;

// The news address's server: each request takes the next scripted answer (the last repeats); one
// without a status is held back until Release.
class NewsServer : public QTcpServer
{
public:
    NewsServer(std::initializer_list<QPair<QByteArray, QByteArray>> script) : answers(script)
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                requests << socket->readAll(); // a request head comes in one piece
                const auto [status, body] = answers[std::min(requests.size(), answers.size()) - 1];
                if (status.isEmpty())
                    held << QPointer(socket);
                else
                    Send(socket, status, body);
            });
        });
        QVERIFY(listen(QHostAddress::LocalHost));
        qputenv("KESTREL_SITE_HOST", Host().toLatin1());
    }
    QString Host() const { return QString("127.0.0.1:%1").arg(serverPort()); }
    void Release()
    {
        for (QTcpSocket* socket : held)
            if (socket)
                Send(socket, "200 OK", "late news");
    }
    static void Send(QTcpSocket* socket, const QByteArray& status, const QByteArray& body)
    {
        socket->write("HTTP/1.1 " + status + "\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QList<QPair<QByteArray, QByteArray>> answers;
    QList<QByteArray> requests;
    QList<QPointer<QTcpSocket>> held;
};

class TestNews : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { IsolateProcess(); }
    void news();
};

// Only the news tab asks, on each visit, and shows the first 1000 bytes of any answer as plain
// text, under the busy pointer meanwhile. A refused connection or a server silent for 10 seconds
// (whatever tab is in front) leaves it blank. Of two quick visits only the later answer shows, even
// when the earlier one comes last. The news and the line below it open the news page.
void TestNews::news()
{
    const QByteArray long1500 = QByteArray(1000, 'a') + QByteArray(500, 'b');
    NewsServer server({{"200 OK", "Kestrel 7.0.2 is <b>out</b>"},
                       {"200 OK", long1500},
                       {"404 Not Found", "No news here"},
                       {"200 OK", "One\r\nTwo\rThree\nFour"},
                       {"200 OK", "Caf\xc3\xa9 news"}});
    Window win;
    const auto fetching = [&] {
        auto* fetcher = win.w.findChild<NewsFetcher*>();
        return fetcher && fetcher->IsBusy();
    };
    const auto showNews = [&] { // the news tab to the front anew
        win.ui()->sstThis->setCurrentIndex(0);
        win.ui()->sstThis->setCurrentIndex(2);
    };
    win.ui()->sstThis->setCurrentIndex(1);
    win.ui()->sstThis->setCurrentIndex(0);
    QVERIFY(!fetching());
    QStringList shown;
    for (int visit = 0; visit < server.answers.size(); ++visit) {
        showNews();
        QCOMPARE(win.w.cursor().shape(), Qt::BusyCursor);
        QTRY_VERIFY_WITH_TIMEOUT(!fetching(), 15000);
        QCOMPARE(win.w.cursor().shape(), Qt::ArrowCursor);
        shown << win.ui()->lblNews->text();
    }
    QCOMPARE(shown, (QStringList{"Kestrel 7.0.2 is <b>out</b>", long1500.left(1000), "No news here",
                                 "One\nTwo\nThree\nFour", "Café news"}));
    QCOMPARE(win.ui()->lblNews->textFormat(), Qt::PlainText);
    // Qt 6.8 writes the header names in lower case, 6.4 as spelt here: both are HTTP.
    const QByteArray request = server.requests[0].toLower();
    QVERIFY2(request.startsWith("get /news/news.txt http/1.1\r\n") &&
                 request.contains("\r\nuser-agent: kestrel news\r\n") &&
                 request.contains("\r\ncache-control: no-cache\r\n"),
             server.requests[0].constData());

    NewsServer closed({{"200 OK", ""}}), silent({{"", ""}});
    const QString refused = closed.Host();
    closed.close();
    for (const QString& host : {refused, silent.Host()}) {
        qputenv("KESTREL_SITE_HOST", host.toLatin1());
        win.ui()->lblNews->setText("yesterday's news");
        showNews();
        win.ui()->sstThis->setCurrentIndex(1);
        QTRY_VERIFY_WITH_TIMEOUT(!fetching(), 20000);
        QCOMPARE(win.ui()->lblNews->text(), QString());
        QCOMPARE(win.w.cursor().shape(), Qt::ArrowCursor);
    }
    QCOMPARE(silent.requests.size(), 1);

    NewsServer late({{"", ""}, {"200 OK", "new news"}});
    showNews();
    QTRY_COMPARE(late.requests.size(), 1);
    showNews();
    QTRY_VERIFY_WITH_TIMEOUT(!fetching(), 15000);
    late.Release();
    QTest::qWait(300);
    QCOMPARE(win.ui()->lblNews->text(), QString("new news"));
    QCOMPARE(late.requests.size(), 2);
    QTest::mouseClick(win.ui()->lblNews, Qt::LeftButton, {}, QPoint(300, 200));
    QTest::mouseClick(win.ui()->lblKestrelNews, Qt::LeftButton, {}, QPoint(10, 8));
    const QUrl page("http://" + late.Host() + "/news/");
    QCOMPARE(win.links.opened, (QList<QUrl>{page, page}));
    QCOMPARE(win.messages.texts(), QStringList());
}

QTEST_MAIN(TestNews)
#include "test_news.moc"
