// The preview player's request for a file.
#include "app/frmMain.h"
#include "ui_frmMain.h"

void frmMain::swfControl_FSCommand(const QString& command, const QString& args)
{
    Q_UNUSED(command);
    Q_UNUSED(args);
}
