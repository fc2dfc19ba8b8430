// Source file and output folder selection, and the tooltips that repeat them.
#include "app/frmMain.h"
#include "ui_frmMain.h"

void frmMain::cmdInput_Click() {}

void frmMain::cmdOutput_Click() {}

void frmMain::lblInput_Change()
{
    m_ui->lblInput->setToolTip(u' ' + m_ui->lblInput->text() + u' ');
}

void frmMain::lblOutDir_Change()
{
    m_ui->lblOutDir->setToolTip(u' ' + m_ui->lblOutDir->text() + u' ');
}

void frmMain::txtOutFile_Change()
{
    m_ui->txtOutFile->setToolTip(u' ' + m_ui->txtOutFile->text() + u' ');
}

// The hidden font-file list follows the visible font list position by position.
void frmMain::cmbFontName_Change()
{
    m_ui->cmbFontFileName->setCurrentIndex(m_ui->cmbFontName->currentIndex());
}

void frmMain::cmbFontName_Click()
{
    m_ui->cmbFontFileName->setCurrentIndex(m_ui->cmbFontName->currentIndex());
}
