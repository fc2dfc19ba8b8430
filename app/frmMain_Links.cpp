// Help, About and the web links of the main window.
#include "app/frmMain.h"
#include "ui_frmMain.h"

#include "app/LinkStyle.h"
#include "app/mdlMain.h"

void frmMain::lblLink_Click()
{
    OpenLink(QUrl(mdlMain::LinkTarget));
}

void frmMain::mnuWebVideoPlayer_Click()
{
    OpenLink(QUrl(mdlMain::LinkTarget));
}

void frmMain::mnuInstructions_Click() {}

void frmMain::mnuHelpAbout_Click() {}
