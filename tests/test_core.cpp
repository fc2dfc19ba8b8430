// Window-free logic against the tables in tests/golden: numbers, catalogs, cipher and link file.
#include "common/VbError.h"
#include "common/VbNumber.h"
#include "options/Catalogs.h"
#include "settings/Cipher.h"
#include "settings/LinkFile.h"
#include "tests/support/TestSupport.h"

using namespace TestSupport;

class TestCore : public QObject
{
    Q_OBJECT
private slots:
    void tables();
};

void TestCore::tables()
{
    CompareGoldenTable("numbers.txt",
                       [](const QString& t) { return QString::number(CIntOrThrow(t)); });
    CompareGoldenTable("catalog-lines.txt", [](const QString& data) {
        QStringList lines;
        for (const QByteArray& line : SplitCatalogLines(data.toLatin1()))
            lines << '[' + line + ']';
        return lines.join(' ');
    });
    CompareGoldenTable("font-lines.txt", [](const QString& line) {
        const FontEntry font = ParseFontLine(line);
        return font.fileName + '|' + font.displayName;
    });
    CompareGoldenTable("color-lines.txt", [](const QString& line) {
        const ColorEntry color = ParseColorLine(line);
        return color.name + '|' + QString::number(color.value);
    });
    CompareGoldenTable("catalog-failures.txt", [](const QString& change) {
        AppFolderCopy app;
        const QString file = change.section('=', 0, 0), content = change.section('=', 1);
        QFile::remove(app.file(file));
        if (content == "<folder>")
            QDir().mkpath(app.file(file));
        else if (content != "<missing>")
            app.writeFile(file, content.toLatin1());
        LoadCatalogs(app.path());
        return QString("loaded");
    });
    CompareGoldenTable("cipher.txt", [](const QString& text) {
        const QByteArray scrambled = EncryptText(text.toLatin1(), CipherKey);
        return QString::fromLatin1(scrambled) +
               (DecryptText(scrambled, CipherKey) == text.toLatin1() ? " comes back" : " is lost");
    });
    // The catalogs' line counter and the cipher stop at 32767.
    QCOMPARE(SplitCatalogLines(QByteArray(32767, '\r')).size(), 32767);
    QVERIFY_THROWS_EXCEPTION(VbError, SplitCatalogLines(QByteArray(32768, '\r')));
    QVERIFY_THROWS_EXCEPTION(VbError, EncryptText(QByteArray(32768, 'a'), CipherKey));
    // Every font the user can pick exists after the set-up; every colour is in the vhook table.
    const Catalogs catalogs = LoadCatalogs(BuiltAppFolder());
    for (const FontEntry& font : catalogs.fonts)
        QVERIFY2(QFile::exists("/usr/share/fonts/" + font.fileName), qPrintable(font.fileName));
    QFile table(BuiltAppFolder() + "/vhook/rgb.txt");
    QVERIFY(table.open(QIODevice::ReadOnly));
    const QString names = QString::fromLatin1(table.readAll()).toLower().remove(' ');
    for (const ColorEntry& color : catalogs.colors)
        QVERIFY2(names.contains('\t' + color.name.toLower() + '\n'), qPrintable(color.name));
    QTemporaryDir dir;
    WriteFile(dir.filePath("kestrel.swx"),
              MakeLinkFile("http://example.test/") + EncryptText("ignored", CipherKey) + "\r\n");
    QCOMPARE(ReadLinkFile(dir.filePath("kestrel.swx")), QString("http://example.test/"));
    // C3 98 scrambles to a line end: 98 + 'r' is LF.
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, MakeLinkFile("Ø"));
    QCOMPARE(ReadLinkFile(BuiltAppFolder() + "/kestrel.swx"), QString(KESTREL_TEST_HOME_ADDRESS));
}

QTEST_GUILESS_MAIN(TestCore)
#include "test_core.moc"
