// The window around the conversion job, with a scripted runner or (real*) the real programs.
#include "app/UserSettings.h"
#include "app/frmProgress.h"
#include "common/AppPaths.h"
#include "pipeline/JobLog.h"
#include "tests/support/FakeRunner.h"
#include "tests/support/TestSupport.h"

#include <QtQuick>

using namespace TestSupport;

static QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// Each stream's codec, then its frame size or its sampling and channels.
static QStringList streams(const QString& flv)
{
    QStringList lines = Run("ffprobe", {"-v", "error", "-show_entries",
                                        "stream=codec_name,width,height,sample_rate,channels",
                                        "-of", "csv=p=0", flv})
                            .value_or("")
                            .split('\n', Qt::SkipEmptyParts);
    lines.sort();
    return lines;
}

static bool drop(QObject* target, const QList<QUrl>& urls)
{
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(200, 200), Qt::CopyAction, &data, Qt::LeftButton, {});
    QDropEvent drop(QPointF(200, 200), Qt::CopyAction, &data, Qt::LeftButton, {});
    return QCoreApplication::sendEvent(target, &enter) && enter.isAccepted() &&
           QCoreApplication::sendEvent(target, &drop) && drop.isAccepted();
}

static QByteArray NewestLog()
{
    const QDir logs(JobLog::DefaultFolder());
    return ReadFile(logs.filePath(logs.entryList({"*.log"}, QDir::Files, QDir::Reversed).value(0)));
}

const QString Success = "FLV CONVERSION SUCCESSFUL!|64|Message";
const QString Cancelled = "CONVERSION CANCELLED!|64|Message";

class TestConvert : public QObject
{
    Q_OBJECT
    QTemporaryDir m_media;
    QString m_clip = m_media.filePath("clip.avi");
    AppFolderCopy m_app;
    std::unique_ptr<Window> m_win;
    Ui::frmMain* ui = nullptr;
    FakeTools m_fake;

    void startJob(const QString& source, const QString& folder)
    {
        m_win->dialogs.answers = {source, folder};
        ui->cmdInput->click();
        ui->cmdOutput->click();
        m_win->messages.messages.clear();
        ui->cmdConvert->click();
    }
    void waitForJob()
    {
        QTRY_VERIFY_WITH_TIMEOUT(!m_win->w.JobRunning(), 180000);
        QVERIFY(ui->cmdConvert->isEnabled() && ui->Frame2->isEnabled());
        QVERIFY(!m_win->w.ProgressWindow()->isVisible());
    }
    template <typename Control = QLabel>
    Control* progress(const char* name) const
    {
        return m_win->w.ProgressWindow()->findChild<Control*>(name);
    }

private slots:
    void initTestCase()
    {
        IsolateProcess();
        QVERIFY(Run("ffmpeg", {"-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                               "testsrc=rate=25:size=320x240:duration=2", "-f", "lavfi", "-i",
                               "sine=duration=2", "-c:v", "mpeg4", "-c:a", "mp3", m_clip}));
    }
    void init()
    {
        AppPaths::SetAppFolder(m_app.path());
        if (QByteArray(QTest::currentTestFunction()).startsWith("real"))
            SetToolRunnerFactory({});
        else
            SetToolRunnerFactory([this](QObject*) { return new FakeRunner(m_fake); });
        m_fake = FakeTools();
        m_win = std::make_unique<Window>();
        ui = m_win->ui();
        m_win->w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&m_win->w));
    }
    void cleanup() { m_win.reset(), SetToolRunnerFactory({}); }
    void beforeTheJobStarts();
    void pauseCancelAndClose();
    void dropsAndOpenWith();
    void batchOfDrops();
    void realJobWithWatermarkAndStills();
    void realBatchInTheNewFormat();
    void realExitDuringTheEncode();
    void realStreamToServers();
};

// A refusal moves the focus to its control or leaves it; an output or older stills are replaced
// only after a Yes each (a No to the stills leaves them out); the source's size outlives the job.
void TestConvert::beforeTheJobStarts()
{
    QTemporaryDir out;
    m_win->w.SetCaption(ui->lblInput, m_clip);
    ui->chkWatermark->setChecked(true);
    ui->txtWatermark->setText("Sample");
    ui->txtAlpha->setText("x");
    for (const char* focus : {"cmdOutput", "cmbVideoWindow"}) {
        ui->cmbVideoWindow->setFocus();
        ui->cmdConvert->click();
        QCOMPARE(QApplication::focusWidget(), m_win->w.findChild<QWidget*>(focus));
        m_win->w.SetCaption(ui->lblOutDir, out.path() + "/");
        ui->txtOutFile->setText("clip.flv");
    }
    QCOMPARE(m_win->messages.texts(),
             (QStringList{"OUTPUT FOLDER MISSING!|16|Error",
                          "INVALID WATERMARK OPACITY! LOAD A VALID SETTINGS FILE.|16|Error"}));

    ui->txtAlpha->setText("255");
    ui->optTopRight->setChecked(true);
    m_win->w.SourceWidth = 640; // the last probe's size, as the probe finds none
    ui->chkImage->setChecked(true);
    for (const char* name : {"clip.flv", "cover1.jpg"})
        QVERIFY(QFile(out.filePath(name)).open(QIODevice::WriteOnly));
    m_win->messages.messages.clear();
    m_win->messages.answers = {vbNo, vbYes, vbNo};
    m_fake.script = {"0", "0", "1"}; // the injector fails
    ui->cmdConvert->click();
    QVERIFY(!m_win->w.JobRunning() && QApplication::focusWidget() == ui->txtOutFile);
    ui->cmdConvert->click();
    waitForJob();
    const QString question = "THE OUTPUT FILE ALREADY EXISTS! REPLACE IT?|36|Confirm";
    QCOMPARE(
        m_win->messages.texts(),
        (QStringList{question, question, "THE STILL IMAGES ALREADY EXIST! REPLACE THEM?|36|Confirm",
                     "FLV METADATA INJECTION FAILED!|16|Error"}));
    QVERIFY(m_win->messages.messages.last().details.contains("The whole log: "));
    QCOMPARE(ui->txtLeft->text(), QString("290"));
}

void TestConvert::pauseCancelAndClose()
{
    m_fake.script = {"hang", "hang"};
    startJob(m_clip, m_media.path());
    QVERIFY(!ui->cmdConvert->isEnabled() && !ui->mnuWatermark->isEnabled() &&
            !ui->mnuFormat->isEnabled() && !drop(&m_win->w, {QUrl::fromLocalFile(m_clip)}));
    QPushButton* pause = progress<QPushButton>("cmdPause");
    QTest::qWait(100);
    pause->click();
    QVERIFY(m_fake.paused && pause->text() == "&Resume");
    QCOMPARE(progress("lblStatus")->text(), QString("Paused"));
    QTest::qWait(1100); // paused time is not counted in the time left
    pause->click();
    QVERIFY(!m_fake.paused && pause->text() == "&Pause");
    emit m_fake.last->Output("  Duration: 00:00:10.00, start: 0.0\nframe=  125 time=00:00:05.00\r");
    QCOMPARE(progress("lblRemaining")->text() + ' ' + progress("lblStatus")->text(),
             QString("50% done, 0:00 left frame=  125 time=00:00:05.00"));
    progress<QPushButton>("cmdCancel")->click();
    waitForJob();
    QCOMPARE(m_win->messages.texts(), QStringList{Cancelled});

    // The exit question holds the job's reports: after a No they come and the job goes on; after
    // a Yes they never come, and the log says why the job stopped.
    QStringList seen;
    int questions = 0;
    SetMsgBoxHandler([&](const QString& text, int, const QString&, const QString&) {
        seen << text;
        if (!text.contains("EXIT"))
            return vbOK;
        QTest::qWait(50); // the encoder ends meanwhile
        seen << "answered";
        return ++questions == 1 ? vbNo : vbYes;
    });
    m_fake.script.clear(); // every program ends well
    for (int job : {1, 2}) {
        ui->cmdConvert->click();
        m_win->w.close();
        QCOMPARE(m_win->w.HasEnded(), job == 2);
        QTRY_VERIFY(!m_win->w.JobRunning());
    }
    QCoreApplication::sendPostedEvents();
    const QString question = "A CONVERSION IS RUNNING! EXIT KESTREL FLV CONVERTER AND CANCEL IT?";
    QCOMPARE(seen,
             (QStringList{question, "answered", Success.section('|', 0, 0), question, "answered"}));
    QVERIFY(NewestLog().endsWith(" stopped: the program was closed\n"));
}

// Drops on the window and its player, files named on the command line.
void TestConvert::dropsAndOpenWith()
{
    QTemporaryDir dir;
    const QString flv = dir.filePath("clip.flv");
    QVERIFY(QFile(flv).open(QIODevice::WriteOnly));
    QVERIFY(drop(&m_win->w, {QUrl::fromLocalFile(m_clip)}));
    QTRY_COMPARE(ui->lblInput->toolTip() + ui->txtOutFile->text() + ' ' + ui->lblOutDir->text(),
                 ' ' + m_clip + " clip.flv " + m_media.path() + '/');
    QVERIFY(drop(&m_win->w, {QUrl::fromLocalFile(dir.path())}));
    QCOMPARE(ui->lblOutDir->text(), dir.path() + '/');
    QVERIFY(!drop(&m_win->w, {QUrl("http://example.test/clip.avi")}));

    ui->sstThis->setCurrentWidget(ui->tabPlay);
    QVERIFY(!drop(&m_win->w, {QUrl::fromLocalFile(m_clip)})); // only FLV files play
    QVERIFY(drop(ui->swfControl->View(), {QUrl::fromLocalFile(flv)}));
    QCOMPARE(ui->swfControl->MovieItem()->property("varFlvFile").toString(), flv);
    QDir::setCurrent(dir.path());
    m_win->w.TakeFilesFromCommandLine({"clip.flv"}); // taken for conversion
    QCOMPARE(ui->lblInput->text(), flv);

    // A name that reads as markup is shown as it stands, in tooltips and boxes.
    const QString name = m_media.filePath(Corpus("hostile-names.txt").filter("<img").value(0));
    m_win->w.SetCaption(ui->lblInput, name);
    m_win->w.SetCaption(ui->lblOutDir, name);
    ui->txtOutFile->setText(name);
    for (QWidget* control : QList<QWidget*>{ui->lblInput, ui->lblOutDir, ui->txtOutFile}) {
        QTextDocument tip; // as a tooltip reads it
        Qt::mightBeRichText(control->toolTip()) ? tip.setHtml(control->toolTip())
                                                : tip.setPlainText(control->toolTip());
        QCOMPARE(tip.toPlainText(), ' ' + name + ' ');
    }
    SetMsgBoxHandler({});
    bool plain = false;
    QTimer::singleShot(0, [&plain] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        plain = box && box->textFormat() == Qt::PlainText;
        if (box)
            box->accept();
    });
    MsgBox(name, vbCritical, "Error");
    QVERIFY(plain);
}

// Several videos into the window's folder: a clash, or a name the command lines cannot carry,
// refuses the batch; outputs there already are skipped after a No; a cancel stops the batch; one
// box tells each video's outcome and keeps a failure's details.
void TestConvert::batchOfDrops()
{
    QTemporaryDir dir;
    QList<QUrl> urls;
    for (const QString name : {"a.avi", "b.avi", "c.avi", "d.avi", "e.avi", "f.avi", "a.mp4",
                               "line\nbreak.avi", "b.flv", "c.flv"}) {
        QVERIFY(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
        urls << QUrl::fromLocalFile(dir.filePath(name));
    }
    m_win->messages.answers = {vbYes}; // no output folder yet: the dialog starts in the videos'
    QVERIFY(drop(&m_win->w, {urls[0], urls[1]}));
    QTRY_COMPARE(m_win->dialogs.requests.value(0).folder, dir.path());
    m_win->w.SetCaption(ui->lblOutDir, dir.path() + '/');
    m_win->messages.answers = {vbYes, vbOK, vbYes, vbOK, vbYes, vbNo};
    m_fake.script = {"0", "0", "1", "late", "0"}; // e.avi: the cancel meets the encode's end
    QString caption;
    m_fake.onStop = [&] {
        caption = progress("lblVideo")->text();
        progress<QPushButton>("cmdCancel")->click();
        m_fake.onStop = nullptr; // one click
    };
    for (const QList<QUrl>& videos : {QList{urls[0], urls[6]}, {urls[0], urls[7]}, urls.mid(0, 6)})
        QVERIFY(drop(&m_win->w, videos));
    QTRY_COMPARE(m_win->messages.texts().size(), 8);
    waitForJob();
    const QString two = "CONVERT ALL 2 VIDEOS WITH THESE SETTINGS?|36|Confirm",
                  skipped = ": SKIPPED! THE OUTPUT FILE ALREADY EXISTS.\n";
    QCOMPARE(m_win->messages.texts(),
             (QStringList{two, two,
                          '"' + dir.filePath("a.avi") + "\" AND \"" + dir.filePath("a.mp4") +
                              "\" WOULD BOTH BE CONVERTED TO \"" +
                              QFileInfo(dir.path()).canonicalFilePath() +
                              "/a.flv\"! RENAME ONE OF THEM OR CONVERT THEM INTO DIFFERENT "
                              "FOLDERS.|16|Error",
                          two,
                          "line\nbreak.avi: THE FILE NAME HOLDS A LINE BREAK OR ANOTHER CONTROL "
                          "CHARACTER! RENAME THE FILE FIRST.|16|Error",
                          "CONVERT ALL 6 VIDEOS WITH THESE SETTINGS?|36|Confirm",
                          "2 OUTPUT FILES ALREADY EXIST! REPLACE THEM?|36|Confirm",
                          "2 OF 6 VIDEOS CONVERTED.\n\na.avi: FLV CONVERSION SUCCESSFUL!\nb.avi" +
                              skipped + "c.avi" + skipped +
                              "d.avi: ENCODING FAILED! POSSIBLE REASON IS A DAMAGED/IMPROPER/"
                              "CORRUPTED/UNSUPPORTED SOURCE VIDEO FILE.\ne.avi: FLV CONVERSION "
                              "SUCCESSFUL!\nf.avi: CONVERSION CANCELLED!|16|Error"}));
    const QString details = m_win->messages.messages.last().details;
    QVERIFY2(details.startsWith("d.avi:\n") && details.contains("The whole log: "),
             qPrintable(details));
    QCOMPARE(caption, QString("Video 3 of 4: e.avi"));
}

// The corpus' worst names: "%" and quotes in the source's, a closing backslash in the folder's; a
// pasted watermark of 40,000 characters (a text box that cut it would cut the command line after).
void TestConvert::realJobWithWatermarkAndStills()
{
    QTemporaryDir root;
    QDir::setCurrent(root.path()); // a cut line would write a stray file here
    const QString source = root.filePath("%d%s%n \"q\".avi");
    const QString folder = root.filePath("ends with backslash\\");
    QVERIFY(QFile::copy(m_clip, source) && QDir().mkpath(folder));
    ui->chkWatermark->setChecked(true);
    QGuiApplication::clipboard()->setText(QString(40000, u'W'));
    ui->txtWatermark->setFocus();
    QTest::keyClick(ui->txtWatermark, Qt::Key_V, Qt::ControlModifier);
    ui->optBottomRight->setChecked(true);
    ui->chkImage->setChecked(true);
    ui->txtNumImages->setText("0");
    QSignalSpy shown(ui->txtApp, &QLineEdit::textChanged);
    startJob(source, folder);
    waitForJob();
    QCOMPARE(m_win->messages.texts(), (QStringList{Success, "IMAGE(S) GENERATED!|64|Message"}));
    QCOMPARE(progress("lblStatus")->text(), QString("Writing cover1.jpg to cover10.jpg"));
    QCOMPARE(ui->txtLeft->text() + ',' + ui->txtTop->text() + ' ' + ui->txtNumImages->text(),
             QString("160,190 10"));
    QCOMPARE(m_win->w.SourceWidth, qint16(320));
    QVERIFY(shown.value(0).value(0).toString().contains(QString(40000, u'W') + "\" -ar 22050Hz"));
    QCOMPARE(filesIn(folder),
             QString("%d%s%n \"q\".flv|cover1.jpg|cover10.jpg|cover2.jpg|cover3.jpg|"
                     "cover4.jpg|cover5.jpg|cover6.jpg|cover7.jpg|cover8.jpg|cover9.jpg")
                 .split('|'));
    QCOMPARE(filesIn(root.path()), (QStringList{source.section('/', -1), "ends with backslash\\"}));
    QCOMPARE(streams(QDir(folder).filePath(filesIn(folder)[0])),
             (QStringList{"flv1,400,300", "mp3,22050,1"}));
}

// Two videos with stills in H.264 and AAC, as chosen in the Format menu (kept for the next run):
// the first converts, stills named after it; a damaged one fails with FFmpeg's last lines and log.
void TestConvert::realBatchInTheNewFormat()
{
    QTemporaryDir out;
    const QString broken = m_media.filePath("broken.avi");
    WriteFile(broken, "not a video");
    m_win->w.findChild<QAction*>("mnuFormatH264")->trigger();
    ui->cmbVideoWindow->setCurrentText("768x576");
    ui->chkImage->setChecked(true);
    ui->txtNumImages->setText("2");
    m_win->w.SetCaption(ui->lblOutDir, out.path() + '/');
    m_win->messages.answers = {vbYes};
    QVERIFY(drop(&m_win->w, {QUrl::fromLocalFile(m_clip), QUrl::fromLocalFile(broken)}));
    QTRY_COMPARE_WITH_TIMEOUT(m_win->messages.texts().size(), 2, 120000);
    waitForJob();
    QCOMPARE(m_win->messages.texts().last(),
             QString("1 OF 2 VIDEOS CONVERTED.\n\nclip.avi: FLV CONVERSION SUCCESSFUL! IMAGE(S) "
                     "GENERATED!\nbroken.avi: ENCODING FAILED! POSSIBLE REASON IS A DAMAGED/"
                     "IMPROPER/CORRUPTED/UNSUPPORTED SOURCE VIDEO FILE. IMAGE GENERATION "
                     "FAILED!|16|Error"));
    QCOMPARE(filesIn(out.path()), (QStringList{"clip-cover1.jpg", "clip-cover2.jpg", "clip.flv"}));
    QCOMPARE(streams(out.filePath("clip.flv")), (QStringList{"aac,22050,1", "h264,768,576"}));
    const QString details = m_win->messages.messages.last().details;
    // FFmpeg 5.1 says "PATH: REASON", 7.1 "Error opening input file PATH." and the reason.
    QVERIFY2(details.contains(broken) &&
                 details.contains(": Invalid data found when processing input") &&
                 !details.contains("file:"),
             qPrintable(details));
    const QByteArray text = ReadFile(details.section("The whole log: ", -1));
    QVERIFY(text.contains("/ffmpeg -i \"" + broken.toUtf8() + "\" -b 225kb/s"));
    // FFmpeg's own code: 1 from FFmpeg 5.1, another from 7.1.
    QVERIFY(text.contains("-vframes 2") &&
            QString(text).contains(QRegularExpression("exit code [1-9]\\d* after")));
    m_win.reset(); // the next run
    m_win = std::make_unique<Window>();
    QVERIFY(m_win->w.findChild<QAction*>("mnuFormatH264")->isChecked());
    m_win->w.findChild<QAction*>("mnuFormatSorenson")->trigger();
}

// Closed during a real encode held paused (so it cannot end first): the encoder is stopped, no half
// file is left, the log says why.
void TestConvert::realExitDuringTheEncode()
{
    QTemporaryDir out;
    const QString source = m_media.filePath("long.avi");
    QVERIFY(Run("ffmpeg", {"-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                           "testsrc=rate=25:size=320x240:duration=120", "-c:v", "mpeg4", source}));
    qputenv("KESTREL_SCRATCH_NAMED", "1"); // a half file would show
    startJob(source, out.path());
    qunsetenv("KESTREL_SCRATCH_NAMED");
    // Encoding: FFmpeg's status line shows (7.1 may give no time, hence no percent, for a while).
    QTRY_VERIFY_WITH_TIMEOUT(progress("lblStatus")->text().startsWith("frame="), 60000);
    progress<QPushButton>("cmdPause")->click();
    m_win->messages.answers = {vbYes};
    m_win->w.close();
    QVERIFY(m_win->w.HasEnded() && !m_win->w.JobRunning());
    QCOMPARE(filesIn(out.path()), QStringList());
    QVERIFY2(NewestLog().contains("exit code 143, stopped: the program was closed after"),
             NewestLog().constData());
}

// Stream to Servers on the real nginx RTMP server: the whole stream ends in its message; Stop ends
// a long one cleanly; the key shows nowhere; the dialog keeps its servers across a restart, in a
// kestrel.ini only its owner may read.
void TestConvert::realStreamToServers()
{
    const QString harness = KESTREL_TEST_SOURCE_DIR "/tests/stream/rtmp_server.sh";
    if (!QFile::exists("/usr/lib/nginx/modules/ngx_rtmp_module.so"))
        QSKIP("no nginx rtmp module");
    QTemporaryDir server;
    QVERIFY(Run("bash", {harness, "start", server.path()}));
    const auto stop = qScopeGuard([&] { Run("bash", {harness, "stop", server.path()}); });
    const QString url =
        "rtmp://127.0.0.1:" +
        QString(ReadFile(server.filePath("ports.env"))).section("RTMP=", 1).section('\n', 0, 0) +
        "/live";
    const QString longClip = m_media.filePath("long clip.avi");
    QVERIFY(Run("ffmpeg", {"-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                           "testsrc=rate=25:size=320x240:duration=60", "-c:v", "mpeg4", longClip}));
    const auto inDialog = [this](const std::function<void(QDialog*)>& act) {
        QTimer::singleShot(
            0, [act] { act(qobject_cast<QDialog*>(QApplication::activeModalWidget())); });
        ui->mnuStreamToServers->trigger();
    };
    const auto startStream = [&](const QString& source) {
        m_win->w.SetCaption(ui->lblInput, source);
        m_win->messages.messages.clear();
        inDialog([](QDialog* d) { d->findChild<QPushButton*>("cmdStartStreaming")->click(); });
    };
    ui->chkWatermark->setChecked(true);
    ui->txtWatermark->setText("Sample");
    inDialog([&](QDialog* d) { // none ticked, a bad address, a missing key, then good
        const auto start = [d] { d->findChild<QPushButton*>("cmdStartStreaming")->click(); };
        start();
        d->findChild<QCheckBox*>("chkUse1")->setChecked(true);
        d->findChild<QLineEdit*>("txtServer1")->setText("http://host/x");
        d->findChild<QLineEdit*>("txtKey1")->setText("good-key");
        start();
        d->findChild<QLineEdit*>("txtServer1")->setText(url);
        d->findChild<QLineEdit*>("txtKey1")->clear();
        start();
        d->findChild<QLineEdit*>("txtKey1")->setText("good-key");
        d->findChild<QLineEdit*>("txtServer2")->setText("rtmps://spare.example/app");
        d->reject();
    });
    QCOMPARE(
        m_win->messages.texts(),
        (QStringList{"NO STREAMING SERVER CHOSEN! TICK ONE OR MORE.|16|Error",
                     "INVALID STREAMING SERVER ADDRESS \"http://host/x\"! IT MUST BE rtmp:// OR "
                     "rtmps:// WITH THE HOST, THE APPLICATION AND THE STREAM KEY.|16|Error",
                     "STREAM KEY MISSING!|16|Error"}));
    startStream(m_clip);
    waitForJob();
    QCOMPARE(m_win->messages.texts(), QStringList{"STREAMING FINISHED!|64|Message"});

    startStream(longClip);
    QTRY_VERIFY_WITH_TIMEOUT(progress("lblDestinations")->text() == "1. " + url + "/****: sending",
                             20000);
    QCOMPARE(m_win->w.ProgressWindow()->windowTitle(), "Streaming");
    QVERIFY(!progress<QPushButton>("cmdPause")->isVisible());
    QVERIFY(progress("lblRemaining")->text().endsWith(" of 1:00 sent"));
    m_win->messages.answers = {vbNo};
    m_win->w.close();
    progress<QPushButton>("cmdCancel")->click();
    waitForJob();
    QCOMPARE(m_win->messages.texts(),
             (QStringList{"A STREAM IS RUNNING! EXIT KESTREL FLV CONVERTER AND STOP IT?|36|Confirm",
                          "STREAMING STOPPED!|64|Message"}));
    QCOMPARE(ui->txtApp->text().count(url + "/****"), 1);
    QVERIFY(!ui->txtApp->text().contains("good-key") && !NewestLog().contains("good-key"));
    QTRY_COMPARE(QDir(server.filePath("rec")).entryList({"good-key*.flv"}).size(), 2);

    m_win.reset();
    m_win = std::make_unique<Window>();
    ui = m_win->ui();
    QCOMPARE(QFile::permissions(UserSettings().fileName()),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    inDialog([&](QDialog* d) {
        auto* key = d->findChild<QLineEdit*>("txtKey1");
        QCOMPARE(key->text(), "good-key");
        QCOMPARE(key->echoMode(), QLineEdit::Password);
        d->findChild<QCheckBox*>("chkShow1")->click();
        QCOMPARE(key->echoMode(), QLineEdit::Normal);
        QVERIFY(d->findChild<QCheckBox*>("chkUse1")->isChecked());
        QVERIFY(!d->findChild<QCheckBox*>("chkUse2")->isChecked());
        QCOMPARE(d->findChild<QLineEdit*>("txtServer2")->text(), "rtmps://spare.example/app");
        d->reject();
    });
}

QTEST_MAIN(TestConvert)
#include "test_convert.moc"
