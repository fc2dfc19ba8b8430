// The news panel of the third tab.
#include "app/frmMain.h"
#include "ui_frmMain.h"

void frmMain::sstThis_Click(int previousTab)
{
    Q_UNUSED(previousTab);
}

void frmMain::lblNews_Click() {}

void frmMain::lblKestrelNews_Click() {}
