// The conversion job behind "Start Converting".
#include "app/frmMain.h"
#include "ui_frmMain.h"

void frmMain::cmdConvert_Click() {}
