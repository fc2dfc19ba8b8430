// Picking the source and the output folder, and the values that follow them.
#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "tests/support/TestSupport.h"
#include "ui_frmMain.h"

#include <QTest>

using namespace TestSupport;

class TestSelection : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { IsolateProcess(); }
    void init();
    void cleanup();
    void sourcePick();
    void shortSourceNameKeepsOutputName();
    void cancelledSourcePickChangesNothing();
    void folderPicks();
    void namesWithControlCharactersRefused_data();
    void namesWithControlCharactersRefused();
    void outputNameTooltipFollowsTyping();
    void fontFileFollowsFontName();

private:
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<DialogScript> m_dialogs;
    std::unique_ptr<frmMain> m_window;
    Ui::frmMain* ui() { return m_window->ui(); }
};

void TestSelection::init()
{
    m_messages = std::make_unique<MessageRecorder>();
    m_dialogs = std::make_unique<DialogScript>();
    m_window = std::make_unique<frmMain>();
    StartWindow(*m_window);
}

void TestSelection::cleanup()
{
    m_window.reset();
    m_dialogs.reset();
    m_messages.reset();
}

void TestSelection::sourcePick()
{
    m_dialogs->answers = {QString("/videos/My Clip.DivX")};
    ui()->cmdInput->click();
    QCOMPARE(m_dialogs->requests.size(), 1);
    const FileDialogRequest& request = m_dialogs->requests[0];
    QCOMPARE(request.kind, FileDialogRequest::Open);
    QCOMPARE(request.title, QString("Open Video File to Convert"));
    QCOMPARE(request.flags, 4100);
    QCOMPARE(request.filterEntries.size(), 6);
    QVERIFY(request.filterEntries[0].startsWith("Supported Video Files(*.mpe;"));
    QVERIFY(request.filterEntries[0].endsWith(" (*.mpe *.mpeg *.mpg *.mpv *.m1s *.m1v *.m1a "
                                              "*.mp2 *.mpm *.mpa *.avi *.divx *.wmv *.asf *.mkv "
                                              "*.mov *.flv)"));
    QCOMPARE(request.filterEntries[5], QString("Flash Live Video (*.flv) (*.flv)"));
    QCOMPARE(m_window->CommonDialog1.MaxFileSize, 32000);
    QCOMPARE(ui()->lblInput->text(), QString("/videos/My Clip.DivX"));
    QCOMPARE(ui()->lblInput->toolTip(), QString(" /videos/My Clip.DivX "));
    QCOMPARE(ui()->txtOutFile->text(), QString("My Clip.flv"));
    QCOMPARE(ui()->txtOutFile->toolTip(), QString(" My Clip.flv "));
    QVERIFY(m_messages->messages.isEmpty());
}

void TestSelection::shortSourceNameKeepsOutputName()
{
    ui()->txtOutFile->setText("typed.flv");
    m_dialogs->answers = {QString("/videos/ab")};
    ui()->cmdInput->click();
    QCOMPARE(ui()->lblInput->text(), QString("/videos/ab"));
    QCOMPARE(ui()->txtOutFile->text(), QString("typed.flv"));
}

void TestSelection::cancelledSourcePickChangesNothing()
{
    m_dialogs->answers = {QString("/videos/a.avi"), std::nullopt};
    ui()->cmdInput->click();
    ui()->txtOutFile->setText("mine.flv");
    ui()->cmdInput->click();
    QCOMPARE(ui()->lblInput->text(), QString("/videos/a.avi"));
    QCOMPARE(ui()->txtOutFile->text(), QString("mine.flv"));
    QVERIFY(m_messages->messages.isEmpty());
}

void TestSelection::folderPicks()
{
    m_dialogs->answers = {QString("/home/me/Video"), QString("/"), std::nullopt};
    ui()->cmdOutput->click();
    QCOMPARE(m_dialogs->requests[0].kind, FileDialogRequest::Folder);
    QCOMPARE(m_dialogs->requests[0].title, QString("Select Your Output Folder:"));
    QCOMPARE(ui()->lblOutDir->text(), QString("/home/me/Video/"));
    QCOMPARE(ui()->lblOutDir->toolTip(), QString(" /home/me/Video/ "));
    ui()->cmdOutput->click();
    QCOMPARE(ui()->lblOutDir->text(), QString("/")); // a root already ends so
    ui()->cmdOutput->click();                        // cancelled: the folder is dropped
    QCOMPARE(ui()->lblOutDir->text(), QString());
    QCOMPARE(ui()->lblOutDir->toolTip(), QString("  "));
}

void TestSelection::namesWithControlCharactersRefused_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("path");
    QTest::newRow("source with a line break") << "cmdInput"
                                              << "/v/a\nb.avi";
    QTest::newRow("source with a tab") << "cmdInput"
                                       << "/v/a\tb.avi";
    QTest::newRow("folder with a carriage return") << "cmdOutput"
                                                   << "/v/new\rfolder";
}

void TestSelection::namesWithControlCharactersRefused()
{
    QFETCH(QString, button);
    QFETCH(QString, path);
    m_dialogs->answers = {QString("/v/good.avi"), QString("/v/good")};
    ui()->cmdInput->click();
    ui()->cmdOutput->click();
    m_dialogs->answers = {path};
    m_window->findChild<QPushButton*>(button)->click();
    QCOMPARE(m_messages->messages.size(), 1);
    QVERIFY(m_messages->messages[0].text.contains("CONTROL CHARACTER"));
    QCOMPARE(m_messages->messages[0].style, 16);
    QCOMPARE(m_messages->messages[0].title, QString("Error"));
    QCOMPARE(ui()->lblInput->text(), QString("/v/good.avi"));
    QCOMPARE(ui()->lblOutDir->text(), QString("/v/good/"));
    QCOMPARE(ui()->txtOutFile->text(), QString("good.flv"));
}

void TestSelection::outputNameTooltipFollowsTyping()
{
    ui()->txtOutFile->clear();
    QTest::keyClicks(ui()->txtOutFile, "ab");
    QCOMPARE(ui()->txtOutFile->toolTip(), QString(" ab "));
    QTest::keyClick(ui()->txtOutFile, Qt::Key_Backspace);
    QTest::keyClick(ui()->txtOutFile, Qt::Key_Backspace);
    QCOMPARE(ui()->txtOutFile->toolTip(), QString("  "));
}

void TestSelection::fontFileFollowsFontName()
{
    QVERIFY(ui()->cmbFontName->count() > 3);
    ui()->cmbFontName->setCurrentIndex(3);
    QCOMPARE(ui()->cmbFontFileName->currentIndex(), 3);
    ui()->cmbFontName->setCurrentIndex(-1);
    QCOMPARE(ui()->cmbFontFileName->currentIndex(), -1);
}

QTEST_MAIN(TestSelection)
#include "test_selection.moc"
