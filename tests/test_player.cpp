// The preview player: the movie's contract with the window (the request for a
// file and the variable that answers it), real playback of an FLV as our
// encoder writes it, files that cannot be played, and a missing movie.
#include "app/FlashPlayer.h"
#include "app/frmMain.h"
#include "common/AppPaths.h"
#include "tests/support/TestSupport.h"
#include "ui_frmMain.h"

#include <QFile>
#include <QMetaMethod>
#include <QProcess>
#include <QQuickItem>
#include <QQuickView>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QVideoFrame>
#include <QVideoSink>
#include <memory>

using namespace TestSupport;

namespace
{

QObject* MoviePart(FlashPlayer* player, const char* name)
{
    return player->MovieItem() ? player->MovieItem()->findChild<QObject*>(name) : nullptr;
}

QString PlayerState(FlashPlayer* player)
{
    return player->MovieItem()->property("playerState").toString();
}

// Counts the changes of the movie's variable, so that "sent once" can be told
// from "sent twice".
std::unique_ptr<QSignalSpy> SpyOnVariable(QQuickItem* movie)
{
    const QMetaProperty variable =
        movie->metaObject()->property(movie->metaObject()->indexOfProperty("varFlvFile"));
    return std::make_unique<QSignalSpy>(movie, variable.notifySignal());
}

} // namespace

class TestPlayer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { AppPaths::SetAppFolder(BuiltAppFolder()); }
    void movieLoadsScaledIntoTheControl();
    void requestOpensTheDialog_data();
    void requestOpensTheDialog();
    void playsAnFlvFromOurEncoder();
    void unplayableFileShowsWhy_data();
    void unplayableFileShowsWhy();
    void brokenMovieLeavesStartupWorking_data();
    void brokenMovieLeavesStartupWorking();

private:
    QTemporaryDir m_files;
    QString m_flv;
};

void TestPlayer::initTestCase()
{
    IsolateProcess();
    // Sorenson video and MP3 audio, as our encoder writes them; a name with
    // a blank and a '#' to try the path's way into the movie.
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    QVERIFY2(!ffmpeg.isEmpty(), "Debian's ffmpeg is needed to make the test video");
    m_flv = m_files.filePath(QStringLiteral("my clip #1.flv"));
    QStringList args = QStringLiteral("-nostdin -loglevel error -f lavfi -i "
                                      "testsrc=size=320x240:rate=25 -f lavfi -i "
                                      "sine=frequency=440:sample_rate=22050 -t 3 -c:v flv1 "
                                      "-b:v 300k -c:a libmp3lame -ar 22050 -ac 1 -b:a 64k")
                           .split(u' ');
    args << m_flv;
    QProcess encode;
    encode.start(ffmpeg, args);
    QVERIFY(encode.waitForFinished(60000));
    QVERIFY2(encode.exitCode() == 0, encode.readAllStandardError().constData());
}

void TestPlayer::movieLoadsScaledIntoTheControl()
{
    MessageRecorder messages;
    frmMain w;
    StartWindow(w);
    w.ui()->sstThis->setCurrentIndex(1);
    FlashPlayer* player = w.ui()->swfControl;
    QCOMPARE(player->Movie(), BuiltAppFolder() + "/kstr_flvp_small.qml");
    QQuickItem* movie = player->MovieItem();
    QVERIFY(movie);
    QCOMPARE(PlayerState(player), QString("empty"));

    // The whole stage shows with its aspect kept, from the top-left corner.
    const QSizeF stage = movie->size();
    for (const QSize size : {QSize(407, 327), QSize(200, 327), QSize(407, 100), QSize(900, 700)}) {
        player->resize(size);
        const QRectF shown = movie->mapRectToScene(QRectF(QPointF(0, 0), stage));
        QCOMPARE(shown.topLeft(), QPointF(0, 0));
        QVERIFY(shown.width() <= size.width() + 0.01 && shown.height() <= size.height() + 0.01);
        QVERIFY(qFuzzyCompare(shown.width(), size.width()) ||
                qFuzzyCompare(shown.height(), size.height()));
        QVERIFY(qFuzzyCompare(shown.width() / shown.height(), stage.width() / stage.height()));
    }
    QVERIFY(messages.messages.isEmpty());
}

void TestPlayer::requestOpensTheDialog_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("byClick"); // the movie's own open button
    QTest::addColumn<bool>("cancel");
    QTest::newRow("open button, file chosen") << "" << true << false;
    QTest::newRow("open button, cancelled") << "" << true << true;
    QTest::newRow("empty command") << "" << false << false;
    QTest::newRow("any other command") << "quit" << false << false;
    QTest::newRow("cancelled") << "open" << false << true;
}

void TestPlayer::requestOpensTheDialog()
{
    QFETCH(QString, command);
    QFETCH(bool, byClick);
    QFETCH(bool, cancel);
    MessageRecorder messages;
    frmMain w;
    StartWindow(w);
    w.ui()->sstThis->setCurrentIndex(1);
    FlashPlayer* player = w.ui()->swfControl;
    QQuickItem* movie = player->MovieItem();
    QVERIFY(movie);
    const std::unique_ptr<QSignalSpy> sent = SpyOnVariable(movie);
    QVERIFY(sent->isValid());
    QSignalSpy requests(player, &FlashPlayer::FSCommand);

    DialogScript dialogs;
    dialogs.answers = {cancel ? std::nullopt : std::optional<QString>(m_flv)};
    if (byClick) {
        auto* button = qobject_cast<QQuickItem*>(MoviePart(player, "openButton"));
        QVERIFY(button);
        const QPointF centre =
            button->mapToScene(QPointF(button->width() / 2, button->height() / 2));
        QTest::mouseClick(player->View(), Qt::LeftButton, {}, centre.toPoint());
    } else {
        QVERIFY(QMetaObject::invokeMethod(movie, "fsCommand", Q_ARG(QString, command),
                                          Q_ARG(QString, QString("x"))));
    }

    QCOMPARE(requests.count(), 1);
    QCOMPARE(dialogs.requests.size(), 1);
    const FileDialogRequest& asked = dialogs.requests[0];
    QCOMPARE(asked.kind, FileDialogRequest::Open);
    QCOMPARE(asked.title, QString("Open FLV File"));
    QCOMPARE(asked.filterEntries, QStringList{"Flash Video Files (*.flv)"});
    QCOMPARE(asked.flags, 4100);
    QCOMPARE(asked.owner, static_cast<QWidget*>(&w));
    if (cancel) {
        QCOMPARE(sent->count(), 0);
        QCOMPARE(movie->property("varFlvFile").toString(), QString());
    } else {
        QCOMPARE(sent->count(), 1);
        QCOMPARE(movie->property("varFlvFile").toString(), m_flv);
    }
    QVERIFY(messages.messages.isEmpty());
}

void TestPlayer::playsAnFlvFromOurEncoder()
{
    MessageRecorder messages;
    frmMain w;
    StartWindow(w);
    w.ui()->sstThis->setCurrentIndex(1);
    FlashPlayer* player = w.ui()->swfControl;
    QObject* media = MoviePart(player, "player");
    QVERIFY(media);

    player->SetVariable("varFlvFile", m_flv);
    QCOMPARE(player->MovieItem()->property("varFlvFile").toString(), m_flv);
    QTRY_COMPARE_WITH_TIMEOUT(PlayerState(player), QString("playing"), 15000);
    const qint64 start = media->property("position").toLongLong();
    QTRY_VERIFY_WITH_TIMEOUT(media->property("position").toLongLong() > start + 200, 15000);
    QVERIFY(media->property("duration").toLongLong() > 2000);
    QCOMPARE(player->MovieItem()->property("errorText").toString(), QString());

    // Pictures reach the video output.
    auto* sink = MoviePart(player, "video")->property("videoSink").value<QVideoSink*>();
    QVERIFY(sink);
    QTRY_VERIFY_WITH_TIMEOUT(sink->videoFrame().isValid(), 10000);
    QCOMPARE(sink->videoFrame().size(), QSize(320, 240));

    // The same file again starts it over rather than being ignored.
    QTRY_VERIFY_WITH_TIMEOUT(media->property("position").toLongLong() > 1000, 15000);
    player->SetVariable("varFlvFile", m_flv);
    QTRY_VERIFY_WITH_TIMEOUT(media->property("position").toLongLong() < 1000, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(PlayerState(player), QString("playing"), 15000);
    QVERIFY(messages.messages.isEmpty());
}

void TestPlayer::unplayableFileShowsWhy_data()
{
    QTest::addColumn<QByteArray>("content"); // "<missing>": no file at all
    QTest::newRow("text file") << QByteArray("These are not the pictures you are looking for.\n");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("truncated header") << QByteArray("FLV\x01\x05", 5);
    QTest::newRow("missing file") << QByteArray("<missing>");
}

void TestPlayer::unplayableFileShowsWhy()
{
    QFETCH(QByteArray, content);
    const QString path = m_files.filePath(QString("bad %1.flv").arg(QTest::currentDataTag()));
    if (content != "<missing>") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    MessageRecorder messages;
    frmMain w;
    StartWindow(w);
    w.ui()->sstThis->setCurrentIndex(1);
    FlashPlayer* player = w.ui()->swfControl;
    QVERIFY(player->MovieItem());

    player->SetVariable("varFlvFile", path);
    QTRY_COMPARE_WITH_TIMEOUT(PlayerState(player), QString("error"), 15000);
    const QString why = player->MovieItem()->property("errorText").toString();
    QVERIFY(!why.isEmpty());
    // The reason is on the picture, not in a message box.
    auto* message = MoviePart(player, "message");
    QVERIFY(message && message->property("visible").toBool());
    QCOMPARE(message->property("text").toString(), why);
    QVERIFY(messages.messages.isEmpty());

    // A good file afterwards plays.
    player->SetVariable("varFlvFile", m_flv);
    QTRY_COMPARE_WITH_TIMEOUT(PlayerState(player), QString("playing"), 15000);
    QVERIFY(!message->property("visible").toBool());
}

void TestPlayer::brokenMovieLeavesStartupWorking_data()
{
    QTest::addColumn<QByteArray>("content"); // "<missing>" removes it
    QTest::addColumn<QString>("note");
    QTest::newRow("missing") << QByteArray("<missing>") << "player movie .* is missing";
    QTest::newRow("not QML") << QByteArray("<swf/>") << "player movie .* cannot be run";
}

void TestPlayer::brokenMovieLeavesStartupWorking()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, note);
    AppFolderCopy app;
    QFile::remove(app.file("kstr_flvp_small.qml"));
    if (content != "<missing>")
        app.writeFile("kstr_flvp_small.qml", content);
    AppPaths::SetAppFolder(app.path());

    MessageRecorder messages;
    frmMain w;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(note));
    StartWindow(w);
    QVERIFY(!w.blnForceExit && !w.HasEnded());
    QVERIFY(w.isVisible());
    QVERIFY(messages.messages.isEmpty());
    FlashPlayer* player = w.ui()->swfControl;
    QCOMPARE(player->Movie(), app.file("kstr_flvp_small.qml"));
    QVERIFY(!player->MovieItem());
    // Nothing to deliver to, and nothing asks.
    QSignalSpy requests(player, &FlashPlayer::FSCommand);
    player->SetVariable("varFlvFile", m_flv);
    w.ui()->sstThis->setCurrentIndex(1);
    QTest::mouseClick(player, Qt::LeftButton, {}, QPoint(20, 310));
    QCOMPARE(requests.count(), 0);
}

QTEST_MAIN(TestPlayer)
#include "test_player.moc"
