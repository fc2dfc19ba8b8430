#include "app/AppStyle.h"
#include "app/frmMain.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>

namespace
{

// --version and --help answer at once, without a display and before the
// single-instance check; every other argument but a video file is ignored.
bool answeredOnTheCommandLine(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("kestrel (Kestrel FLV Converter & Watermarker 7) %s\n", KESTREL_VERSION);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("Usage: kestrel [VIDEO]\n"
                        "Converts videos to Flash Video (FLV) with an optional text watermark.\n"
                        "A VIDEO given here is taken as the source, as if it were dropped on\n"
                        "the window.\n\n"
                        "  --help     show this help and exit\n"
                        "  --version  show the version and exit\n");
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (answeredOnTheCommandLine(argc, argv))
        return 0;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrel"));
    QApplication::setDesktopFileName(QStringLiteral(KESTREL_APP_ID));
    ApplyAppStyle();

    frmMain window;
    // For the start-up benchmark: quit once the window has been painted.
    if (qEnvironmentVariableIsSet("KESTREL_QUIT_AFTER_FIRST_PAINT")) {
        window.installEventFilter(new FirstPaintQuitter(&window));
    }
    window.Form_Load();
    if (window.blnForceExit || window.HasEnded())
        return window.blnForceExit ? 1 : window.ExitCode();
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (!arguments[i].startsWith(u'-')) {
            window.TakeFileFromCommandLine(arguments[i]);
            break;
        }
    }
    return app.exec();
}
