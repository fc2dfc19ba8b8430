// The window around the conversion job: first with a scripted runner (what
// the window shows, refusals, cancel and close), then four whole jobs with the
// real front-end, Debian's ffmpeg and our flvmdi.
#include "app/FlashPlayer.h"
#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "app/frmProgress.h"
#include "common/AppPaths.h"
#include "common/CommandLine.h"
#include "pipeline/ConversionJob.h"
#include "tests/support/FakeRunner.h"
#include "tests/support/TestSupport.h"
#include "ui_frmMain.h"

#include <QClipboard>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QQuickItem>
#include <QQuickView>
#include <QSignalSpy>
#include <QTest>

using namespace TestSupport;

namespace
{

QByteArray run(const QString& program, const QStringList& args, bool* ok = nullptr)
{
    QProcess p;
    p.start(program, args);
    const bool done = p.waitForFinished(120000);
    if (ok)
        *ok = done && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return p.readAllStandardOutput();
}

void makeVideo(const QString& path, int seconds, const QString& size)
{
    bool ok = false;
    run("ffmpeg",
        {"-nostdin",  "-loglevel",
         "error",     "-y",
         "-f",        "lavfi",
         "-i",        QString("testsrc=size=%1:rate=25:duration=%2").arg(size).arg(seconds),
         "-f",        "lavfi",
         "-i",        QString("sine=duration=%1").arg(seconds),
         "-c:v",      "mpeg4",
         "-c:a",      "mp3",
         "-shortest", "-f",
         "avi",       path},
        &ok);
    QVERIFY(ok);
}

// "codec WxH" per stream of a media file, as ffprobe sees it.
QStringList streams(const QString& path)
{
    QStringList found;
    const QJsonObject info = QJsonDocument::fromJson(run("ffprobe", {"-v", "error", "-show_streams",
                                                                     "-of", "json", path}))
                                 .object();
    for (const QJsonValue& s : info["streams"].toArray()) {
        const QJsonObject o = s.toObject();
        found << o["codec_name"].toString() +
                     (o["codec_type"] == "video"
                          ? QString(" %1x%2").arg(o["width"].toInt()).arg(o["height"].toInt())
                          : QString(" %1").arg(o["sample_rate"].toString()));
    }
    found.sort();
    return found;
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

const QString Success = "FLV CONVERSION SUCCESSFUL!|64|Message";
const QString Cancelled = "CONVERSION CANCELLED!|64|Message";

} // namespace

class TestConvert : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void windowShowsWhatTheJobDoes();
    void refusalFocusesItsControl_data();
    void refusalFocusesItsControl();
    void cancelAndCloseDuringAJob();
    void replacingAsksFirst();
    void dropsAndOpenWith();
    void realJobWithWatermarkAndStills();
    void realCancelInTheMiddle();
    void realBadSource();
    void realPastedLongWatermark();

private:
    void startJob(const QString& source, const QString& folder);
    void waitForJob();
    QStringList messages() const;
    FakeRunner* fakeRunner(const QStringList& script);

    QTemporaryDir m_media;
    QString m_clip;
    std::unique_ptr<AppFolderCopy> m_app;
    std::unique_ptr<frmMain> m_window;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<DialogScript> m_dialogs;
    Ui::frmMain* ui = nullptr;
    FakeRunner* m_fake = nullptr;
};

void TestConvert::initTestCase()
{
    IsolateProcess();
    m_clip = m_media.filePath("clip.avi");
    makeVideo(m_clip, 2, "320x240");
    m_app = std::make_unique<AppFolderCopy>();
}

void TestConvert::init()
{
    AppPaths::SetAppFolder(m_app->path());
    m_messages = std::make_unique<MessageRecorder>();
    m_dialogs = std::make_unique<DialogScript>();
    if (QByteArray(QTest::currentTestFunction()).startsWith("real"))
        SetToolRunnerFactory({});
    else
        SetToolRunnerFactory([this](QObject*) { return m_fake = new FakeRunner; });
    m_window = std::make_unique<frmMain>();
    StartWindow(*m_window);
    ui = m_window->ui();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestConvert::cleanup()
{
    m_window.reset();
    m_dialogs.reset();
    m_messages.reset();
    SetToolRunnerFactory({});
}

// Picks the source and folder through the window's own buttons.
void TestConvert::startJob(const QString& source, const QString& folder)
{
    m_dialogs->answers = {source, folder};
    ui->cmdInput->click();
    ui->cmdOutput->click();
    m_messages->messages.clear();
    ui->cmdConvert->click();
}

void TestConvert::waitForJob()
{
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->JobRunning(), 180000);
    QVERIFY(ui->cmdConvert->isEnabled() && ui->Frame2->isEnabled());
    QVERIFY(!m_window->ProgressWindow()->isVisible());
}

QStringList TestConvert::messages() const
{
    QStringList t;
    for (const Message& m : m_messages->messages)
        t << QString("%1|%2|%3").arg(m.text).arg(m.style).arg(m.title);
    return t;
}

void TestConvert::windowShowsWhatTheJobDoes()
{
    const QString size640 = "  Stream #0.0: Video: mpeg4, yuv420p, 640x480, 25 fps(r)\n";
    m_fake->script = {"report=" + size640, "0", "0", "0", "report=nothing", "0", "0"};
    ui->chkWatermark->setChecked(true);
    ui->txtWatermark->setText("Sample");
    ui->optTopRight->setChecked(true);
    ui->chkImage->setChecked(true);
    ui->txtNumImages->setText("0");
    startJob(m_clip, m_media.path());
    QVERIFY(m_window->JobRunning() && m_window->ProgressWindow()->isVisible());
    QVERIFY(!ui->cmdConvert->isEnabled() && !ui->mnuWatermark->isEnabled());
    waitForJob();
    QCOMPARE(messages(), (QStringList{Success, "IMAGE(S) GENERATED!|64|Message"}));
    QCOMPARE(ui->txtNumImages->text(), QString("10"));
    QCOMPARE(ui->txtLeft->text() + ',' + ui->txtTop->text(), QString("290,10"));
    QCOMPARE(SplitCommandLine(ui->txtApp->text()), m_fake->started.last());
    QVERIFY(ui->txtApp->text().contains("-vframes 10"));

    // The size lives as long as the window: a report without one keeps it.
    ui->optBottomRight->setChecked(true);
    ui->chkImage->setChecked(false);
    ui->cmdConvert->click();
    waitForJob();
    QCOMPARE(ui->txtLeft->text() + ',' + ui->txtTop->text(), QString("290,430"));
    QCOMPARE(m_window->SourceWidth, qint16(640));
}

void TestConvert::refusalFocusesItsControl_data()
{
    QTest::addColumn<QString>("alpha");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    QTest::newRow("no folder") << "255"
                               << "OUTPUT FOLDER MISSING!"
                               << "cmdOutput";
    QTest::newRow("opacity: the focus stays")
        << "x"
        << "INVALID WATERMARK OPACITY! LOAD A VALID SETTINGS FILE."
        << "cmbVideoWindow";
}

void TestConvert::refusalFocusesItsControl()
{
    QFETCH(QString, alpha);
    QFETCH(QString, focus);
    ui->cmbVideoWindow->setFocus();
    m_window->SetCaption(ui->lblInput, m_clip);
    if (alpha == "x")
        m_window->SetCaption(ui->lblOutDir, m_media.path() + "/");
    ui->txtOutFile->setText("clip.flv");
    ui->chkWatermark->setChecked(true);
    ui->txtWatermark->setText("Sample");
    ui->txtAlpha->setText(alpha);
    ui->cmdConvert->click();
    QFETCH(QString, message);
    QCOMPARE(messages(), QStringList{message + "|16|Error"});
    QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    QVERIFY(!m_window->JobRunning() && m_fake->started.isEmpty() && ui->txtApp->text().isEmpty());
}

void TestConvert::cancelAndCloseDuringAJob()
{
    m_fake->script = {"hang", "hang"};
    startJob(m_clip, m_media.path());
    frmProgress* progress = m_window->ProgressWindow();
    auto* pause = progress->findChild<QPushButton*>("cmdPause");
    QTest::qWait(100);
    pause->click();
    QVERIFY(m_fake->paused && pause->text() == "&Resume");
    QTest::qWait(1100); // paused time is not counted in the time left
    pause->click();
    QVERIFY(!m_fake->paused && pause->text() == "&Pause");
    progress->ShowProgress(50, QString());
    QCOMPARE(progress->findChild<QLabel*>("lblRemaining")->text(), QString("50% done, 0:00 left"));
    progress->findChild<QPushButton*>("cmdCancel")->click();
    waitForJob();
    QCOMPARE(messages(), QStringList{Cancelled});

    m_messages->messages.clear();
    ui->cmdConvert->click();
    m_messages->answers = {vbNo, vbYes};
    m_window->close();
    QVERIFY(m_window->JobRunning() && !m_fake->stopped); // No: the job goes on
    m_window->close();
    QVERIFY(m_window->HasEnded() && m_fake->stopped);
    QTest::qWait(20);
    QCOMPARE(messages(), QStringList(2, "EXIT KESTREL FLV CONVERTER?|36|Confirm"));
}

void TestConvert::replacingAsksFirst()
{
    QTemporaryDir out;
    QFile old(out.filePath("clip.flv"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    m_messages->answers = {vbNo};
    startJob(m_clip, out.path());
    const QString question = "THE OUTPUT FILE ALREADY EXISTS! REPLACE IT?|36|Confirm";
    QCOMPARE(messages(), QStringList{question});
    QVERIFY(!m_window->JobRunning() && m_fake->started.isEmpty());
    QCOMPARE(QApplication::focusWidget(), ui->txtOutFile);
    m_messages->answers = {vbYes};
    ui->cmdConvert->click();
    waitForJob();
    QCOMPARE(messages(), (QStringList{question, question, Success}));
}

void TestConvert::dropsAndOpenWith()
{
    QTemporaryDir dir;
    const QString flv = dir.filePath("clip.flv"), odd = dir.filePath("line\nbreak.avi");
    for (const QString& name : {flv, odd})
        QVERIFY(QFile(name).open(QIODevice::WriteOnly));
    auto drop = [](QObject* target, const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(200, 200), Qt::CopyAction, &data, Qt::LeftButton, {});
        QDropEvent drop(QPointF(200, 200), Qt::CopyAction, &data, Qt::LeftButton, {});
        return QCoreApplication::sendEvent(target, &enter) && enter.isAccepted() &&
               QCoreApplication::sendEvent(target, &drop) && drop.isAccepted();
    };
    QVERIFY(drop(m_window.get(), {QUrl::fromLocalFile(m_clip), QUrl::fromLocalFile(flv)}));
    QCOMPARE(ui->lblInput->toolTip() + ui->txtOutFile->text(), ' ' + m_clip + " clip.flv");
    QVERIFY(drop(m_window.get(), {QUrl::fromLocalFile(dir.path())}));
    QCOMPARE(ui->lblOutDir->text(), dir.path() + '/');
    QVERIFY(!drop(m_window.get(), {QUrl("http://example.test/clip.avi")}));
    QVERIFY(drop(m_window.get(), {QUrl::fromLocalFile(odd)})); // refused with a word
    QCOMPARE(messages().size(), 1);
    QCOMPARE(ui->lblInput->text(), m_clip);

    ui->sstThis->setCurrentWidget(ui->tabPlay);
    QVERIFY(!drop(m_window.get(), {QUrl::fromLocalFile(m_clip)})); // only FLV files play
    QVERIFY(drop(ui->swfControl->View(), {QUrl::fromLocalFile(flv)}));
    QCOMPARE(ui->swfControl->MovieItem()->property("varFlvFile").toString(), flv);

    ui->sstThis->setCurrentWidget(ui->tabConvert);
    m_fake->script = {"hang"};
    m_messages->answers = {vbYes}; // the FLV there is replaced
    ui->cmdConvert->click();
    QVERIFY(m_window->JobRunning() &&
            !drop(m_window.get(), {QUrl::fromLocalFile(flv)})); // not while a job runs
    m_window->ProgressWindow()->findChild<QPushButton*>("cmdCancel")->click();
    waitForJob();
    QDir::setCurrent(dir.path());
    m_window->TakeFileFromCommandLine("clip.flv");
    QCOMPARE(ui->lblInput->text(), flv);
}

// The worst names of the corpus: a "%" in the source's name, a closing
// backslash in the folder's.
void TestConvert::realJobWithWatermarkAndStills()
{
    QTemporaryDir root;
    const QString source = root.filePath("%d%s%n \"q\".avi");
    const QString folder = root.filePath("ends with backslash\\");
    QVERIFY(QFile::copy(m_clip, source) && QDir().mkpath(folder));
    ui->chkWatermark->setChecked(true);
    ui->txtWatermark->setText("Sample");
    ui->optBottomRight->setChecked(true);
    ui->chkImage->setChecked(true);
    ui->cmbAudioChannel->setCurrentText("Stereo");
    startJob(source, folder);
    waitForJob();
    QCOMPARE(messages(), (QStringList{Success, "IMAGE(S) GENERATED!|64|Message"}));
    QCOMPARE(ui->txtLeft->text() + ',' + ui->txtTop->text(), QString("160,190"));
    QStringList expected = {"%d%s%n \"q\".flv"};
    for (int i = 1; i <= 10; ++i)
        expected << QString("cover%1.jpg").arg(i);
    expected.sort();
    QCOMPARE(filesIn(folder), expected);
    const QString flv = QDir(folder).filePath(expected.first());
    QCOMPARE(streams(flv), (QStringList{"flv1 400x300", "mp3 22050"}));
    bool ok = false;
    run("flvmeta", {"--check", flv}, &ok);
    QVERIFY(ok);
    QVERIFY(QFile::exists(m_app->file("input.bat")) && QFile::exists(m_app->file("infile.txt")));
}

void TestConvert::realCancelInTheMiddle()
{
    QTemporaryDir out;
    const QString longClip = m_media.filePath("long.avi");
    makeVideo(longClip, 60, "640x480");
    ui->cmbVideoWindow->setCurrentText("768x576");
    startJob(longClip, out.path());
    auto* status = m_window->ProgressWindow()->findChild<QLabel*>("lblStatus");
    QTRY_VERIFY_WITH_TIMEOUT(status->text().startsWith("frame="), 60000);
    m_window->ProgressWindow()->findChild<QPushButton*>("cmdCancel")->click();
    waitForJob();
    QCOMPARE(messages(), QStringList{Cancelled});
    QCOMPARE(filesIn(out.path()), QStringList()); // no half file, no scratch file
    bool found = true;
    run("pgrep", {"-f", out.path()}, &found);
    QVERIFY(!found); // no program is left behind
}

void TestConvert::realBadSource()
{
    QTemporaryDir out;
    const QString bad = m_media.filePath("broken.avi");
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write("not a video at all") > 0);
    f.close();
    ui->chkImage->setChecked(true);
    startJob(bad, out.path());
    waitForJob();
    QCOMPARE(messages(), (QStringList{"ENCODING FAILED! POSSIBLE REASON IS A DAMAGED/IMPROPER/"
                                      "CORRUPTED/UNSUPPORTED SOURCE VIDEO FILE.|16|Error",
                                      "IMAGE GENERATION FAILED!|16|Error"}));
    QCOMPARE(filesIn(out.path()), QStringList());
    // Each failure tells why: the program's last lines and the job's log.
    const QString details = m_messages->messages[0].details;
    QVERIFY2(details.contains("Invalid data found when processing input"), qPrintable(details));
    QFile log(details.section("The whole log: ", 1));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    QVERIFY(text.contains("/ffmpeg -i \"" + bad.toUtf8() + "\" -b 225kb/s"));
    QVERIFY(text.contains("-vframes 10") && text.contains("exit code 1 after"));
}

// A text box that cut the text would cut the command line after it.
void TestConvert::realPastedLongWatermark()
{
    QTemporaryDir out;
    QDir::setCurrent(out.path()); // a cut line would write a stray file here
    ui->chkWatermark->setChecked(true);
    ui->chkDisableAudio->setChecked(true);
    ui->cmbVideoWindow->setCurrentText("160x120");
    QGuiApplication::clipboard()->setText(QString(40000, u'W'));
    ui->txtWatermark->setFocus();
    QTest::keyClick(ui->txtWatermark, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(ui->txtWatermark->text().size(), 40000);
    QSignalSpy shown(ui->txtApp, &QLineEdit::textChanged);
    startJob(m_clip, out.path());
    waitForJob();
    QCOMPARE(messages(), QStringList{Success});
    QVERIFY(shown.value(0).value(0).toString().endsWith("W\" -an \"" + out.path() + "/clip.flv\""));
    QCOMPARE(filesIn(out.path()), QStringList{"clip.flv"});
}

QTEST_MAIN(TestConvert)
#include "test_convert.moc"
