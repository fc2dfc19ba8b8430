// Start-up of the main window: the single-instance rule, the option lists,
// the player movie, the link file and the splash.
#include "app/frmMain.h"
#include "ui_frmMain.h"

#include "app/FieldControls.h"
#include "app/MsgBox.h"
#include "app/SingleInstance.h"
#include "app/frmSplash.h"
#include "app/mdlMain.h"
#include "common/AppPaths.h"
#include "common/VbError.h"
#include "options/Catalogs.h"
#include "pipeline/PathHelpers.h"
#include "settings/LinkFile.h"

#include <QGuiApplication>
#include <QScreen>

void frmMain::Form_Load()
{
    try {
        if (!AcquireSingleInstance()) {
            if (!m_pendingFiles.isEmpty() && SingleInstance::HandOver(m_pendingFiles, 2000)) {
                EndProgram(0);
                close();
                return;
            }
            MsgBox(QStringLiteral("THIS SOFTWARE IS ALREADY OPEN!"), vbCritical,
                   QStringLiteral("Error"));
            blnForceExit = true;
            close();
            return;
        }

        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        show();

        FillOptionLists();
        WindowsDir = FontsRootFolder();
        m_ui->swfControl->SetMovie(AppPaths::AppFile(QStringLiteral("kstr_flvp_small.qml")));
        mdlMain::LinkTarget = ReadLinkFile(AppPaths::AppFile(QStringLiteral("kestrel.swx")));

        setCursor(Qt::WaitCursor);
        {
            frmSplash splash(this);
            splash.setCursor(Qt::WaitCursor);
            splash.exec();
        }
        unsetCursor();
        TakePendingFiles();
    } catch (const VbError& failure) {
        blnForceExit = true;
        MsgBox(QStringLiteral("INTERNAL ERROR OCCURED - ERROR NUMBER: ") +
                   QString::number(failure.number()) + QStringLiteral(" - ") +
                   failure.description().toUpper() + QStringLiteral(". PLEASE CONTACT SUPPORT."),
               vbCritical, QStringLiteral("Error"));
        close();
    }
}

bool frmMain::AcquireSingleInstance()
{
    m_instance = std::make_unique<SingleInstance>();
    if (!m_instance->Acquire()) {
        m_instance.reset();
        return false;
    }
    connect(m_instance.get(), &SingleInstance::FilesArrived, this,
            [this](const QStringList& files) {
                if (isMinimized())
                    showNormal();
                raise();
                activateWindow();
                TakeFilesFromCommandLine(files);
            });
    return true;
}

// The boxes and the corner the .ui leaves empty.
void frmMain::ShowStartValues()
{
    for (const JobOption& option : JobOptions()) {
        if (option.kind == OptionKind::Number)
            findChild<QLineEdit*>(ControlOf(option.field))->setText(QString::number(option.start));
    }
    findChild<QRadioButton*>(CornerControls[JobOptionOf(JobField::Corner).start])->setChecked(true);
}

void frmMain::FillOptionLists()
{
    for (const JobOption& option : JobOptions()) {
        if (option.kind != OptionKind::List)
            continue;
        auto* combo = findChild<QComboBox*>(ControlOf(option.field));
        combo->addItems(option.entries);
        combo->setCurrentIndex(option.start);
    }

    const Catalogs catalogs = LoadCatalogs(AppPaths::AppFolder());
    for (const FontEntry& font : catalogs.fonts) {
        m_ui->cmbFontName->addItem(font.displayName);
        m_ui->cmbFontFileName->addItem(font.fileName);
    }
    m_ui->cmbFontSize->addItems(catalogs.fontSizes);
    m_ui->cmbFontName->setCurrentIndex(JobOptionOf(JobField::Font).start);
    m_ui->cmbFontFileName->setCurrentIndex(JobOptionOf(JobField::Font).start);
    m_ui->cmbFontSize->setCurrentIndex(JobOptionOf(JobField::FontSize).start);
    for (const ColorEntry& color : catalogs.colors)
        m_ui->ccbWatermarkColor->AddColor(color.name, color.value);
    m_ui->ccbWatermarkColor->SetSelectionIndex(JobOptionOf(JobField::Colour).start);
}
