// Window-free logic: number reading, catalogs, the cipher and the link file.
#include "common/VbError.h"
#include "common/VbNumber.h"
#include "options/Catalogs.h"
#include "settings/Cipher.h"
#include "settings/LinkFile.h"
#include "tests/support/TestSupport.h"

#include <QTest>

using ByteLines = QList<QByteArray>;

class TestCore : public QObject
{
    Q_OBJECT
private slots:
    void vbInteger_data();
    void vbInteger();
    void catalogLines_data();
    void catalogLines();
    void catalogLineCounterOverflows();
    void fontLines_data();
    void fontLines();
    void colorLines_data();
    void colorLines();
    void loadCatalogFailures_data();
    void loadCatalogFailures();
    void shippedCatalogsLoad();
    void cipher_data();
    void cipher();
    void cipherRoundTripsEveryByte();
    void cipherLengthLimit();
    void linkFile();
    void builtLinkFileHoldsConfiguredAddress();
};

void TestCore::vbInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected"); // 99999 = type mismatch, 88888 = overflow
    const int junk = 99999, overflow = 88888;
    QTest::newRow("plain") << "255" << 255;
    QTest::newRow("blanks around") << " 12 " << 12;
    QTest::newRow("comma after digits") << "240," << 240;
    QTest::newRow("comma with blanks") << " 96 , " << 96;
    QTest::newRow("half to even down") << "12.5" << 12;
    QTest::newRow("half to even up") << "13.5" << 14;
    QTest::newRow("fraction rounds") << "2.6" << 3;
    QTest::newRow("negative") << "-50" << -50;
    QTest::newRow("lowest") << "-32768" << -32768;
    QTest::newRow("highest") << "32767" << 32767;
    QTest::newRow("too high") << "32768" << overflow;
    QTest::newRow("too low") << "-32769" << overflow;
    QTest::newRow("rounds past the top") << "32767.5" << overflow;
    QTest::newRow("empty") << "" << junk;
    QTest::newRow("blanks only") << "   " << junk;
    QTest::newRow("letters") << "ab" << junk;
    QTest::newRow("two numbers") << "1 2" << junk;
    QTest::newRow("trailing junk") << "12px" << junk;
    QTest::newRow("comma before digits") << ",12" << junk;
    QTest::newRow("two commas") << "12,," << junk;
    QTest::newRow("sign alone") << "-" << junk;
    QTest::newRow("non-ASCII digit") << QString::fromUtf8("\u0663") << junk;
}

void TestCore::vbInteger()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    const VbInteger n = ParseVbInteger(text);
    if (expected == 99999) {
        QVERIFY(!n.ok());
        QCOMPARE(n.error, VbNumberError::TypeMismatch);
        QVERIFY_THROWS_EXCEPTION(VbError, CIntOrThrow(text));
    } else if (expected == 88888) {
        QVERIFY(!n.ok());
        QCOMPARE(n.error, VbNumberError::Overflow);
        try {
            CIntOrThrow(text);
            QFAIL("no overflow");
        } catch (const VbError& e) {
            QCOMPARE(e.number(), 6);
        }
    } else {
        QVERIFY(n.ok());
        QCOMPARE(int(*n.value), expected);
    }
}

void TestCore::catalogLines_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<ByteLines>("lines");
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << ByteLines{"a", "b"};
    QTest::newRow("CR alone") << QByteArray("a\rb\r") << ByteLines{"a", "b"};
    QTest::newRow("LF alone is no line end") << QByteArray("a\nb\r\n") << ByteLines{"a\nb"};
    QTest::newRow("last line without end") << QByteArray("a\r\nb") << ByteLines{"a", "b"};
    QTest::newRow("blank lines") << QByteArray("a\r\n\r\n\rb") << ByteLines{"a", "", "", "b"};
    QTest::newRow("empty file") << QByteArray() << ByteLines{};
    QTest::newRow("only a line end") << QByteArray("\r\n") << ByteLines{""};
    QTest::newRow("CR LF LF") << QByteArray("a\r\n\nb") << ByteLines{"a", "\nb"};
}

void TestCore::catalogLines()
{
    QFETCH(QByteArray, data);
    QFETCH(ByteLines, lines);
    QCOMPARE(SplitCatalogLines(data), lines);
}

void TestCore::catalogLineCounterOverflows()
{
    QCOMPARE(SplitCatalogLines(QByteArray(32767 * 2, 'x').replace("xx", "x\r")).size(), 32767);
    QByteArray tooMany;
    for (int i = 0; i < 32768; ++i)
        tooMany += "x\r\n";
    try {
        SplitCatalogLines(tooMany);
        QFAIL("no overflow");
    } catch (const VbError& e) {
        QCOMPARE(e.number(), 6);
    }
}

void TestCore::fontLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("display");
    QTest::newRow("two fields") << "arial,Arial"
                                << "arial"
                                << "Arial";
    QTest::newRow("blank after comma stays") << "a.ttf, Arial"
                                             << "a.ttf"
                                             << " Arial";
    QTest::newRow("third field ignored") << "a.ttf,A,extra"
                                         << "a.ttf"
                                         << "A";
    QTest::newRow("empty display name") << "a.ttf,"
                                        << "a.ttf"
                                        << "";
}

void TestCore::fontLines()
{
    QFETCH(QString, line);
    QFETCH(QString, file);
    QFETCH(QString, display);
    const FontEntry entry = ParseFontLine(line);
    QCOMPARE(entry.fileName, file);
    QCOMPARE(entry.displayName, display);
}

void TestCore::colorLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("name");
    QTest::addColumn<qlonglong>("value"); // -1: error number in "error"
    QTest::addColumn<int>("error");
    QTest::newRow("red") << "255 0 0 red"
                         << "red" << 255LL << 0;
    QTest::newRow("blue") << "0 0 255 blue"
                          << "blue" << 16711680LL << 0;
    QTest::newRow("green above 127") << "0 255 0 green"
                                     << "green" << 65280LL << 0;
    QTest::newRow("name ends at blank") << "240 248 255 alice blue"
                                        << "alice" << 16775408LL << 0;
    QTest::newRow("two blanks before name") << "1 2 3  x"
                                            << "" << 197121LL << 0;
    QTest::newRow("out of range component") << "300 0 0 hot"
                                            << "hot" << 300LL << 0;
    QTest::newRow("three fields") << "1 2 3"
                                  << "" << -1LL << 9;
    QTest::newRow("empty line") << ""
                                << "" << -1LL << 9;
    QTest::newRow("two blanks between numbers") << "1  2 3 x"
                                                << "" << -1LL << 13;
    QTest::newRow("not a number") << "a 2 3 x"
                                  << "" << -1LL << 13;
    QTest::newRow("16-bit overflow") << "40000 2 3 x"
                                     << "" << -1LL << 6;
}

void TestCore::colorLines()
{
    QFETCH(QString, line);
    QFETCH(QString, name);
    QFETCH(qlonglong, value);
    QFETCH(int, error);
    if (value < 0) {
        try {
            ParseColorLine(line);
            QFAIL("accepted");
        } catch (const VbError& e) {
            QCOMPARE(e.number(), error);
        }
        return;
    }
    const ColorEntry entry = ParseColorLine(line);
    QCOMPARE(entry.name, name);
    QCOMPARE(qlonglong(entry.value), value);
}

void TestCore::loadCatalogFailures_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content"); // "<missing>" removes the file
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("colors missing")
        << "colors.txt" << QByteArray("<missing>") << 53 << "colors.txt";
    QTest::newRow("fonts missing") << "fonts.txt" << QByteArray("<missing>") << 53 << "fonts.txt";
    QTest::newRow("font without comma")
        << "fonts.txt" << QByteArray("a.ttf\r\n") << 9 << "fonts.txt";
    QTest::newRow("no fonts") << "fonts.txt" << QByteArray() << 380 << "fonts.txt";
    QTest::newRow("one size") << "fontsizes.txt" << QByteArray("12\r\n") << 380 << "fontsizes.txt";
    QTest::newRow("colour line short")
        << "colors.txt" << QByteArray("1 2 3\r\n") << 9 << "colors.txt";
    QTest::newRow("colour is a folder")
        << "colors.txt" << QByteArray("<folder>") << 75 << "colors.txt";
}

void TestCore::loadCatalogFailures()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(int, error);
    QFETCH(QString, mentions);
    TestSupport::AppFolderCopy app;
    QFile::remove(app.file(file));
    if (content == "<folder>")
        QDir().mkpath(app.file(file));
    else if (content != "<missing>")
        app.writeFile(file, content);
    try {
        LoadCatalogs(app.path());
        QFAIL("loaded");
    } catch (const VbError& e) {
        QCOMPARE(e.number(), error);
        QVERIFY2(e.description().contains(mentions), qPrintable(e.description()));
    }
}

void TestCore::shippedCatalogsLoad()
{
    const Catalogs catalogs = LoadCatalogs(TestSupport::BuiltAppFolder());
    QVERIFY(catalogs.colors.size() >= 7);
    QVERIFY(catalogs.fontSizes.size() >= 2);
    // Every font the user can pick exists after the set-up, and every colour
    // name is in the table the watermark step reads.
    for (const FontEntry& font : catalogs.fonts)
        QVERIFY2(QFile::exists("/usr/share/fonts/" + font.fileName), qPrintable(font.fileName));
    QFile table(TestSupport::BuiltAppFolder() + "/vhook/rgb.txt");
    QVERIFY(table.open(QIODevice::ReadOnly));
    const QString names = QString::fromLatin1(table.readAll()).toLower().remove(' ');
    for (const ColorEntry& color : catalogs.colors)
        QVERIFY2(names.contains('\t' + color.name.toLower() + '\n'), qPrintable(color.name));
}

void TestCore::cipher_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("scrambled");
    QTest::newRow("empty text") << QByteArray() << QByteArray("morvatelkin") << QByteArray();
    QTest::newRow("empty key") << QByteArray("abc") << QByteArray() << QByteArray("abc");
    // The first text byte takes the key's second character ('o' = 111).
    QTest::newRow("one byte") << QByteArray("\x01", 1) << QByteArray("morvatelkin")
                              << QByteArray(1, char(112));
    QTest::newRow("one-character key")
        << QByteArray("\x01\x02", 2) << QByteArray("a") << QByteArray("bc");
    // A text of the key's length uses key characters 2..L, then the first.
    QTest::newRow("key length") << QByteArray(11, '\0') << QByteArray("morvatelkin")
                                << QByteArray("orvatelkinm");
    QTest::newRow("wraps past 255") << QByteArray("\xF0", 1) << QByteArray("morvatelkin")
                                    << QByteArray(1, char((0xF0 + 'o') - 256));
    QTest::newRow("value 6") << QByteArray("6") << QByteArray("morvatelkin")
                             << QByteArray(1, char('6' + 'o'));
}

void TestCore::cipher()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, scrambled);
    QCOMPARE(EncryptText(text, key), scrambled);
    QCOMPARE(DecryptText(scrambled, key), text);
}

void TestCore::cipherRoundTripsEveryByte()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    for (const QByteArray& key : {QByteArray(CipherKey), QByteArray("z"), QByteArray("\xFF\x01")}) {
        const QByteArray scrambled = EncryptText(all, key);
        QCOMPARE(scrambled.size(), all.size());
        QCOMPARE(DecryptText(scrambled, key), all);
    }
}

void TestCore::cipherLengthLimit()
{
    QCOMPARE(EncryptText(QByteArray(32767, 'a'), CipherKey).size(), 32767);
    QVERIFY_THROWS_EXCEPTION(VbError, EncryptText(QByteArray(32768, 'a'), CipherKey));
    QVERIFY_THROWS_EXCEPTION(VbError, DecryptText(QByteArray(32768, 'a'), CipherKey));
}

void TestCore::linkFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("kestrel.swx");
    auto write = [&](const QByteArray& bytes) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    };
    write(MakeLinkFile("http://example.test/") + EncryptText("ignored", CipherKey) + "\r\n");
    QCOMPARE(ReadLinkFile(path), QString("http://example.test/"));

    write(QByteArray());
    try {
        ReadLinkFile(path);
        QFAIL("an empty link file was read");
    } catch (const VbError& e) {
        QCOMPARE(e.number(), 62);
    }
    QFile::remove(path);
    try {
        ReadLinkFile(path);
        QFAIL("a missing link file was read");
    } catch (const VbError& e) {
        QCOMPARE(e.number(), 53);
    }
    // Bytes that the cipher would turn into a line end are refused.
    QByteArray breaking(1, char(13 + 256 - 'o'));
    QVERIFY(ScrambledValueBreaksLine(breaking));
    QVERIFY(!ScrambledValueBreaksLine("http://example.test/"));
}

void TestCore::builtLinkFileHoldsConfiguredAddress()
{
    QCOMPARE(ReadLinkFile(TestSupport::BuiltAppFolder() + "/kestrel.swx"),
             QString(KESTREL_TEST_HOME_ADDRESS));
}

QTEST_GUILESS_MAIN(TestCore)
#include "test_core.moc"
