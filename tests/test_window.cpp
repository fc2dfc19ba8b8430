// The main window, the splash and About, against reviewed descriptions and transcripts in golden/.
#include "app/AppStyle.h"
#include "app/frmAbout.h"
#include "app/frmSplash.h"
#include "common/AppPaths.h"
#include "options/VideoFilter.h"
#include "settings/LinkFile.h"
#include "settings/SettingsFile.h"
#include "tests/support/TestSupport.h"

#include <cmath>

using namespace TestSupport;

// Opens About from the menu, runs the check while it is up, closes it; returns whether it ran.
static bool WithAbout(frmMain& w, const std::function<void(frmAbout*)>& check)
{
    bool ran = false;
    QTimer::singleShot(0, [&] {
        if (auto* about = qobject_cast<frmAbout*>(QApplication::activeModalWidget())) {
            ran = true;
            check(about);
            about->close();
        }
    });
    w.ui()->mnuHelpAbout->trigger();
    return ran;
}

// The kinds of file that the real dialog an action opens offers, as the user reads them.
static QStringList FileKinds(const std::function<void()>& action)
{
    CommonDialog::SetBackend({});
    QStringList kinds;
    QTimer::singleShot(0, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            auto* list = dialog->findChild<QComboBox*>("fileTypeCombo");
            for (int i = 0; list && i < list->count(); ++i)
                kinds << list->itemText(i);
            dialog->reject();
        }
    });
    action();
    return kinds;
}

static double Contrast(const QColor& a, const QColor& b)
{
    auto luminance = [](const QColor& c) {
        double sum = 0;
        for (auto [v, weight] :
             {std::pair{c.redF(), 0.2126}, {c.greenF(), 0.7152}, {c.blueF(), 0.0722}})
            sum += weight * (v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
        return sum;
    };
    const double x = luminance(a), y = luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

class TestWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        IsolateProcess();
        ApplyAppStyle();
        qputenv("KESTREL_SITE_HOST", "site.example.test");
        QCOMPARE(frmSplash::TimerInterval(), 2000); // before the tests shorten it
    }
    void init() { AppPaths::SetAppFolder(BuiltAppFolder()); }
    void controlsAfterStartup();
    void splash();
    void picks();
    void settingsFiles();
    void links();
    void underDesktopThemes();
    void startupFailures();
};

void TestWindow::controlsAfterStartup()
{
    Window win;
    QString text = DescribeWindow(&win.w) + "WindowsDir " + win.w.WindowsDir + '\n';
    for (int page : {1, 2}) {
        win.ui()->sstThis->setCurrentIndex(page);
        text += QString("Tab cycle on page %1: ").arg(page) + TabCycle(&win.w).join(' ') + '\n';
    }
    CompareGolden("main-window.txt", text);
    QVERIFY(WithAbout(win.w, [](frmAbout* about) {
        CompareGolden("about.txt", DescribeWindow(about));
        QTest::mouseClick(about->findChild<QPushButton*>("cmdClose"), Qt::LeftButton);
        QVERIFY(!about->isVisible());
    }));
}

// Start-up waits while the splash is up, then goes on.
void TestWindow::splash()
{
    MessageRecorder messages;
    frmMain w;
    QString seen;
    QTimer::singleShot(50, [&] {
        if (auto* splash = qobject_cast<frmSplash*>(QApplication::activeModalWidget())) {
            seen = DescribeWindow(splash) + QString("main window shown %1, pointer %2\n")
                                                .arg(w.isVisible())
                                                .arg(w.cursor().shape());
            QTest::keyClick(splash, Qt::Key_Escape);
            splash->close();
            seen += QString("shown after Esc and close %1\n").arg(splash->isVisible());
        }
    });
    StartWindow(w, 400);
    CompareGolden("splash.txt", seen);
    QVERIFY(!QApplication::activeModalWidget());
}

// The picks: names proposed and refused, tooltips, the font file following the font, and the video
// kinds the real dialog offers, each named once as the program names it (Qt would add patterns).
void TestWindow::picks()
{
    Window win;
    auto* ui = win.ui();
    Transcript t(win);
    for (const QString pick :
         {"cmdInput /videos/My Clip.DivX", "cmdInput", "cmdOutput /", "cmdOutput",
          "cmdInput /v/a\tb.avi", "cmdOutput /home/me/Video", "cmdOutput /v/new\rfolder"}) {
        const QString button = pick.section(' ', 0, 0), answer = pick.section(' ', 1);
        win.dialogs.answers = {answer.isEmpty() ? std::nullopt : std::optional(answer)};
        win.w.findChild<QPushButton*>(button)->click();
        t.note(button + " answered " + (answer.isEmpty() ? "with a cancel" : answer));
    }
    for (int font : {3, -1}) {
        ui->cmbFontName->setCurrentIndex(font);
        t.note(QString("font %1 chosen").arg(font));
    }
    emit ui->swfControl->FSCommand("open", "");
    t.note("the player asks for a file");
    CompareGolden("picks.txt", t.text);
    const QStringList filter = VideoOpenFilter().split('|');
    QStringList videoKinds;
    for (qsizetype i = 0; i < filter.size(); i += 2)
        videoKinds << filter[i].trimmed();
    QCOMPARE(FileKinds([&] { ui->cmdInput->click(); }), videoKinds);
}

// Saving refuses what a file cannot hold, silently when it fails, and adds the ending a name typed
// without one lacks (asking before it replaces a file of that name); loading applies a damaged file
// (an unlisted font size) up to its damaged line and switches the watermark on only for a whole
// file. Each corner is stored as its code and comes back; none selected is saved as bottom right.
void TestWindow::settingsFiles()
{
    QTemporaryDir dir;
    const QString typed = dir.filePath("my logo"), path = typed + ".wsx",
                  damaged = dir.filePath("damaged.wsx");
    WriteFile(damaged, EncodeSettingsFile({"partial", 0, "255", Corner::BottomLeft, 0, 9999}));
    Window win;
    auto* ui = win.ui();
    ui->ccbWatermarkColor->SetSelectionIndex(3);
    ui->txtAlpha->setText("128");
    ui->cmbFontName->setCurrentIndex(2);
    ui->cmbFontSize->setCurrentIndex(0);
    Transcript t(win);
    ui->mnuWMSaveSettings->trigger();
    QCOMPARE(win.w.focusWidget(), ui->txtWatermark);
    ui->txtWatermark->setText("Logo 日本語");
    ui->mnuWMSaveSettings->trigger();
    QCOMPARE(ui->txtWatermark->selectedText(), QString("本"));
    t.note("save without a text, then with a character a file cannot hold");
    ui->txtWatermark->setText("© Kestrel – ünï");
    win.dialogs.answers = {"/nonexistent/x.wsx", std::nullopt, typed, path};
    ui->mnuWMSaveSettings->trigger();
    ui->mnuWMSaveSettings->trigger();
    t.note("a save that fails, one cancelled");
    ui->mnuWMSaveSettings->trigger();
    ui->txtWatermark->setText("other");
    ui->ccbWatermarkColor->SetSelectionIndex(0);
    ui->txtAlpha->setText("1");
    ui->cmbFontName->setCurrentIndex(0);
    ui->cmbFontSize->setCurrentIndex(1);
    ui->mnuWMLoadSettings->trigger();
    t.note("saved without its ending and loaded back");
    win.messages.answers = {vbNo};
    win.dialogs.answers = {typed, dir.filePath("logo.txt")};
    ui->mnuWMSaveSettings->trigger();
    ui->mnuWMSaveSettings->trigger();
    t.note("saved again without its ending (not replaced), then with another ending");
    ui->chkWatermark->setChecked(false);
    win.dialogs.answers = {damaged, std::nullopt, dir.filePath("missing.wsx")};
    for (const char* step : {"damaged file loaded", "load cancelled", "missing file loaded"}) {
        ui->mnuWMLoadSettings->trigger();
        t.note(step);
    }
    CompareGolden("settings.txt", t.text.replace(dir.path(), "<folder>"));
    QRadioButton* const corners[] = {ui->optTopLeft, ui->optBottomLeft, ui->optTopRight,
                                     ui->optBottomRight, nullptr};
    for (int code = 1; code <= 5; ++code) {
        for (QRadioButton* b : win.w.findChildren<QRadioButton*>()) {
            b->setAutoExclusive(false);
            b->setChecked(b == corners[code - 1]);
            b->setAutoExclusive(true);
        }
        win.dialogs.answers = {path, path};
        ui->mnuWMSaveSettings->trigger();
        const Corner corner = Corner(QList{0, 1, 3, 2, 4}[std::min(code, 4)]); // in file order
        QCOMPARE(ReadFile(path), EncodeSettingsFile({"partial", 0, "255", corner, 0, 0}));
        (code == 3 ? ui->optTopLeft : ui->optTopRight)->setChecked(true);
        ui->mnuWMLoadSettings->trigger();
        QVERIFY(corners[std::min(code, 4) - 1]->isChecked());
    }
}

// The link file's address goes out as it stands; the help page opens beside the program, whatever
// the working folder, and its links and pictures lead somewhere. A link dragged off opens nothing.
void TestWindow::links()
{
    AppFolderCopy app;
    app.writeFile("kestrel.swx", MakeLinkFile("http://link-file.example/start?a=1&b=%20"));
    AppPaths::SetAppFolder(app.path());
    QTemporaryDir elsewhere;
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    Window win;
    Transcript t(win);
    auto dragOff = [](QWidget* link, bool thenClick) {
        QTest::mousePress(link, Qt::LeftButton);
        QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(-3, link->height() + 3));
        if (thenClick)
            QTest::mouseClick(link, Qt::LeftButton);
    };
    for (QWidget* link : {win.ui()->lblLink, win.ui()->lblNews, win.ui()->lblKestrelNews})
        dragOff(link, link == win.ui()->lblLink);
    win.ui()->mnuWebVideoPlayer->trigger();
    QVERIFY(WithAbout(win.w, [&](frmAbout* about) {
        for (const char* link : {"lblKestrel", "lblKestrelSupport", "lblKestrelContact"})
            dragOff(about->findChild<QLabel*>(link), true);
    }));
    t.note("each link dragged off; the link line, the menu's web page and the About links clicked");
    win.ui()->mnuInstructions->trigger();
    QDir::setCurrent(before);
    QCOMPARE(win.links.opened.last(), QUrl::fromLocalFile(app.file("kstr_flvcn.html")));
    CompareGolden("links.txt", t.text);
    SetLinkOpener({}); // the offscreen platform opens nothing, as where no browser is installed
    QTest::mouseClick(win.ui()->lblLink, Qt::LeftButton);
    QCOMPARE(win.messages.texts(),
             QStringList{"NO WEB BROWSER FOUND! INSTALL ONE TO OPEN THIS LINK.|16|Error"});
    const QString html = ReadFile(BuiltAppFolder() + "/kstr_flvcn.html");
    int local = 0;
    for (const auto& m : QRegularExpression(R"re(\s(?:href|src)="([^"]*)")re").globalMatch(html)) {
        const QUrl url(m.captured(1).replace("&amp;", "&"));
        local += url.scheme().isEmpty();
        QVERIFY2(!url.scheme().isEmpty() ? url.scheme().startsWith("http")
                 : url.path().isEmpty()  ? html.contains(" id=\"" + url.fragment() + '"')
                                         : QFileInfo::exists(BuiltAppFolder() + '/' + url.path()),
                 qPrintable(url.toString()));
    }
    QVERIFY(local > 10);
}

// The frames' border runs through their caption, above the first row of controls; on a dark
// palette, even one a theme sets while the window is up, every text reads at 4.5:1 at least, links
// too. The white watermark box looks disabled when it is. Each caption fits its control whatever
// font a theme sets meanwhile; the tabs fit their row.
void TestWindow::underDesktopThemes()
{
    const QPalette light = QApplication::palette();
    QPalette dark(QColor("#31363b"), QColor("#31363b"));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(role, QColor("#eff0f1"));
    dark.setColor(QPalette::Base, QColor("#232629"));
    dark.setColor(QPalette::Highlight, QColor("#3daee9"));
    Window win;
    for (const QPalette& palette : {light, dark}) {
        QApplication::setPalette(palette);
        QTRY_COMPARE(win.ui()->txtWatermark->palette().color(QPalette::Disabled, QPalette::Base),
                     palette.color(QPalette::Disabled, QPalette::Base));
        for (QGroupBox* frame : win.w.findChildren<QGroupBox*>()) {
            const QImage look = frame->grab().toImage();
            int line = 0;
            while (line < look.height() &&
                   look.pixelColor(0, line).rgb() != palette.color(QPalette::Mid).rgb())
                ++line;
            for (QWidget* control : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                QVERIFY2(line < control->y(), qPrintable(control->objectName()));
        }
        for (QWidget* w : win.w.findChildren<QWidget*>()) {
            if (!w->isVisible())
                continue;
            const bool field = qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w);
            QColor text = w->palette().color(field ? QPalette::Text : QPalette::WindowText);
            if (qobject_cast<QGroupBox*>(w))
                text = CaptionColor(w);
            const QColor back = w->palette().color(field ? QPalette::Base : QPalette::Window);
            QVERIFY2(Contrast(text, back) >= 4.5, qPrintable(w->objectName()));
        }
    }
    QApplication::setPalette(light);
    QApplication::setFont(QFont("DejaVu Sans", 12));
    QCoreApplication::processEvents(); // where the window would take it
    for (QWidget* w : win.w.findChildren<QWidget*>()) {
        auto* button = qobject_cast<QAbstractButton*>(w);
        auto* label = qobject_cast<QLabel*>(w);
        auto* frame = qobject_cast<QGroupBox*>(w);
        if (w->isHidden() || !(button || label || frame))
            continue;
        QStyleOptionButton option;
        option.initFrom(w);
        const auto part = qobject_cast<QRadioButton*>(w) ? QStyle::SE_RadioButtonContents
                          : qobject_cast<QCheckBox*>(w)  ? QStyle::SE_CheckBoxContents
                                                         : QStyle::SE_PushButtonContents;
        const int room = button ? w->style()->subElementRect(part, &option, w).width()
                                : w->contentsRect().width();
        const QString text = label ? label->text() : frame ? frame->title() : button->text();
        QVERIFY2(w->fontMetrics().horizontalAdvance(QString(text).remove('&')) <= room,
                 qPrintable(w->objectName()));
    }
    QVERIFY(win.ui()->sstThis->tabBar()->sizeHint().width() <= win.ui()->sstThis->width());
}

// A damaged link file stops start-up with one message, no exit question; a missing or broken player
// movie leaves a window without a player, which takes a file silently.
void TestWindow::startupFailures()
{
    const char* const rows[][3] = {
        {"kestrel.swx", "", "62 - INPUT PAST END OF FILE: KESTREL.SWX"},
        {"kstr_flvp_small.qml", nullptr, "player movie .* is missing"},
        {"kstr_flvp_small.qml", "<swf/>", "player movie .* cannot be run"}};
    for (const auto& [file, content, failure] : rows) {
        AppFolderCopy app;
        QFile::remove(app.file(file));
        if (content)
            app.writeFile(file, content);
        AppPaths::SetAppFolder(app.path());
        const bool player = QString(file).endsWith(".qml");
        if (player)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(failure));
        Window win;
        if (player) {
            win.ui()->sstThis->setCurrentIndex(1); // the player's tab: its movie would run
            QVERIFY(!win.ui()->swfControl->MovieItem() && !win.w.blnForceExit && win.w.isVisible());
            win.ui()->swfControl->SetVariable("varFlvFile", app.file("kestrel"));
        }
        QCOMPARE(win.messages.texts(),
                 player ? QStringList()
                        : QStringList{"INTERNAL ERROR OCCURED - ERROR NUMBER: " + QString(failure) +
                                      ". PLEASE CONTACT SUPPORT.|16|Error"});
        QCOMPARE(win.w.blnForceExit && win.w.HasEnded() && !win.w.isVisible(), !player);
    }
}

QTEST_MAIN(TestWindow)
#include "test_window.moc"
