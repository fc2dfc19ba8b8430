// The main window after start-up: lists, focus order, keys, menus, the exit
// question and the start-up failures.
#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "app/frmSplash.h"
#include "common/AppPaths.h"
#include "pipeline/ConversionJob.h"
#include "tests/support/TestSupport.h"
#include "ui_frmMain.h"

#include <QAction>
#include <QLockFile>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTimer>

using namespace TestSupport;

class TestWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { IsolateProcess(); }
    void init() { AppPaths::SetAppFolder(BuiltAppFolder()); }
    void startEntries();
    void windowFrame();
    void tabOrderSkipsLabelsAndHiddenControls();
    void accessKeys_data();
    void accessKeys();
    void maxLengthWhenTyping();
    void menus_data();
    void menus();
    void cornerButtonsExclusive();
    void exitQuestion();
    void startupFailures_data();
    void startupFailures();
    void secondCopyShowsOnlyItsMessage();
    void splashHoldsStartupThenClosesItself();
};

void TestWindow::startEntries()
{
    MessageRecorder messages;
    frmMain w;
    StartWindow(w);
    QVERIFY(messages.messages.isEmpty());
    const QList<QPair<const char*, const char*>> expected = {
        {"cmbVideoWindow", "400x300"}, {"cmbVideoBitrate", "225"}, {"cmbVideoFrameRate", "24"},
        {"cmbAudioSampling", "22050"}, {"cmbAudioBitrate", "64"},  {"cmbAudioChannel", "Mono"},
    };
    for (const auto& [name, text] : expected)
        QCOMPARE(w.findChild<QComboBox*>(name)->currentText(), QString(text));
    QCOMPARE(w.ui()->cmbVideoWindow->count(), 13);
    QCOMPARE(w.ui()->cmbVideoWindow->itemText(1), QString("240x180"));
    QCOMPARE(w.ui()->cmbVideoWindow->itemText(2), QString("240x135"));
    QCOMPARE(w.ui()->cmbFontName->currentIndex(), 0);
    QCOMPARE(w.ui()->cmbFontFileName->currentIndex(), 0);
    QCOMPARE(w.ui()->cmbFontFileName->count(), w.ui()->cmbFontName->count());
    QCOMPARE(w.ui()->cmbFontSize->currentIndex(), 1);
    QCOMPARE(w.ui()->ccbWatermarkColor->SelectionIndex(), 6);
    QCOMPARE(w.ui()->txtNumImages->text(), QString("10"));
    QCOMPARE(w.ui()->txtAlpha->text(), QString("255"));
    QVERIFY(w.ui()->optTopLeft->isChecked());
    QVERIFY(!w.ui()->chkWatermark->isChecked() && !w.ui()->chkImage->isChecked() &&
            !w.ui()->chkDisableAudio->isChecked());
    QCOMPARE(w.ui()->sstThis->currentIndex(), 0);
    QVERIFY(w.Job()->EncoderOptions.isEmpty());
    QCOMPARE(w.WindowsDir, QString("/usr/share"));
    QCOMPARE(w.ui()->swfControl->Movie(), BuiltAppFolder() + "/kstr_flvp_small.qml");
}

void TestWindow::windowFrame()
{
    MessageRecorder messages;
    frmMain w;
    StartWindow(w);
    QCOMPARE(w.windowTitle(), QString("Kestrel FLV Converter & Watermarker 7"));
    QCOMPARE(w.centralWidget()->size(), QSize(488, 475));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!w.windowIcon().isNull());
    for (int size : {16, 24, 32, 48})
        QCOMPARE(w.windowIcon().pixmap(size).size(), QSize(size, size));
    // Places are given relative to the tab control, tab strip included.
    const QPoint frame1 = w.ui()->Frame1->mapTo(w.ui()->sstThis, QPoint(0, 0));
    QCOMPARE(frame1, QPoint(8, 24));
    QCOMPARE(w.ui()->cmdConvert->geometry(), QRect(112, 424, 241, 29));
    QCOMPARE(w.ui()->lblLink->text(),
             "Attention: For FLV Converters, FLV Web Video Players visit " + AppPaths::SiteHost() +
                 " or click here");
}

void TestWindow::tabOrderSkipsLabelsAndHiddenControls()
{
    MessageRecorder messages;
    frmMain w;
    StartWindow(w);
    QApplication::setActiveWindow(&w);
    w.ui()->cmdInput->setFocus();
    QStringList order;
    for (int i = 0; i < 40; ++i) {
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus);
        QString name = focus->objectName();
        if (qobject_cast<QTabBar*>(focus))
            name = "sstThis";
        if (!order.isEmpty() && name == order.first())
            break;
        order << name;
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    const QStringList expected = {"cmdInput",        "cmdOutput",         "txtOutFile",
                                  "cmbVideoWindow",  "cmbVideoBitrate",   "cmbVideoFrameRate",
                                  "chkImage",        "txtNumImages",      "cmbAudioSampling",
                                  "chkDisableAudio", "cmbAudioBitrate",   "cmbAudioChannel",
                                  "txtWatermark",    "ccbWatermarkColor", "optTopLeft",
                                  "cmbFontName",     "cmbFontSize",       "chkWatermark",
                                  "cmdConvert",      "cmdExit",           "sstThis"};
    QCOMPARE(order, expected);
}

void TestWindow::accessKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("button");
    QTest::newRow("Alt+I") << int(Qt::Key_I) << "cmdInput";
    QTest::newRow("Alt+O") << int(Qt::Key_O) << "cmdOutput";
    QTest::newRow("Alt+C") << int(Qt::Key_C) << "cmdConvert";
    QTest::newRow("Alt+X") << int(Qt::Key_X) << "cmdExit";
}

void TestWindow::accessKeys()
{
    QFETCH(int, key);
    QFETCH(QString, button);
    MessageRecorder messages;
    DialogScript dialogs; // the user cancels whatever dialog the button opens
    frmMain w;
    StartWindow(w);
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QSignalSpy clicked(w.findChild<QPushButton*>(button), &QPushButton::clicked);
    messages.answers = {vbNo};
    w.ui()->txtOutFile->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::AltModifier);
    QTRY_COMPARE(clicked.count(), 1); // a mnemonic presses the button visibly first
}

void TestWindow::maxLengthWhenTyping()
{
    MessageRecorder messages;
    frmMain w;
    StartWindow(w);
    QLineEdit* count = w.ui()->txtNumImages;
    count->clear();
    QTest::keyClicks(count, "123");
    QCOMPARE(count->text(), QString("12"));
    QCOMPARE(w.ui()->txtAlpha->maxLength(), 3);
    // The hidden working boxes stay hidden.
    for (QWidget* hidden :
         {static_cast<QWidget*>(w.ui()->txtApp), static_cast<QWidget*>(w.ui()->txtAlpha),
          static_cast<QWidget*>(w.ui()->txtLeft), static_cast<QWidget*>(w.ui()->txtTop),
          static_cast<QWidget*>(w.ui()->cmbFontFileName)})
        QVERIFY2(!hidden->isVisible(), qPrintable(hidden->objectName()));
}

void TestWindow::menus_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QStringList>("entries"); // name=caption, "-name" for a separator
    QTest::newRow("Watermark") << "mnuWatermark"
                               << QStringList{"mnuWMSaveSettings=Save Settings", "-hhhnnn",
                                              "mnuWMLoadSettings=Load Settings"};
    QTest::newRow("Help") << "mnuHelp"
                          << QStringList{"mnuInstructions=&Instructions", "-bbbnnn",
                                         "mnuWebVideoPlayer=&Web Video Player", "-oooppp",
                                         "mnuHelpAbout=&About..."};
}

void TestWindow::menus()
{
    QFETCH(QString, menu);
    QFETCH(QStringList, entries);
    MessageRecorder messages;
    frmMain w;
    StartWindow(w);
    const QList<QAction*> actions = w.findChild<QMenu*>(menu)->actions();
    QCOMPARE(actions.size(), entries.size());
    for (int i = 0; i < actions.size(); ++i) {
        if (entries[i].startsWith('-')) {
            QVERIFY(actions[i]->isSeparator());
            QCOMPARE(actions[i]->objectName(), entries[i].mid(1));
        } else {
            QCOMPARE(actions[i]->objectName() + '=' + actions[i]->text(), entries[i]);
        }
    }
    QCOMPARE(w.ui()->mnuWatermark->title(), QString("Watermark"));
    QCOMPARE(w.ui()->mnuHelp->title(), QString("&Help"));
    QCOMPARE(w.ui()->mnuInstructions->shortcut(), QKeySequence(Qt::Key_F1));
}

void TestWindow::cornerButtonsExclusive()
{
    MessageRecorder messages;
    frmMain w;
    StartWindow(w);
    QTest::mouseClick(w.ui()->optBottomRight, Qt::LeftButton);
    QVERIFY(w.ui()->optBottomRight->isChecked());
    int selected = 0;
    for (QRadioButton* b :
         {w.ui()->optTopLeft, w.ui()->optTopRight, w.ui()->optBottomLeft, w.ui()->optBottomRight})
        selected += b->isChecked();
    QCOMPARE(selected, 1);
}

void TestWindow::exitQuestion()
{
    MessageRecorder messages;
    frmMain w;
    StartWindow(w);
    w.ui()->txtWatermark->setText("kept");

    messages.answers = {vbNo};
    w.ui()->cmdExit->click();
    QCOMPARE(messages.messages.size(), 1);
    QCOMPARE(messages.messages[0].text, QString("EXIT KESTREL FLV CONVERTER?"));
    QCOMPARE(messages.messages[0].style, 36);
    QCOMPARE(messages.messages[0].title, QString("Confirm"));
    QVERIFY(w.isVisible() && !w.HasEnded());
    QCOMPARE(w.ui()->txtWatermark->text(), QString("kept"));

    // The close box asks the same question; Yes ends the program.
    messages.answers = {vbYes};
    w.close();
    QCOMPARE(messages.messages.size(), 2);
    QCOMPARE(messages.messages[1].text, QString("EXIT KESTREL FLV CONVERTER?"));
    QVERIFY(w.HasEnded());
    QVERIFY(!w.isVisible());
    QCOMPARE(w.ExitCode(), 0);
}

void TestWindow::startupFailures_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content"); // "<missing>" removes it
    QTest::addColumn<QString>("message");
    QTest::newRow("colors.txt missing") << "colors.txt" << QByteArray("<missing>")
                                        << "INTERNAL ERROR OCCURED - ERROR NUMBER: 53 - FILE NOT "
                                           "FOUND: COLORS.TXT. PLEASE CONTACT SUPPORT.";
    QTest::newRow("empty link file") << "kestrel.swx" << QByteArray()
                                     << "INTERNAL ERROR OCCURED - ERROR NUMBER: 62 - INPUT PAST "
                                        "END OF FILE: KESTREL.SWX. PLEASE CONTACT SUPPORT.";
    QTest::newRow("link file missing") << "kestrel.swx" << QByteArray("<missing>")
                                       << "INTERNAL ERROR OCCURED - ERROR NUMBER: 53 - FILE NOT "
                                          "FOUND: KESTREL.SWX. PLEASE CONTACT SUPPORT.";
    QTest::newRow("bad colour number")
        << "colors.txt" << QByteArray("1  2 3 x\r\n")
        << "INTERNAL ERROR OCCURED - ERROR NUMBER: 13 - TYPE MISMATCH. PLEASE CONTACT SUPPORT.";
}

void TestWindow::startupFailures()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    AppFolderCopy app;
    QFile::remove(app.file(file));
    if (content != "<missing>")
        app.writeFile(file, content);
    AppPaths::SetAppFolder(app.path());

    MessageRecorder messages;
    frmMain w;
    StartWindow(w);
    QVERIFY(w.blnForceExit);
    QVERIFY(w.HasEnded());
    QVERIFY(!w.isVisible());
    // One message, and no exit question.
    QCOMPARE(messages.messages.size(), 1);
    QCOMPARE(messages.messages[0].text, message);
    QCOMPARE(messages.messages[0].style, 16);
    QCOMPARE(messages.messages[0].title, QString("Error"));
}

void TestWindow::secondCopyShowsOnlyItsMessage()
{
    QLockFile running(AppPaths::RuntimeFolder() + "/kestrel.lock");
    QVERIFY(running.tryLock(0));
    MessageRecorder messages;
    frmMain w;
    StartWindow(w);
    QCOMPARE(messages.messages.size(), 1);
    QCOMPARE(messages.messages[0].text, QString("THIS SOFTWARE IS ALREADY OPEN!"));
    QCOMPARE(messages.messages[0].style, 16);
    QCOMPARE(messages.messages[0].title, QString("Error"));
    QVERIFY(w.blnForceExit);
    QVERIFY(!w.isVisible());
    QCOMPARE(w.ui()->cmbVideoWindow->count(), 0); // start-up stopped before the lists
}

void TestWindow::splashHoldsStartupThenClosesItself()
{
    MessageRecorder messages;
    frmMain w;
    bool seen = false;
    QTimer::singleShot(50, [&] {
        auto* splash = qobject_cast<frmSplash*>(QApplication::activeModalWidget());
        QVERIFY(splash);
        seen = true;
        QVERIFY(splash->isVisible());
        QCOMPARE(splash->size(), QSize(355, 202));
        QVERIFY(splash->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(splash->cursor().shape(), Qt::WaitCursor);
        QCOMPARE(w.cursor().shape(), Qt::WaitCursor);
        QVERIFY(w.isVisible());
    });
    StartWindow(w, 400);
    QVERIFY(seen);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(frmSplash::TimerInterval(), 400);
    frmSplash::TimerInterval() = 2000;
    QCOMPARE(frmSplash().findChild<QTimer*>("tmrSplash")->interval(), 2000);
}

QTEST_MAIN(TestWindow)
#include "test_window.moc"
