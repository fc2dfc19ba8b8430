// Watermark settings files without a window: the byte layout users exchange, what a load applies,
// the values a file cannot hold (tables in tests/golden), and safe saving.
#include "settings/Cipher.h"
#include "settings/SettingsFile.h"
#include "tests/support/TestSupport.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace TestSupport;

// The file whose lines hold these values, each line scrambled.
static QByteArray Scrambled(const QString& lines)
{
    QByteArray file;
    for (const QString& part : lines.split(QRegularExpression("(?=[\r\n])|(?<=[\r\n])")))
        file +=
            part == "\r" || part == "\n" ? part.toUtf8() : EncryptText(part.toUtf8(), CipherKey);
    return file;
}

static QString Describe(const LoadedSettings& s)
{
    const auto number = [](auto v) {
        return v ? QString::number(qint16(*v)) : std::optional<QString>();
    };
    QStringList parts;
    for (auto [name, value] :
         {std::pair{"text=", s.text},
          {"alpha=", s.alpha},
          {"color=", number(s.colorIndex)},
          {"corner=", number(s.corner ? std::optional(CornerFileCode(*s.corner)) : std::nullopt)},
          {"font=", number(s.fontIndex)},
          {"size=", number(s.fontSizeIndex)}})
        if (value)
            parts << name + *value;
    return (parts << (s.complete ? "complete" : "stopped")).join(' ');
}

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void contents();
};

void TestSettings::contents()
{
    // "Sample", colour 6, opacity "255", top left, font 0, size 1, byte by byte.
    const QByteArray sample =
        "\xC2\xD3\xE3\xD1\xE0\xCA\r\n\xA5\r\n\xA1\xA7\xAB\r\n\xA0\r\n\x9F\r\n\xA0\r\n";
    QCOMPARE(EncodeSettingsFile({"Sample", 6, "255", Corner::TopLeft, 0, 1}), sample);
    QCOMPARE(EncodeSettingsFile({"Grüße", -1, "12", Corner::BottomRight, -1, 3}),
             Scrambled("Grüße\r\n-1\r\n12\r\n4\r\n-1\r\n3\r\n"));
    CompareGoldenTable("settings-load.txt", [](const QString& lines) {
        return Describe(DecodeSettingsFile(Scrambled(lines), 10, 7));
    });
    CompareGoldenTable("settings-refusals.txt", [](const QString& text) {
        const WatermarkSettings s{text, 6, "255", Corner::TopLeft, 0, 1};
        const SettingsSaveProblem p = CheckSettingsForSave(s);
        return QString("%1 %2 %3").arg(p.kind).arg(p.position).arg(p.character) +
               (!p && DecodeSettingsFile(EncodeSettingsFile(s), 1, 2).text == text ? " comes back"
                                                                                   : "");
    });
    QByteArray many = Scrambled("T\r2\r9\r3\r4\r5\r") + QByteArray(32767 - 6, '\r');
    QVERIFY(DecodeSettingsFile(many, 10, 10).complete);
    many += "\r"; // line 32768 overflows the line counter after the values were applied
    QCOMPARE(Describe(DecodeSettingsFile(many, 10, 10)),
             QString("text=T alpha=9 color=2 corner=3 font=4 size=5 stopped"));
    // The cipher takes at most 32767 bytes a value.
    QCOMPARE(Describe(DecodeSettingsFile(QByteArray(32768, 'x') + "\r\n", 1, 1)),
             QString("stopped"));
    const WatermarkSettings longest{QString(32767, 'x'), 6, "255", Corner::TopLeft, 0, 1};
    QCOMPARE(*DecodeSettingsFile(EncodeSettingsFile(longest), 1, 2).text, longest.text);
    QCOMPARE(CheckSettingsForSave({QString(16384, u'é'), 6, "255", Corner::TopLeft, 0, 1}).kind,
             SettingsSaveProblem::TextTooLong);
    QCOMPARE(CheckSettingsForSave({"Sample", 6, "Ø", Corner::TopLeft, 0, 1}).kind,
             SettingsSaveProblem::AlphaBreaksLine);
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                             EncodeSettingsFile({"Ø", 6, "255", Corner::TopLeft, 0, 1}));
    // A save that cannot complete (full disk, missing folder, no regular file) keeps the old file.
    QTemporaryDir dir;
    const QString path = dir.filePath("kept.wsx"), pipe = dir.filePath("pipe.wsx");
    QVERIFY(WriteSettingsFile(path, "old"));
    QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit unlimited{};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    const rlimit limit{64, unlimited.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
    const bool cutShort = WriteSettingsFile(path, QByteArray(200, 'n'));
    setrlimit(RLIMIT_FSIZE, &unlimited);
    QVERIFY(!cutShort);
    QVERIFY(!WriteSettingsFile(dir.filePath("missing/x.wsx"), "new"));
    QVERIFY(!WriteSettingsFile(pipe, "new"));
    QFile kept(path);
    QVERIFY(kept.open(QIODevice::ReadOnly) && kept.readAll() == "old");
    QCOMPARE(QDir(dir.path())
                 .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{"kept.wsx", "pipe.wsx"}));
    QVERIFY(!QFileInfo(dir.filePath("pipe.wsx")).isFile());
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
