#include "app/AppStyle.h"
#include "app/frmMain.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrel"));
    QApplication::setDesktopFileName(QStringLiteral("kestrel"));
    ApplyAppStyle();

    frmMain window;
    // For the start-up benchmark: quit once the window has been painted.
    if (qEnvironmentVariableIsSet("KESTREL_QUIT_AFTER_FIRST_PAINT")) {
        window.installEventFilter(new FirstPaintQuitter(&window));
    }
    window.Form_Load();
    if (window.blnForceExit || window.HasEnded())
        return window.blnForceExit ? 1 : window.ExitCode();
    return app.exec();
}
