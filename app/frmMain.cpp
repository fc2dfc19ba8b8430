#include "app/frmMain.h"
#include "ui_frmMain.h"

#include "app/AppStyle.h"
#include "app/LinkStyle.h"
#include "app/MsgBox.h"
#include "app/SingleInstance.h"
#include "app/WindowBatch.h"
#include "app/frmProgress.h"
#include "app/frmStream.h"
#include "common/AppPaths.h"
#include "pipeline/ConversionEngine.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QScreen>

frmMain::frmMain(QWidget* parent) : QMainWindow(parent), m_ui(std::make_unique<Ui::frmMain>())
{
    m_ui->setupUi(this);
    ShowStartValues();
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::CustomizeWindowHint);
    setWindowIcon(AppIcon());
    ApplyLook();
    WireHandlers();
    WireFormatMenu();
    frmStream::KeepKeysPrivate();
    WireJob();
    setAcceptDrops(true);
    setFixedSize(sizeHint());
}

frmMain::~frmMain() = default;

void frmMain::ApplyLook()
{
    m_ui->sstThis->PlaceChildrenRelativeToControl();

    // The stills count sits in the gap of its check box's caption; a tighter
    // indicator keeps the caption's last word inside the box.
    m_ui->txtNumImages->raise();
    m_ui->chkImage->setStyleSheet(QStringLiteral("QCheckBox { spacing: 2px; }"));

    // Screen readers name a field by the labels whose buddy it is (frmMain.ui),
    // else by its accessible name; Qt's own fallback is the frame's title.
    // The stills count's caption is its check box's, and the size list shares
    // the font's label, so the count gets a name and the list a label that is
    // never drawn (Qt on Linux names a list by its current entry, whatever
    // its accessible name).
    m_ui->txtNumImages->setAccessibleName(QStringLiteral("Number of Frames to Grab"));
    auto* fontSize = new QLabel(QStringLiteral("Font Size:"), m_ui->Frame4);
    fontSize->setGeometry(m_ui->cmbFontSize->geometry());
    fontSize->hide();
    fontSize->setBuddy(m_ui->cmbFontSize);

    for (QWidget* link :
         {static_cast<QWidget*>(m_ui->lblLink), static_cast<QWidget*>(m_ui->lblKestrelNews)})
        ApplyLinkStyle(link);
    m_ui->lblNews->setCursor(PointingHandCursor());
    // Paths are shown as they are, never as markup.
    m_ui->lblInput->setTextFormat(Qt::PlainText);
    m_ui->lblOutDir->setTextFormat(Qt::PlainText);
    m_ui->lblLink->setText(
        QStringLiteral("Attention: For FLV Converters, FLV Web Video Players visit ") +
        AppPaths::SiteHost() + QStringLiteral(" or click here"));

    // The watermark text box is white whatever the theme, so its text is dark;
    // disabled during a job, it looks disabled like the other boxes.
    QPalette white = m_ui->txtWatermark->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        white.setColor(group, QPalette::Base, Qt::white);
        white.setColor(group, QPalette::Text, Qt::black);
    }
    m_ui->txtWatermark->setPalette(white);

    // Separators carry their names too.
    const QList<QAction*> watermark = m_ui->mnuWatermark->actions();
    const QList<QAction*> help = m_ui->mnuHelp->actions();
    watermark[1]->setObjectName(QStringLiteral("hhhnnn"));
    help[1]->setObjectName(QStringLiteral("bbbnnn"));
    help[3]->setObjectName(QStringLiteral("oooppp"));
}

void frmMain::WireHandlers()
{
    connect(m_ui->cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);
    connect(m_ui->cmdInput, &QPushButton::clicked, this, &frmMain::cmdInput_Click);
    connect(m_ui->cmdOutput, &QPushButton::clicked, this, &frmMain::cmdOutput_Click);
    connect(m_ui->cmdConvert, &QPushButton::clicked, this, &frmMain::cmdConvert_Click);
    connect(m_ui->txtOutFile, &QLineEdit::textChanged, this, &frmMain::txtOutFile_Change);
    connect(m_ui->cmbFontName, &QComboBox::currentIndexChanged, this, &frmMain::cmbFontName_Click);
    connect(m_ui->cmbFontName, &QComboBox::currentTextChanged, this, &frmMain::cmbFontName_Change);
    connect(m_ui->mnuWMSaveSettings, &QAction::triggered, this, &frmMain::mnuWMSaveSettings_Click);
    connect(m_ui->mnuWMLoadSettings, &QAction::triggered, this, &frmMain::mnuWMLoadSettings_Click);
    connect(m_ui->mnuInstructions, &QAction::triggered, this, &frmMain::mnuInstructions_Click);
    connect(m_ui->mnuWebVideoPlayer, &QAction::triggered, this, &frmMain::mnuWebVideoPlayer_Click);
    connect(m_ui->mnuStreamToServers, &QAction::triggered, this,
            &frmMain::mnuStreamToServers_Click);
    connect(m_ui->mnuHelpAbout, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);
    connect(m_ui->swfControl, &FlashPlayer::FSCommand, this, &frmMain::swfControl_FSCommand);
    connect(m_ui->sstThis, &TabControl::Click, this, &frmMain::sstThis_Click);
    for (QLabel* label : {m_ui->lblNews, m_ui->lblKestrelNews, m_ui->lblLink})
        label->installEventFilter(this);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (IsLinkClick(watched, event)) {
        if (watched == m_ui->lblNews)
            lblNews_Click();
        else if (watched == m_ui->lblKestrelNews)
            lblKestrelNews_Click();
        else if (watched == m_ui->lblLink)
            lblLink_Click();
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::SetCaption(QLabel* label, const QString& caption)
{
    label->setText(caption);
    if (label == m_ui->lblInput)
        lblInput_Change();
    else if (label == m_ui->lblOutDir)
        lblOutDir_Change();
}

void frmMain::cmdExit_Click()
{
    close();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (Form_QueryUnload())
        event->accept();
    else
        event->ignore();
}

// The closing rule: after a fatal start-up the program ends without asking;
// otherwise only a Yes to the exit question ends it.
bool frmMain::Form_QueryUnload()
{
    if (m_ended)
        return true;
    if (blnForceExit) {
        EndProgram(1);
        return true;
    }
    // A running job is cancelled by a Yes; its reports wait for the answer.
    m_askingToExit = true;
    const bool yes =
        MsgBox(!JobRunning() ? QStringLiteral("EXIT KESTREL FLV CONVERTER?")
               : m_progress && m_progress->IsStreaming()
                   ? QStringLiteral("A STREAM IS RUNNING! EXIT KESTREL FLV CONVERTER AND STOP IT?")
                   : QStringLiteral("A CONVERSION IS RUNNING! EXIT KESTREL FLV CONVERTER AND "
                                    "CANCEL IT?"),
               vbQuestionYesNo, QStringLiteral("Confirm")) == vbYes;
    m_askingToExit = false;
    if (!yes) {
        // From the event loop, once the window has taken its No.
        QMetaObject::invokeMethod(this, &frmMain::ShowHeldReports, Qt::QueuedConnection);
        return false;
    }
    m_heldReports.clear();
    const QString reason = QStringLiteral("the program was closed");
    if (m_batch)
        m_batch->StopForExit();
    m_engine->StopForExit(reason);
    EndProgram(0);
    return true;
}

// The main window is the program's only primary window: once it has closed,
// the application leaves its event loop by itself.
void frmMain::EndProgram(int exitCode)
{
    m_ended = true;
    m_exitCode = exitCode;
    m_instance.reset();
}
