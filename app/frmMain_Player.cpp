// The preview player's request for a file.
#include "app/frmMain.h"
#include "ui_frmMain.h"

#include "app/CommonDialog.h"

// Every request of the movie, whatever its command, asks for a file to play,
// starting in the output folder, where the converted files are.
// A cancel, or any failure on the way, ends the request without a word.
void frmMain::swfControl_FSCommand(const QString& command, const QString& args)
{
    Q_UNUSED(command);
    Q_UNUSED(args);
    try {
        CommonDialog1.Prepare(QStringLiteral("Open FLV File"),
                              QStringLiteral("Flash Video Files|*.flv"),
                              cdlOFNFileMustExist | cdlOFNHideReadOnly);
        CommonDialog1.InitDir = m_ui->lblOutDir->text();
        CommonDialog1.ShowOpen(this);
        m_ui->swfControl->SetVariable(QStringLiteral("varFlvFile"), CommonDialog1.FileName);
    } catch (...) {
    }
}
