// Help, About and the web links of the main window.
#include "app/frmMain.h"
#include "ui_frmMain.h"

#include "app/LinkStyle.h"
#include "app/frmAbout.h"
#include "app/mdlMain.h"
#include "common/AppPaths.h"

void frmMain::lblLink_Click()
{
    OpenLink(QUrl(mdlMain::LinkTarget));
}

void frmMain::mnuWebVideoPlayer_Click()
{
    OpenLink(QUrl(mdlMain::LinkTarget));
}

// The help page lies in the application folder, whatever the working folder.
void frmMain::mnuInstructions_Click()
{
    OpenLink(QUrl::fromLocalFile(AppPaths::AppFile(QStringLiteral("kstr_flvcn.html"))));
}

// A fresh window each time, so it always opens with its start values.
void frmMain::mnuHelpAbout_Click()
{
    frmAbout about(this);
    about.exec();
}
