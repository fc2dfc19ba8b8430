#include "app/AppStyle.h"
#include "app/frmMain.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>

namespace
{

enum class Arguments { Run, Answered, Refused };

// Qt's own options, which QApplication takes out (also written --name or
// -name=value); those of the first list take a value.
const QByteArray QtOptionsWithValue =
    " platform platformpluginpath platformtheme plugin qwindowgeometry qwindowicon qwindowtitle "
    "session display geometry title icon name style stylesheet qmljsdebugger ";
const QByteArray QtFlags = " reverse widgetcount nograb dograb sync ";

// How many arguments a Qt option takes up; 0 for any other.
int QtOptionLength(const QByteArray& argument)
{
    const QByteArray name = argument.mid(argument.startsWith("--") ? 2 : 1);
    const bool valueAttached = name.contains('=');
    const QByteArray word = ' ' + name.split('=').first() + ' ';
    if (QtOptionsWithValue.contains(word))
        return valueAttached ? 1 : 2;
    return QtFlags.contains(word) && !valueAttached ? 1 : 0;
}

// --version and --help answer at once, and an unknown option is refused,
// without a display and before the single-instance check. Every other
// argument (and each after "--") names a video.
Arguments ReadArguments(int argc, char** argv, QStringList& videos)
{
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (!options || argument[0] != '-' || argument[1] == '\0') {
            videos << QString::fromLocal8Bit(argument);
        } else if (std::strcmp(argument, "--") == 0) {
            options = false;
        } else if (std::strcmp(argument, "--version") == 0) {
            std::printf("kestrel (Kestrel FLV Converter & Watermarker 7) %s\n", KESTREL_VERSION);
            return Arguments::Answered;
        } else if (std::strcmp(argument, "--help") == 0) {
            std::printf("Usage: kestrel [VIDEO]...\n"
                        "Converts videos to Flash Video (FLV) with an optional text watermark.\n"
                        "A VIDEO given here is taken as the source, as if it were dropped on\n"
                        "the window; when the program is open already, its window takes it.\n\n"
                        "  --help     show this help and exit\n"
                        "  --version  show the version and exit\n");
            return Arguments::Answered;
        } else if (const int length = QtOptionLength(argument)) {
            i += length - 1;
        } else {
            std::fprintf(stderr,
                         "kestrel: unknown option %s\nUsage: kestrel [--help] [--version] "
                         "[VIDEO]...\n",
                         argument);
            return Arguments::Refused;
        }
    }
    return Arguments::Run;
}

} // namespace

int main(int argc, char** argv)
{
    QStringList videos;
    switch (ReadArguments(argc, argv, videos)) {
    case Arguments::Answered:
        return 0;
    case Arguments::Refused:
        return 2;
    case Arguments::Run:
        break;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrel"));
    QApplication::setDesktopFileName(QStringLiteral(KESTREL_APP_ID));
    ApplyAppStyle();

    frmMain window;
    // For the start-up benchmark: quit once the window has been painted.
    if (qEnvironmentVariableIsSet("KESTREL_QUIT_AFTER_FIRST_PAINT")) {
        window.installEventFilter(new FirstPaintQuitter(&window));
    }
    window.TakeFilesFromCommandLine(videos);
    window.Form_Load();
    if (window.blnForceExit || window.HasEnded())
        return window.blnForceExit ? 1 : window.ExitCode();
    return app.exec();
}
