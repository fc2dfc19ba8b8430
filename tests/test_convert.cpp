// Whole conversions through the real window (offscreen), with the real
// front-end, Debian's ffmpeg and our flvmdi; dialogs and messages scripted.
#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "app/frmProgress.h"
#include "common/AppPaths.h"
#include "tests/support/TestSupport.h"
#include "ui_frmMain.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QTest>

using namespace TestSupport;

namespace
{

bool run(const QString& program, const QStringList& args, QByteArray* out = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000))
        return false;
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

void makeVideo(const QString& path, int seconds, const QString& size)
{
    QVERIFY(run("ffmpeg",
                {"-nostdin",  "-loglevel",
                 "error",     "-y",
                 "-f",        "lavfi",
                 "-i",        QString("testsrc=size=%1:rate=25:duration=%2").arg(size).arg(seconds),
                 "-f",        "lavfi",
                 "-i",        QString("sine=duration=%1").arg(seconds),
                 "-c:v",      "mpeg4",
                 "-c:a",      "mp3",
                 "-shortest", "-f",
                 "avi",       path}));
}

QJsonObject probe(const QString& path)
{
    QByteArray json;
    run("ffprobe", {"-v", "error", "-show_streams", "-show_format", "-of", "json", path}, &json);
    return QJsonDocument::fromJson(json).object();
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList texts(const QList<Message>& messages)
{
    QStringList t;
    for (const Message& m : messages)
        t << QString("%1|%2|%3").arg(m.text).arg(m.style).arg(m.title);
    return t;
}

const QString Success = "FLV CONVERSION SUCCESSFUL!|64|Message";
const QString Stills = "IMAGE(S) GENERATED!|64|Message";

} // namespace

class TestConvert : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void goodJobWithAudioAndStills();
    void watermarkInEachCorner_data();
    void watermarkInEachCorner();
    void validations_data();
    void validations();
    void badSourceStillTriesStills();
    void missingInjector();
    void cancelInTheMiddle();
    void closingDuringJobAsksThenStopsIt();
    void hostileNames_data();
    void hostileNames();
    void hostileWatermarkTexts_data();
    void hostileWatermarkTexts();

private:
    void startJob(const QString& source, const QString& folder, const QString& name);
    void waitForJob();
    QString longClip();
    void waitForEncoderProgress();

    QTemporaryDir m_media;
    QString m_clip;
    std::unique_ptr<AppFolderCopy> m_app;
    std::unique_ptr<frmMain> m_window;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<DialogScript> m_dialogs;
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
    m_window = std::make_unique<frmMain>();
    StartWindow(*m_window);
}

void TestConvert::cleanup()
{
    m_window.reset();
    m_dialogs.reset();
    m_messages.reset();
}

// Picks the source and folder through the window's own buttons.
void TestConvert::startJob(const QString& source, const QString& folder, const QString& name)
{
    Ui::frmMain* ui = m_window->ui();
    m_dialogs->answers = {source, folder};
    ui->cmdInput->click();
    ui->cmdOutput->click();
    if (!name.isNull())
        ui->txtOutFile->setText(name);
    m_messages->messages.clear();
    ui->cmdConvert->click();
}

void TestConvert::waitForJob()
{
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->JobRunning(), 180000);
    QVERIFY(m_window->ui()->cmdConvert->isEnabled());
}

void TestConvert::goodJobWithAudioAndStills()
{
    QTemporaryDir out;
    Ui::frmMain* ui = m_window->ui();
    ui->chkImage->setChecked(true);
    ui->txtNumImages->setText("0");
    ui->cmbAudioChannel->setCurrentText("Stereo");
    startJob(m_clip, out.path(), QString());
    QVERIFY(m_window->JobRunning());
    QVERIFY(!ui->cmdConvert->isEnabled() && !ui->Frame2->isEnabled());
    QVERIFY(m_window->ProgressWindow()->isVisible());
    waitForJob();
    QCOMPARE(texts(m_messages->messages), (QStringList{Success, Stills}));
    QCOMPARE(ui->txtNumImages->text(), QString("10"));
    QVERIFY(
        ui->txtApp->text().endsWith(" -s 400x300 -vframes 10 \"" + out.path() + "/cover%d.jpg\""));
    QVERIFY(!m_window->ProgressWindow()->isVisible());

    QStringList expected = {"clip.flv"};
    for (int i = 1; i <= 10; ++i)
        expected << QString("cover%1.jpg").arg(i);
    expected.sort();
    QStringList got = filesIn(out.path());
    got.sort();
    QCOMPARE(got, expected);

    const QJsonObject info = probe(out.filePath("clip.flv"));
    QCOMPARE(info["format"].toObject()["format_name"].toString(), QString("flv"));
    bool sawVideo = false, sawAudio = false;
    for (const QJsonValue& s : info["streams"].toArray()) {
        const QJsonObject stream = s.toObject();
        if (stream["codec_type"] == "video") {
            sawVideo = true;
            QCOMPARE(stream["codec_name"].toString(), QString("flv1"));
            QCOMPARE(stream["width"].toInt(), 400);
            QCOMPARE(stream["height"].toInt(), 300);
        } else if (stream["codec_type"] == "audio") {
            sawAudio = true;
            QCOMPARE(stream["codec_name"].toString(), QString("mp3"));
            QCOMPARE(stream["sample_rate"].toString(), QString("22050"));
            QCOMPARE(stream["channels"].toInt(), 2);
        }
    }
    QVERIFY(sawVideo && sawAudio);
    QVERIFY(run("flvmeta", {"--check", out.filePath("clip.flv")}));
}

void TestConvert::watermarkInEachCorner_data()
{
    QTest::addColumn<QString>("corner");
    QTest::addColumn<QString>("x");
    QTest::addColumn<QString>("y");
    QTest::newRow("top left") << "optTopLeft"
                              << "10"
                              << "10";
    QTest::newRow("top right") << "optTopRight"
                               << "160"
                               << "10";
    QTest::newRow("bottom left") << "optBottomLeft"
                                 << "10"
                                 << "190";
    QTest::newRow("bottom right") << "optBottomRight"
                                  << "160"
                                  << "190";
}

void TestConvert::watermarkInEachCorner()
{
    QFETCH(QString, corner);
    QFETCH(QString, x);
    QFETCH(QString, y);
    QTemporaryDir out;
    Ui::frmMain* ui = m_window->ui();
    ui->chkWatermark->setChecked(true);
    ui->txtWatermark->setText("Sample");
    ui->chkDisableAudio->setChecked(true);
    m_window->findChild<QRadioButton*>(corner)->setChecked(true);
    startJob(m_clip, out.path(), QString());
    waitForJob();
    QCOMPARE(texts(m_messages->messages), QStringList{Success});
    QCOMPARE(int(m_window->SourceWidth), 320);
    QCOMPARE(int(m_window->SourceHeight), 240);
    QCOMPARE(ui->txtLeft->text(), x);
    QCOMPARE(ui->txtTop->text(), y);
    QVERIFY(m_window->EncoderOptions.contains(" -x " + x + " -y " + y + " -t Sample\" -an "));
    QCOMPARE(filesIn(out.path()), QStringList{"clip.flv"});

    // The probe's command file and report lie in the application folder.
    QFile batch(m_app->file("input.bat"));
    QVERIFY(batch.open(QIODevice::ReadOnly));
    QCOMPARE(batch.readAll(), (m_app->path() + "/ffmpeg -i \"" + m_clip + "\">" + m_app->path() +
                               "/infile.txt 2>&1\r\n")
                                  .toLocal8Bit());
    QFile report(m_app->file("infile.txt"));
    QVERIFY(report.open(QIODevice::ReadOnly));
    QVERIFY(report.readAll().contains("Video:"));
    const QJsonObject stream = probe(out.filePath("clip.flv"))["streams"].toArray()[0].toObject();
    QCOMPARE(stream["codec_name"].toString(), QString("flv1"));
}

void TestConvert::validations_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    QTest::newRow("all missing") << "none"
                                 << "NO FILE TO ENCODE!"
                                 << "cmdInput";
    QTest::newRow("no folder") << "source"
                               << "OUTPUT FOLDER MISSING!"
                               << "cmdOutput";
    QTest::newRow("no name") << "source,folder,name="
                             << "OUTPUT FILE NAME MISSING!"
                             << "txtOutFile";
    QTest::newRow("not .flv") << "source,folder,name=clip.fl"
                              << "INVALID OUTPUT FILE NAME! MUST BE A .FLV FILE."
                              << "txtOutFile";
    QTest::newRow("blank after .flv") << "source,folder,name=clip.flv "
                                      << "INVALID OUTPUT FILE NAME! MUST BE A .FLV FILE."
                                      << "txtOutFile";
    QTest::newRow("no watermark text") << "source,folder,watermark"
                                       << "WATERMARK TEXT MISSING!"
                                       << "txtWatermark";
    QTest::newRow("opacity not a number")
        << "source,folder,watermark,text,alpha=x"
        << "INVALID WATERMARK OPACITY! LOAD A VALID SETTINGS FILE."
        << "";
    QTest::newRow("stills count not a number") << "source,folder,stills=ab"
                                               << "NUMBER OF IMAGES MUST BE A NUMBER!"
                                               << "txtNumImages";
    QTest::newRow("stills count empty") << "source,folder,stills="
                                        << "NUMBER OF IMAGES MUST BE A NUMBER!"
                                        << "txtNumImages";
    QTest::newRow("output is the source") << "source,samefolder,name=clip.avi.flv,link"
                                          << "THE OUTPUT FILE IS THE SOURCE FILE! CHOOSE ANOTHER "
                                             "OUTPUT FILE NAME OR FOLDER."
                                          << "txtOutFile";
}

void TestConvert::validations()
{
    QFETCH(QString, setup);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    Ui::frmMain* ui = m_window->ui();
    QTemporaryDir out;
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    ui->cmbVideoWindow->setFocus();
    for (const QString& step : setup.split(',')) {
        const QString value = step.section('=', 1);
        if (step == "source")
            m_window->SetCaption(ui->lblInput, m_clip);
        else if (step == "folder")
            m_window->SetCaption(ui->lblOutDir, out.path() + "/");
        else if (step == "samefolder")
            m_window->SetCaption(ui->lblOutDir, m_media.path() + "/");
        else if (step.startsWith("name="))
            ui->txtOutFile->setText(value);
        else if (step == "watermark")
            ui->chkWatermark->setChecked(true);
        else if (step == "text")
            ui->txtWatermark->setText("x");
        else if (step.startsWith("alpha="))
            ui->txtAlpha->setText(value);
        else if (step.startsWith("stills=")) {
            ui->chkImage->setChecked(true);
            ui->txtNumImages->setText(value);
            ui->txtOutFile->setText("clip.flv");
        } else if (step == "link")
            QVERIFY(QFile::link(m_clip, m_media.filePath("clip.avi.flv")));
    }
    if (!setup.contains("name=") && setup.contains("folder"))
        ui->txtOutFile->setText("clip.flv");
    const QByteArray sourceBefore = [&] {
        QFile f(m_clip);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    ui->cmdConvert->click();
    QCOMPARE(texts(m_messages->messages), QStringList{message + "|16|Error"});
    QVERIFY(!m_window->JobRunning());
    QVERIFY(ui->cmdConvert->isEnabled());
    QVERIFY(ui->txtApp->text().isEmpty());
    const QString focused =
        QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : "";
    QCOMPARE(focused, focus.isEmpty() ? QString("cmbVideoWindow") : focus);
    QFile::remove(m_media.filePath("clip.avi.flv"));
    QFile f(m_clip);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), sourceBefore);
}

void TestConvert::badSourceStillTriesStills()
{
    QTemporaryDir out;
    const QString bad = m_media.filePath("broken.avi");
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("this is not a video at all");
    f.close();
    m_window->ui()->chkImage->setChecked(true);
    startJob(bad, out.path(), QString());
    waitForJob();
    QCOMPARE(texts(m_messages->messages),
             (QStringList{"ENCODING FAILED! POSSIBLE REASON IS A "
                          "DAMAGED/IMPROPER/CORRUPTED/UNSUPPORTED SOURCE VIDEO FILE.|16|Error",
                          "IMAGE GENERATION FAILED!|16|Error"}));
    QVERIFY(!m_window->EncodeSucceeded);
    QVERIFY(m_window->ui()->txtApp->text().contains("-vframes")); // no metadata step ran
    QCOMPARE(filesIn(out.path()), QStringList());
}

void TestConvert::missingInjector()
{
    AppFolderCopy app;
    QFile::remove(app.file("flvmdi"));
    AppPaths::SetAppFolder(app.path());
    QTemporaryDir out;
    startJob(m_clip, out.path(), QString());
    waitForJob();
    QCOMPARE(texts(m_messages->messages),
             QStringList{"CANNOT START FLVMDI! NO SUCH FILE OR DIRECTORY.|16|Error"});
    QVERIFY(m_window->EncodeSucceeded);
    QCOMPARE(filesIn(out.path()), QStringList{"clip.flv"});
}

// Long enough that the encoder is still at work when the test steps in.
QString TestConvert::longClip()
{
    const QString path = m_media.filePath("long.avi");
    if (!QFile::exists(path))
        makeVideo(path, 120, "640x480");
    m_window->ui()->cmbVideoWindow->setCurrentText("768x576");
    return path;
}

void TestConvert::waitForEncoderProgress()
{
    auto* status = m_window->ProgressWindow()->findChild<QLabel*>("lblStatus");
    QTRY_VERIFY_WITH_TIMEOUT(status->text().startsWith("frame="), 60000);
    QVERIFY(m_window->JobRunning());
}

void TestConvert::cancelInTheMiddle()
{
    QTemporaryDir out;
    startJob(longClip(), out.path(), QString());
    waitForEncoderProgress();
    m_window->ProgressWindow()->findChild<QPushButton*>("cmdCancel")->click();
    waitForJob();
    QCOMPARE(texts(m_messages->messages), QStringList{"CONVERSION CANCELLED!|64|Message"});
    QCOMPARE(filesIn(out.path()), QStringList()); // no half file, no temporary file
    // No encoder is left behind.
    QVERIFY(!run("pgrep", {"-f", out.path()}));
}

void TestConvert::closingDuringJobAsksThenStopsIt()
{
    QTemporaryDir out;
    startJob(longClip(), out.path(), QString());
    waitForEncoderProgress();
    m_messages->answers = {vbNo};
    m_window->close();
    QVERIFY(m_window->JobRunning()); // No: the job goes on
    m_messages->answers = {vbYes};
    m_window->close();
    QVERIFY(m_window->HasEnded());
    QCOMPARE(texts(m_messages->messages), (QStringList{"EXIT KESTREL FLV CONVERTER?|36|Confirm",
                                                       "EXIT KESTREL FLV CONVERTER?|36|Confirm"}));
    QVERIFY(!run("pgrep", {"-f", out.path()}));
    QCOMPARE(filesIn(out.path()), QStringList());
}

void TestConvert::hostileNames_data()
{
    QTest::addColumn<QString>("name");
    for (const QString& name : Corpus("hostile-names.txt"))
        QTest::newRow(qPrintable(name.left(40))) << name;
}

// Each name serves as the source's name, the folder's name and the output
// name: the job gives the FLV under that name and touches nothing else.
void TestConvert::hostileNames()
{
    QFETCH(QString, name);
    QTemporaryDir root;
    const QString folder = root.filePath(name);
    QVERIFY(QDir().mkpath(folder));
    const QString source = root.filePath("src/" + name);
    QDir().mkpath(root.filePath("src"));
    QVERIFY(QFile::copy(m_clip, source));
    const QString output = name.endsWith(".flv") ? name : name + ".flv";
    m_window->ui()->cmbVideoWindow->setCurrentText("160x120");
    startJob(source, folder, output);
    waitForJob();
    QCOMPARE(texts(m_messages->messages), QStringList{Success});
    QCOMPARE(filesIn(folder), QStringList{output});
    QCOMPARE(filesIn(root.filePath("src")), QStringList{name});
    QCOMPARE(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(),
             name == "src" ? 1 : 2);
    QCOMPARE(probe(QDir(folder).filePath(output))["streams"].toArray().size(), 2);
}

void TestConvert::hostileWatermarkTexts_data()
{
    QTest::addColumn<QString>("text");
    for (const QString& text : Corpus("hostile-texts.txt"))
        QTest::newRow(qPrintable(text.left(40))) << text;
}

void TestConvert::hostileWatermarkTexts()
{
    QFETCH(QString, text);
    QTemporaryDir out;
    const QStringList appBefore = filesIn(m_app->path());
    Ui::frmMain* ui = m_window->ui();
    ui->chkWatermark->setChecked(true);
    ui->txtWatermark->setText(text);
    ui->chkDisableAudio->setChecked(true);
    ui->cmbVideoWindow->setCurrentText("160x120");
    QDir::setCurrent(out.path()); // a text that wrote a file would write it here
    startJob(m_clip, out.path(), QString());
    waitForJob();
    QCOMPARE(texts(m_messages->messages), QStringList{Success});
    QCOMPARE(filesIn(out.path()), QStringList{"clip.flv"});
    QStringList appAfter = filesIn(m_app->path());
    appAfter.removeAll("input.bat");
    appAfter.removeAll("infile.txt");
    QStringList before = appBefore;
    before.removeAll("input.bat");
    before.removeAll("infile.txt");
    QCOMPARE(appAfter, before);
}

QTEST_MAIN(TestConvert)
#include "test_convert.moc"
