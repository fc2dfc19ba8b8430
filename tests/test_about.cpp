// The About window, the help page behind F1 and the web links.
#include "app/frmAbout.h"
#include "app/frmMain.h"
#include "app/mdlMain.h"
#include "common/AppPaths.h"
#include "tests/support/TestSupport.h"
#include "ui_frmMain.h"

#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace TestSupport;

namespace
{

// Opens About from the main window's menu, runs the check while it is up and
// closes it; returns whether the check ran.
bool WithAbout(frmMain& w, const std::function<void(frmAbout*)>& check)
{
    bool ran = false;
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<frmAbout*>(QApplication::activeModalWidget());
        if (!about)
            return;
        ran = true;
        check(about);
        about->close();
    });
    w.ui()->mnuHelpAbout->trigger();
    return ran;
}

// Clicks "Exit Software" the way the user does, through the window system,
// which holds back input to a window that a modal window blocks.
void ClickExit(frmMain& w)
{
    QPushButton* exit = w.ui()->cmdExit;
    const QPoint at = exit->mapTo(&w, exit->rect().center());
    QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, at);
}

const char* SiteHost = "site.example.test";

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        IsolateProcess();
        qputenv("KESTREL_SITE_HOST", SiteHost);
    }
    void aboutWindow();
    void links_data();
    void links();
    void helpFromAnotherWorkingFolder();
    void helpPage();
};

void TestAbout::aboutWindow()
{
    MessageRecorder messages;
    frmMain w;
    StartWindow(w);
    const bool ran = WithAbout(w, [&](frmAbout* about) {
        QVERIFY(about->isModal());
        QCOMPARE(about->windowTitle(), QString("Kestrel FLV Converter & Watermarker"));
        QCOMPARE(about->size(), QSize(363, 215));
        QCOMPARE(about->minimumSize(), about->maximumSize());
        QVERIFY(!(about->windowFlags() &
                  (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(about->windowFlags() & Qt::WindowCloseButtonHint);
        QVERIFY(!about->windowIcon().isNull());
        QCOMPARE(about->findChild<QLabel*>("imgAbout")->pixmap().size(), QSize(32, 32));
        QCOMPARE(about->findChild<QGroupBox*>("Frame1")->geometry(), QRect(48, 0, 309, 173));
        auto* close = about->findChild<QPushButton*>("cmdClose");
        QCOMPARE(close->geometry(), QRect(48, 180, 110, 29));
        QCOMPARE(close->text(), QString("&Close"));
        QCOMPARE(close->toolTip(), QString(" Close this window "));

        const QList<QStringList> labels = {
            {"lblSoftwareName", "8,12", "Kestrel FLV Converter & Watermarker", ""},
            {"lblSoftwareVer", "8,28", "Ver 7 build 0.0.1", ""},
            {"lblWebsite", "8,56", "Website:", ""},
            {"lblKestrel", "80,56", SiteHost, " Visit Website "},
            {"lblSupport", "8,76", "Support:", ""},
            {"lblKestrelSupport", "80,76", QString(SiteHost) + "/support", " Kestrel Support "},
            {"lblOther", "8,96", "Other:", ""},
            {"lblKestrelContact", "80,96", QString(SiteHost) + "/contact", " Contact Kestrel "},
            {"lblUses", "8,124", "Uses FFMPEG (Under LGPL) and FLVMDI (With Permission)",
             " Thank You! "},
        };
        for (const QStringList& l : labels) {
            auto* label = about->findChild<QLabel*>(l[0]);
            QVERIFY2(label, qPrintable(l[0]));
            QCOMPARE(label->parentWidget()->objectName(), QString("Frame1"));
            QCOMPARE(QString("%1,%2").arg(label->x()).arg(label->y()), l[1]);
            QCOMPARE(label->height(), 17);
            QCOMPARE(label->text(), l[2]);
            QCOMPARE(label->toolTip(), l[3]);
            // Links are blue and underlined.
            const bool link = l[0].startsWith("lblKestrel");
            QCOMPARE(label->font().underline(), link);
            QCOMPARE(label->palette().color(QPalette::WindowText) == QColor(0, 0, 255), link);
        }
        auto* copyright = about->findChild<QLabel*>("lblCopyright");
        QVERIFY(copyright->font().bold());
        QCOMPARE(copyright->toolTip(), QString(" support@") + SiteHost + ' ');

        // The main window takes no input meanwhile: Exit would ask its question.
        ClickExit(w);
        QVERIFY(messages.messages.isEmpty());
        QTest::mouseClick(close, Qt::LeftButton);
        QVERIFY(!about->isVisible());
    });
    QVERIFY(ran);
    ClickExit(w); // answered No
    QCOMPARE(messages.messages.size(), 1);
    // Each opening makes a fresh window; the close box ends it as well.
    QVERIFY(w.findChildren<frmAbout*>().isEmpty());
    QVERIFY(WithAbout(w, [](frmAbout*) {}));
    QVERIFY(w.findChildren<frmAbout*>().isEmpty());
    QVERIFY(w.isVisible());
}

void TestAbout::links_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("address");
    const QString target = "http://link-file.example/from-start-up?a=1&b=%20";
    QTest::newRow("About website") << "lblKestrel" << target;
    QTest::newRow("About support") << "lblKestrelSupport"
                                   << "http://site.example.test/support";
    QTest::newRow("About contact") << "lblKestrelContact"
                                   << "http://site.example.test/contact";
    QTest::newRow("link line") << "lblLink" << target;
    QTest::newRow("Web Video Player") << "mnuWebVideoPlayer" << target;
}

void TestAbout::links()
{
    QFETCH(QString, control);
    QFETCH(QString, address);
    MessageRecorder messages;
    LinkRecorder opened;
    frmMain w;
    StartWindow(w);
    // The address from the link file goes out exactly as start-up left it.
    mdlMain::LinkTarget = "http://link-file.example/from-start-up?a=1&b=%20";
    if (control == "mnuWebVideoPlayer") {
        w.ui()->mnuWebVideoPlayer->trigger();
    } else if (control == "lblLink") {
        QTest::mouseClick(w.ui()->lblLink, Qt::LeftButton);
    } else {
        QVERIFY(WithAbout(w, [&](frmAbout* about) {
            QTest::mouseClick(about->findChild<QLabel*>(control), Qt::LeftButton);
        }));
    }
    QCOMPARE(opened.opened.size(), 1);
    QCOMPARE(opened.opened[0].toString(QUrl::FullyEncoded), address);
}

void TestAbout::helpFromAnotherWorkingFolder()
{
    QTemporaryDir elsewhere;
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    MessageRecorder messages;
    LinkRecorder opened;
    frmMain w;
    StartWindow(w);
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_F1);
    QCOMPARE(opened.opened.size(), 1);
    const QUrl help = opened.opened[0];
    QCOMPARE(help, QUrl::fromLocalFile(BuiltAppFolder() + "/kstr_flvcn.html"));
    QVERIFY(QFileInfo(help.toLocalFile()).isAbsolute());
    QVERIFY(QFileInfo::exists(help.toLocalFile()));

    // Without a folder set for the tests, the program's own folder counts.
    AppPaths::SetAppFolder(QString());
    w.ui()->mnuInstructions->trigger();
    AppPaths::SetAppFolder(BuiltAppFolder());
    QDir::setCurrent(before);
    QCOMPARE(opened.opened.value(1),
             QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + "/kstr_flvcn.html"));
}

// The delivered page: every local link and picture exists, every jump inside
// the page has its target, and every message the user can meet is explained.
void TestAbout::helpPage()
{
    const QString page = BuiltAppFolder() + "/kstr_flvcn.html";
    QFile file(page);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());

    QSet<QString> ids;
    for (const auto& m : QRegularExpression(R"re(\sid="([^"]+)")re").globalMatch(html))
        ids.insert(m.captured(1));
    int local = 0;
    for (const auto& m : QRegularExpression(R"re(\s(?:href|src)="([^"]*)")re").globalMatch(html)) {
        QString ref = m.captured(1);
        ref.replace("&amp;", "&");
        QVERIFY2(!ref.isEmpty(), "an empty link");
        const QUrl url(ref);
        if (!url.scheme().isEmpty()) {
            QVERIFY2(url.scheme() == "http" || url.scheme() == "https", qPrintable(ref));
            continue;
        }
        ++local;
        if (!url.path().isEmpty())
            QVERIFY2(QFileInfo::exists(QFileInfo(page).dir().filePath(url.path())),
                     qPrintable(ref));
        if (url.hasFragment() && url.path().isEmpty())
            QVERIFY2(ids.contains(url.fragment()), qPrintable(ref));
    }
    QVERIFY(local > 10);
    QVERIFY(html.contains(R"(<img src="kestrel-48.png")"));

    const QString text = QString(html).replace(QRegularExpression("<[^>]*>"), "").simplified();
    for (const char* message :
         {"NO FILE TO ENCODE!", "OUTPUT FOLDER MISSING!", "OUTPUT FILE NAME MISSING!",
          "INVALID OUTPUT FILE NAME! MUST BE A .FLV FILE.", "WATERMARK TEXT MISSING!",
          "ENCODING FAILED! POSSIBLE REASON IS A DAMAGED/IMPROPER/CORRUPTED/UNSUPPORTED SOURCE "
          "VIDEO FILE.",
          "FLV CONVERSION SUCCESSFUL!", "FLV METADATA INJECTION FAILED!", "IMAGE(S) GENERATED!",
          "IMAGE GENERATION FAILED!", "SETTINGS SAVED AS", "EXIT KESTREL FLV CONVERTER?",
          "THIS SOFTWARE IS ALREADY OPEN!",
          "INTERNAL ERROR OCCURED - ERROR NUMBER:", "WATERMARK TEXT TOO LONG FOR A SETTINGS FILE!",
          "WATERMARK OPACITY CANNOT BE STORED IN A SETTINGS FILE!"})
        QVERIFY2(text.contains(QLatin1String(message)), message);
}

QTEST_MAIN(TestAbout)
#include "test_about.moc"
