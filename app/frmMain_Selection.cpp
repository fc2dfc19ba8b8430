// Source file and output folder selection, and the tooltips that repeat them.
#include "app/frmMain.h"
#include "ui_frmMain.h"

#include "app/MsgBox.h"
#include "options/OutputName.h"
#include "options/VideoFilter.h"
#include "pipeline/JobChecks.h"

#include <QDir>
#include <QFileInfo>

void frmMain::cmdInput_Click()
{
    try {
        CommonDialog1.Prepare(QStringLiteral("Open Video File to Convert"), VideoOpenFilter(),
                              cdlOFNFileMustExist | cdlOFNHideReadOnly);
        CommonDialog1.ShowOpen(this);
        TakeSource(CommonDialog1.FileName, CommonDialog1.FileTitle);
    } catch (const CommonDialogCancelled&) {
    }
}

void frmMain::TakeSource(const QString& path, const QString& title)
{
    if (HoldsControlCharacter(path)) {
        ShowRefusal(SourceNameRefusal());
        return;
    }
    SetCaption(m_ui->lblInput, path);
    if (const auto proposal = ProposeOutputName(title))
        m_ui->txtOutFile->setText(*proposal);
    if (m_ui->lblOutDir->text().isEmpty())
        TakeOutputFolder(QFileInfo(path).absolutePath());
}

void frmMain::cmdOutput_Click()
{
    ChooseOutputFolder(QString());
}

void frmMain::ChooseOutputFolder(const QString& startFolder)
{
    TakeOutputFolder(
        BrowseForFolder(this, QStringLiteral("Select Your Output Folder:"), startFolder));
}

void frmMain::TakeOutputFolder(const QString& folder)
{
    if (HoldsControlCharacter(folder)) {
        MsgBox(QStringLiteral("THE FOLDER NAME HOLDS A LINE BREAK OR ANOTHER CONTROL CHARACTER! "
                              "RENAME THE FOLDER FIRST."),
               vbCritical, QStringLiteral("Error"));
        return;
    }
    // The folder keeps its closing separator: the output name is appended to it.
    SetCaption(m_ui->lblOutDir, folder);
    const QChar separator = QDir::separator();
    if (!folder.isEmpty() && !folder.endsWith(separator))
        SetCaption(m_ui->lblOutDir, folder + separator);
}

void frmMain::lblInput_Change()
{
    m_ui->lblInput->setToolTip(PlainToolTip(u' ' + m_ui->lblInput->text() + u' '));
}

void frmMain::lblOutDir_Change()
{
    m_ui->lblOutDir->setToolTip(PlainToolTip(u' ' + m_ui->lblOutDir->text() + u' '));
}

void frmMain::txtOutFile_Change()
{
    m_ui->txtOutFile->setToolTip(PlainToolTip(u' ' + m_ui->txtOutFile->text() + u' '));
}

// The hidden font-file list follows the visible font list position by position.
void frmMain::cmbFontName_Change()
{
    cmbFontName_Click();
}

void frmMain::cmbFontName_Click()
{
    m_ui->cmbFontFileName->setCurrentIndex(m_ui->cmbFontName->currentIndex());
}
