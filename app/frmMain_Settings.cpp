// Saving and loading the watermark settings files.
#include "app/frmMain.h"
#include "ui_frmMain.h"

void frmMain::mnuWMSaveSettings_Click() {}

void frmMain::mnuWMLoadSettings_Click() {}
