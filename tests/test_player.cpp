// The preview player: the movie's contract with the window, real playback, files it cannot play.
#include "tests/support/TestSupport.h"

#include <QQuickItem>
#include <QQuickView>
#include <QSignalSpy>
#include <QTest>
#include <QVideoFrame>
#include <QVideoSink>

using namespace TestSupport;

namespace
{

QVariant Movie(FlashPlayer* player, const char* part, const char* property)
{
    QObject* movie = player->MovieItem();
    return movie ? (*part ? movie->findChild<QObject*>(part) : movie)->property(property)
                 : QVariant();
}

} // namespace

class TestPlayer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void movieAndPlayback();

private:
    QTemporaryDir m_files;
    const QString m_flv = m_files.filePath("my clip #1.flv"), m_h264 = m_files.filePath("h264.flv"),
                  m_screen = m_files.filePath("screen.flv"),
                  m_nelly = m_files.filePath("nelly.flv");
};

// Sorenson and MP3 as our encoder writes them, named with a blank and a '#'; from it, H.264 and AAC
// by the encoder front-end; Screen Video with MP3 and Sorenson with Nellymoser, whose decoders are
// put out of use here: GStreamer's by their rank, FFmpeg's by the library preloaded for this test.
void TestPlayer::initTestCase()
{
    IsolateProcess();
    qputenv("GST_PLUGIN_FEATURE_RANK", "avdec_flashsv:NONE,avdec_nellymoser:NONE");
    qputenv("KESTREL_TEST_HIDDEN_DECODERS", "flashsv,nellymoser");
    const QString lavfi = "-nostdin|-loglevel|error|-f|lavfi|-i|testsrc=size=320x240:rate=25|-f|"
                          "lavfi|-i|sine=frequency=440:sample_rate=22050|-t|3|-c:a|libmp3lame|";
    const QString window = "|-b|225kb/s|-s|400x300|-r|24|-vcodec|libx264|-ar|22050Hz|-ab|64k|-ac|"
                           "1|-acodec|libfaac|";
    for (const auto& [program, args] :
         {std::pair<QString, QString>("ffmpeg", lavfi + "-c:v|flv1|-b:v|300k|-ac|1|" + m_flv),
          {BuiltAppFolder() + "/ffmpeg", "-i|" + m_flv + window + m_h264},
          {"ffmpeg", lavfi + "-c:v|flashsv|" + m_screen},
          {"ffmpeg", lavfi + "-c:v|flv1|-c:a|nellymoser|-ac|1|" + m_nelly}}) {
        QVERIFY(Run(program, args.split('|')));
    }
}

// The stage shows whole, aspect kept, from the top-left corner. The open button and any request of
// the movie ask for a file; a choice reaches the movie once, a cancel not at all. Every hostile
// name reaches the media player as the address of that very file.
void TestPlayer::movieAndPlayback()
{
    Window win;
    win.ui()->sstThis->setCurrentIndex(1); // the player's tab: its movie runs
    FlashPlayer* player = win.ui()->swfControl;
    QQuickItem* movie = player->MovieItem();
    QVERIFY(movie);
    const QSizeF stage = movie->size();
    for (const QSize size : {QSize(407, 327), QSize(200, 327), QSize(407, 100), QSize(900, 700)}) {
        player->resize(size);
        QCOMPARE(movie->mapRectToScene(QRectF(QPointF(), stage)),
                 QRectF(QPointF(), stage.scaled(size, Qt::KeepAspectRatio)));
    }
    player->resize(407, 327);
    auto* button = movie->findChild<QQuickItem*>("openButton");
    QVERIFY(button);
    const QPointF centre = button->mapToScene(QPointF(button->width(), button->height()) / 2);
    const QMetaObject* type = movie->metaObject();
    QSignalSpy sent(movie, type->property(type->indexOfProperty("varFlvFile")).notifySignal());
    const QString other = m_files.filePath("other.flv");
    win.dialogs.answers = {m_flv, std::nullopt, other, std::nullopt};
    QStringList seen;
    for (const char* command : {"", "", "quit", ""}) {
        if (seen.size() < 2)
            QTest::mouseClick(player->View(), Qt::LeftButton, {}, centre.toPoint());
        else
            QMetaObject::invokeMethod(movie, "fsCommand", Q_ARG(QString, command),
                                      Q_ARG(QString, "x"));
        seen << QString::number(sent.count()) + ' ' + Movie(player, "", "varFlvFile").toString();
    }
    QCOMPARE(seen, (QStringList{"1 " + m_flv, "1 " + m_flv, "2 " + other, "2 " + other}));
    for (const QString& name : Corpus("hostile-names.txt")) {
        const QString path = "/tmp/a folder/" + name;
        QVariant address;
        QMetaObject::invokeMethod(movie, "fileUrl", Q_RETURN_ARG(QVariant, address),
                                  Q_ARG(QVariant, path));
        QCOMPARE(QUrl(address.toString()).toLocalFile(), path);
    }
    // Files that cannot be played say why on the picture, not in a box. Our encoder's FLV then
    // plays in either format, pictures and all; the same file again starts over.
    const auto state = [&] { return Movie(player, "", "playerState").toString(); };
    const QString bad = m_files.filePath("bad.flv");
    for (const QByteArray& content : {QByteArray("These are not the pictures you are looking for."),
                                      QByteArray(), QByteArray("FLV\x01\x05", 5), QByteArray()}) {
        WriteFile(bad, content);
        if (content.isNull())
            QFile::remove(bad);
        player->SetVariable("varFlvFile", bad);
        QTRY_COMPARE_WITH_TIMEOUT(state(), QString("error"), 15000);
        QVERIFY(Movie(player, "message", "visible").toBool());
        QCOMPARE(Movie(player, "message", "text"), Movie(player, "", "errorText"));
    }
    // Rather than a black picture or silence: which stream has no decoder, and what to install for
    // the back end in use.
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    const QString advice = "Debian's package libavcodec61 or libavcodec-extra61 brings the "
                           "decoders of FLV files.";
#else
    const QString advice = "Debian's packages gstreamer1.0-libav, gstreamer1.0-plugins-good and "
                           "gstreamer1.0-plugins-bad bring the decoders of FLV files.";
#endif
    for (const auto& [file, stream] :
         {std::pair(m_screen, "video (Screen Video)"), {m_nelly, "sound (Nellymoser)"}}) {
        player->SetVariable("varFlvFile", file);
        QTRY_COMPARE_WITH_TIMEOUT(Movie(player, "", "errorText").toString(),
                                  "This file cannot be played: no decoder for its " +
                                      QString(stream) + " is installed.",
                                  15000);
        QCOMPARE(Movie(player, "", "failureDetail").toString(), advice);
        // A failed file may go on reporting for a moment; nobody picks the next one faster.
        QTest::qWait(500);
    }
    const auto position = [&] { return Movie(player, "player", "position").toLongLong(); };
    for (const auto& [file, size] : {std::pair(m_flv, QSize(320, 240)), {m_h264, {400, 300}}}) {
        player->SetVariable("varFlvFile", file);
        QTRY_COMPARE_WITH_TIMEOUT(state(), QString("playing"), 15000);
        QVERIFY(!Movie(player, "message", "visible").toBool());
        QTRY_VERIFY_WITH_TIMEOUT(position() > 1000, 15000);
        QVERIFY(Movie(player, "player", "duration").toLongLong() > 2000);
        auto* sink = Movie(player, "video", "videoSink").value<QVideoSink*>();
        QVERIFY(sink);
        QTRY_COMPARE_WITH_TIMEOUT(sink->videoFrame().size(), size, 10000);
    }
    player->SetVariable("varFlvFile", m_h264);
    QTRY_VERIFY_WITH_TIMEOUT(position() < 1000, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(state(), QString("playing"), 15000);
    // Played to its end, a click in the middle of the bar shows that frame and its time.
    QTRY_COMPARE_WITH_TIMEOUT(state(), QString("stopped"), 15000);
    auto* bar = movie->findChild<QQuickItem*>("seekBar");
    QTest::mouseClick(player->View(), Qt::LeftButton, {},
                      bar->mapToScene(QPointF(bar->width(), bar->height()) / 2).toPoint());
    auto* sink = Movie(player, "video", "videoSink").value<QVideoSink*>();
    QTRY_VERIFY_WITH_TIMEOUT(std::abs(sink->videoFrame().startTime() / 1000 - position()) < 100,
                             5000);
    QCOMPARE(state() + ' ' + Movie(player, "clock", "text").toString(),
             QString("paused 0:01 / 0:03"));
    QCOMPARE(win.messages.texts(), QStringList());
}

QTEST_MAIN(TestPlayer)
#include "test_player.moc"
