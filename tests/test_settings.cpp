// Watermark settings files: the byte layout, what a load applies, the saves
// that are refused, and the Save/Load Settings menu entries of the main window.
#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "settings/SettingsFile.h"
#include "tests/support/TestSupport.h"
#include "ui_frmMain.h"

#include <QDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace TestSupport;

namespace
{

// Scrambles one value the way the file layout prescribes, independently of
// the program's cipher: byte j is shifted by key byte (j + 1) mod 11.
QByteArray Scramble(const QByteArray& value, int direction = +1)
{
    static const QByteArray key = "morvatelkin";
    QByteArray out = value;
    for (qsizetype j = 0; j < out.size(); ++j)
        out[j] = char((uchar(out[j]) + direction * uchar(key[(j + 1) % key.size()])) & 0xFF);
    return out;
}

QByteArray FileOf(const QList<QByteArray>& values, const QByteArray& lineEnd = "\r\n")
{
    QByteArray file;
    for (const QByteArray& v : values)
        file += Scramble(v) + lineEnd;
    return file;
}

// "Sample", colour 6, opacity "255", top left, font 0, size 1: the start
// selections, written out byte by byte.
const QByteArray SampleFile = "\xC2\xD3\xE3\xD1\xE0\xCA\r\n"
                              "\xA5\r\n"
                              "\xA1\xA7\xAB\r\n"
                              "\xA0\r\n"
                              "\x9F\r\n"
                              "\xA0\r\n";

QString Describe(const LoadedSettings& s)
{
    QStringList parts;
    if (s.text)
        parts << "text=" + *s.text;
    if (s.colorIndex)
        parts << "color=" + QString::number(*s.colorIndex);
    if (s.alpha)
        parts << "alpha=" + *s.alpha;
    if (s.corner)
        parts << "corner=" + QString::number(int(*s.corner));
    if (s.fontIndex)
        parts << "font=" + QString::number(*s.fontIndex);
    if (s.fontSizeIndex)
        parts << "size=" + QString::number(*s.fontSizeIndex);
    parts << (s.complete ? "complete" : "stopped");
    return parts.join(' ');
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Caps the size of files this process may write while it lives.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_old); }

private:
    rlimit m_old{};
};

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { IsolateProcess(); }
    void layoutIsPinned();
    void load_data();
    void load();
    void lineCounterAndLineLength();
    void saveRefusals_data();
    void saveRefusals();
    void hostileTexts();
    void windowSaveThenLoad_data();
    void windowSaveThenLoad();
    void windowStartSelections();
    void windowSaveRefusedOrCancelled();
    void windowFailedSaveKeepsOldFile();
    void windowLoadOutcomes_data();
    void windowLoadOutcomes();
};

void TestSettings::layoutIsPinned()
{
    WatermarkSettings s{"Sample", 6, "255", WatermarkCorner::TopLeft, 0, 1};
    QCOMPARE(EncodeSettingsFile(s), SampleFile);
    QCOMPARE(Describe(DecodeSettingsFile(SampleFile, 10, 10)),
             QString("text=Sample color=6 alpha=255 corner=1 font=0 size=1 complete"));
    // Negative positions and non-ASCII text, against the independent scrambler.
    s = {"Grüße", -1, "12", WatermarkCorner::BottomRight, -1, 3};
    QCOMPARE(EncodeSettingsFile(s), FileOf({"Gr\xC3\xBC\xC3\x9F"
                                            "e",
                                            "-1", "12", "4", "-1", "3"}));
}

void TestSettings::load_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("applied");
    const QString all = "text=T color=2 alpha=9 corner=3 font=4 size=5";
    auto lines = [](QList<QByteArray> v) { return FileOf(v); };
    QTest::newRow("six lines") << lines({"T", "2", "9", "3", "4", "5"}) << all + " complete";
    QTest::newRow("lines after the sixth ignored")
        << lines({"T", "2", "9", "3", "4", "5", "junk", "99"}) << all + " complete";
    QTest::newRow("CR only") << FileOf({"T", "2", "9", "3", "4", "5"}, "\r") << all + " complete";
    QTest::newRow("no end after the last line")
        << lines({"T", "2", "9", "3", "4"}) + Scramble("5") << all + " complete";
    QTest::newRow("short file") << lines({"T", "2", "9"}) << "text=T color=2 alpha=9 complete";
    QTest::newRow("empty file") << QByteArray() << "complete";
    QTest::newRow("empty text line") << lines({""}) << "text= complete";
    QTest::newRow("colour junk") << lines({"T", "abc", "9"}) << "text=T stopped";
    QTest::newRow("colour overflow") << lines({"T", "32768"}) << "text=T stopped";
    QTest::newRow("colour rounded half to even")
        << lines({"T", " 6.5 ", "9"}) << "text=T color=6 alpha=9 complete";
    QTest::newRow("corner 7") << lines({"T", "2", "9", "7"})
                              << "text=T color=2 alpha=9 corner=4 complete";
    QTest::newRow("corner 1.0") << lines({"T", "2", "9", "1.0"})
                                << "text=T color=2 alpha=9 corner=1 complete";
    QTest::newRow("corner 1.4 is not 1")
        << lines({"T", "2", "9", "1.4"}) << "text=T color=2 alpha=9 corner=4 complete";
    QTest::newRow("corner huge") << lines({"T", "2", "9", "99999"})
                                 << "text=T color=2 alpha=9 corner=4 complete";
    QTest::newRow("corner abc") << lines({"T", "2", "9", "abc", "4"})
                                << "text=T color=2 alpha=9 stopped";
    QTest::newRow("font none") << lines({"T", "2", "9", "2", "-1", "0"})
                               << "text=T color=2 alpha=9 corner=2 font=-1 size=0 complete";
    QTest::newRow("font past the list")
        << lines({"T", "2", "9", "2", "10", "0"}) << "text=T color=2 alpha=9 corner=2 stopped";
    QTest::newRow("font -2") << lines({"T", "2", "9", "2", "-2"})
                             << "text=T color=2 alpha=9 corner=2 stopped";
    QTest::newRow("size past the list") << lines({"T", "2", "9", "2", "9", "7"})
                                        << "text=T color=2 alpha=9 corner=2 font=9 stopped";
}

void TestSettings::load()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, applied);
    QCOMPARE(Describe(DecodeSettingsFile(file, 10, 7)), applied);
}

void TestSettings::lineCounterAndLineLength()
{
    const QByteArray six = FileOf({"T", "2", "9", "3", "4", "5"});
    QByteArray many = six + QByteArray(32767 - 6, '\r');
    QVERIFY(DecodeSettingsFile(many, 10, 10).complete);
    many += "\r"; // line 32768 overflows the line counter after the values were applied
    const LoadedSettings loaded = DecodeSettingsFile(many, 10, 10);
    QVERIFY(!loaded.complete);
    QCOMPARE(loaded.fontSizeIndex, std::optional<qint16>(5));

    // The cipher takes at most 32767 bytes per value.
    QCOMPARE(*DecodeSettingsFile(QByteArray(32767, 'x'), 1, 1).text,
             QString(Scramble(QByteArray(32767, 'x'), -1)));
    QCOMPARE(Describe(DecodeSettingsFile(QByteArray(32768, 'x') + "\r\n", 1, 1)),
             QString("stopped"));
}

void TestSettings::saveRefusals_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("alpha");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("character");
    const int none = SettingsSaveProblem::None;
    const int breaks = SettingsSaveProblem::TextBreaksLine;
    QTest::newRow("plain") << "Sample"
                           << "255" << none << -1 << "";
    // Ø is C3 98; 0x98 plus the key's 'r' is 266, a LF.
    QTest::newRow("Ø first") << "Ø"
                             << "255" << breaks << 0 << "Ø";
    QTest::newRow("Ø second") << "aØ"
                              << "255" << none << -1 << "";
    QTest::newRow("CJK") << "Ünïcödé – 日本語"
                         << "255" << breaks << 11 << "本";
    QTest::newRow("emoji") << "xx🎬Ø"
                           << "255" << none << -1 << "";
    QTest::newRow("emoji first") << "🎬Ø"
                                 << "255" << breaks << 0 << "🎬";
    QTest::newRow("longest") << QString(32767, 'x') << "255" << none << -1 << "";
    QTest::newRow("too long") << QString(16384, u'é') << "255"
                              << int(SettingsSaveProblem::TextTooLong) << -1 << "";
    QTest::newRow("opacity") << "Sample"
                             << "Ø" << int(SettingsSaveProblem::AlphaBreaksLine) << -1 << "";
}

void TestSettings::saveRefusals()
{
    QFETCH(QString, text);
    QFETCH(QString, alpha);
    QFETCH(int, kind);
    QFETCH(int, position);
    QFETCH(QString, character);
    const WatermarkSettings s{text, 6, alpha, WatermarkCorner::TopLeft, 0, 1};
    const SettingsSaveProblem problem = CheckSettingsForSave(s);
    QCOMPARE(int(problem.kind), kind);
    QCOMPARE(problem.position, qsizetype(position));
    QCOMPARE(problem.character, character);
    if (problem)
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, EncodeSettingsFile(s));
    else
        QCOMPARE(*DecodeSettingsFile(EncodeSettingsFile(s), 1, 2).text, text);
}

void TestSettings::hostileTexts()
{
    const QStringList texts = {"Sample",
                               "two words",
                               "it's",
                               "say \"hi\"",
                               "50% %{pts} %d",
                               "a:b,c;d",
                               "[in]null[out]",
                               "{braces}",
                               "back\\slash",
                               "ends with backslash\\",
                               "q',metadata=mode=print:file=pwned.txt,drawtext=text='q",
                               "x\\' ; movie=/etc/passwd",
                               "$HOME `id` $(id)",
                               "Ünïcödé – 日本語",
                               "  blanks at both ends  ",
                               "-t nested -x 5",
                               QString(300, 'x')};
    for (const QString& text : texts) {
        const WatermarkSettings s{text, 6, "255", WatermarkCorner::TopLeft, 0, 1};
        if (CheckSettingsForSave(s)) {
            // A refusal only where the scrambled text really holds a line end.
            const QByteArray scrambled = Scramble(text.toUtf8());
            QVERIFY2(scrambled.contains('\r') || scrambled.contains('\n'), qPrintable(text));
            continue;
        }
        const LoadedSettings back = DecodeSettingsFile(EncodeSettingsFile(s), 1, 2);
        QVERIFY(back.complete);
        QCOMPARE(*back.text, text);
    }
}

void TestSettings::windowSaveThenLoad_data()
{
    QTest::addColumn<QString>("corner"); // the button selected on save, "" for none
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QString>("restored");
    QTest::newRow("top left") << "optTopLeft" << QByteArray("1") << "optTopLeft";
    QTest::newRow("bottom left") << "optBottomLeft" << QByteArray("2") << "optBottomLeft";
    QTest::newRow("top right") << "optTopRight" << QByteArray("3") << "optTopRight";
    QTest::newRow("bottom right") << "optBottomRight" << QByteArray("4") << "optBottomRight";
    QTest::newRow("none") << "" << QByteArray("4") << "optBottomRight";
}

void TestSettings::windowSaveThenLoad()
{
    QFETCH(QString, corner);
    QFETCH(QByteArray, code);
    QFETCH(QString, restored);
    QTemporaryDir dir;
    const QString path = dir.filePath("my logo"); // used as returned: no extension added
    MessageRecorder messages;
    DialogScript dialogs;
    frmMain w;
    StartWindow(w);
    auto* ui = w.ui();
    ui->txtWatermark->setText("© Kestrel – ünï");
    ui->ccbWatermarkColor->SetSelectionIndex(3);
    ui->txtAlpha->setText("128");
    for (QRadioButton* b : w.findChildren<QRadioButton*>()) {
        b->setAutoExclusive(false);
        b->setChecked(b->objectName() == corner);
        b->setAutoExclusive(true);
    }
    ui->cmbFontName->setCurrentIndex(2);
    ui->cmbFontSize->setCurrentIndex(0);
    dialogs.answers = {path};
    ui->mnuWMSaveSettings->trigger();

    QCOMPARE(dialogs.requests.size(), 1);
    QCOMPARE(dialogs.requests[0].kind, FileDialogRequest::Save);
    QCOMPARE(dialogs.requests[0].title, QString("Save Watermark Settings"));
    QCOMPARE(dialogs.requests[0].flags, 6);
    QCOMPARE(dialogs.requests[0].filterEntries, QStringList{"Watermark Settings File (*.wsx)"});
    QCOMPARE(messages.messages.size(), 1);
    QCOMPARE(messages.messages[0].text, "SETTINGS SAVED AS " + path);
    QCOMPARE(messages.messages[0].style, 64);
    QCOMPARE(messages.messages[0].title, QString(" Message"));
    QCOMPARE(ReadAll(path).split('\n').value(3), Scramble(code) + '\r');

    ui->txtWatermark->setText("other");
    ui->ccbWatermarkColor->SetSelectionIndex(0);
    ui->txtAlpha->setText("1");
    ui->optTopRight->setChecked(restored != "optTopRight");
    ui->optTopLeft->setChecked(restored == "optTopRight");
    ui->cmbFontName->setCurrentIndex(0);
    ui->cmbFontSize->setCurrentIndex(1);
    dialogs.answers = {path};
    ui->mnuWMLoadSettings->trigger();

    QCOMPARE(dialogs.requests[1].kind, FileDialogRequest::Open);
    QCOMPARE(dialogs.requests[1].title, QString("Load Watermark Settings"));
    QCOMPARE(dialogs.requests[1].flags, 6);
    QCOMPARE(messages.messages.size(), 1);
    QCOMPARE(ui->txtWatermark->text(), QString("© Kestrel – ünï"));
    QCOMPARE(ui->ccbWatermarkColor->SelectionIndex(), 3);
    QCOMPARE(ui->txtAlpha->text(), QString("128"));
    QVERIFY(w.findChild<QRadioButton*>(restored)->isChecked());
    QCOMPARE(ui->cmbFontName->currentIndex(), 2);
    QCOMPARE(ui->cmbFontFileName->currentIndex(), 2);
    QCOMPARE(ui->cmbFontSize->currentIndex(), 0);
    QVERIFY(ui->chkWatermark->isChecked());
}

void TestSettings::windowStartSelections()
{
    QTemporaryDir dir;
    MessageRecorder messages;
    DialogScript dialogs;
    frmMain w;
    StartWindow(w);
    w.ui()->txtWatermark->setText("Sample");
    dialogs.answers = {dir.filePath("start.wsx")};
    w.ui()->mnuWMSaveSettings->trigger();
    QCOMPARE(ReadAll(dir.filePath("start.wsx")), SampleFile);
}

void TestSettings::windowSaveRefusedOrCancelled()
{
    QTemporaryDir dir;
    MessageRecorder messages;
    DialogScript dialogs;
    frmMain w;
    StartWindow(w);
    w.ui()->mnuWMSaveSettings->trigger();
    QCOMPARE(messages.messages.size(), 1);
    QCOMPARE(messages.messages[0].text, QString("WATERMARK TEXT MISSING!"));
    QCOMPARE(messages.messages[0].style, 16);
    QCOMPARE(messages.messages[0].title, QString("Error"));
    QCOMPARE(w.focusWidget(), w.ui()->txtWatermark);

    w.ui()->txtWatermark->setText("Logo 日本語");
    w.ui()->mnuWMSaveSettings->trigger();
    QCOMPARE(messages.messages.size(), 2);
    QCOMPARE(messages.messages[1].text,
             QString("WATERMARK TEXT CANNOT BE SAVED: THE CHARACTER \"本\" AT POSITION 7 CANNOT BE "
                     "STORED IN A SETTINGS FILE. PLEASE REPLACE IT."));
    QCOMPARE(messages.messages[1].style, 16);
    QCOMPARE(messages.messages[1].title, QString("Error"));
    QCOMPARE(w.ui()->txtWatermark->selectedText(), QString("本"));
    QVERIFY(dialogs.requests.isEmpty()); // refused before any dialog

    w.ui()->txtWatermark->setText("Logo");
    dialogs.answers = {std::nullopt};
    w.ui()->mnuWMSaveSettings->trigger();
    QCOMPARE(dialogs.requests.size(), 1);
    QCOMPARE(messages.messages.size(), 2);
    QVERIFY(QDir(dir.path()).isEmpty());
}

void TestSettings::windowFailedSaveKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("kept.wsx");
    const QByteArray old = FileOf({"Old", "1", "255", "1", "0", "1"});
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(old);
    f.close();
    const QString pipe = dir.filePath("pipe.wsx");
    QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);

    MessageRecorder messages;
    DialogScript dialogs;
    frmMain w;
    StartWindow(w);
    w.ui()->txtWatermark->setText(QString(200, 'n'));
    dialogs.answers = {path, dir.filePath("missing/x.wsx"), pipe};
    {
        FileSizeLimit limit(64); // the new file is over 200 bytes
        w.ui()->mnuWMSaveSettings->trigger();
    }
    w.ui()->mnuWMSaveSettings->trigger(); // a folder that does not exist
    w.ui()->mnuWMSaveSettings->trigger(); // not a regular file: never replaced
    QVERIFY(messages.messages.isEmpty());
    QCOMPARE(ReadAll(path), old);
    QVERIFY(QFileInfo(pipe).exists() && !QFileInfo(pipe).isFile());
    QCOMPARE(QDir(dir.path())
                 .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot | QDir::Hidden),
             (QStringList{"kept.wsx", "pipe.wsx"}));
}

void TestSettings::windowLoadOutcomes_data()
{
    QTest::addColumn<QByteArray>("file"); // "<missing>": no such file; "<cancel>": cancelled
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("fontSize");
    QTest::addColumn<bool>("ticked");
    QTest::newRow("cancelled") << QByteArray("<cancel>") << "before" << 1 << false;
    QTest::newRow("missing file") << QByteArray("<missing>") << "before" << 1 << false;
    QTest::newRow("empty file") << QByteArray() << "before" << 1 << true;
    QTest::newRow("size not in the list")
        << FileOf({"partial", "0", "255", "1", "0", "9999"}) << "partial" << 1 << false;
}

void TestSettings::windowLoadOutcomes()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, text);
    QFETCH(int, fontSize);
    QFETCH(bool, ticked);
    QTemporaryDir dir;
    const QString path = dir.filePath("in.wsx");
    if (!file.startsWith('<')) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
    }
    MessageRecorder messages;
    DialogScript dialogs;
    frmMain w;
    StartWindow(w);
    w.ui()->txtWatermark->setText("before");
    if (file != "<cancel>")
        dialogs.answers = {path};
    w.ui()->mnuWMLoadSettings->trigger();
    QVERIFY(messages.messages.isEmpty());
    QCOMPARE(w.ui()->txtWatermark->text(), text);
    QCOMPARE(w.ui()->cmbFontSize->currentIndex(), fontSize);
    QCOMPARE(w.ui()->chkWatermark->isChecked(), ticked);
}

QTEST_MAIN(TestSettings)
#include "test_settings.moc"
