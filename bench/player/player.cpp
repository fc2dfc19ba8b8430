// Preview player figures, run by hand (under a display, or `xvfb-run -a`):
//
//   cmake --build build --target player_bench
//   xvfb-run -a build/bench/player_bench [--runs N] [--grab window.png]
//
// 1. Time from SetVariable("varFlvFile", path) to the first picture of a
//    640x480 FLV shown: the frame reaching the video output, and the first
//    scene rendered after it; for the first file a fresh program opens (N
//    programs) and for the same file opened again.
// 2. Memory (VmRSS, with its anonymous and file-backed parts) of the program
//    after start-up without the player movie, with the movie loaded, and
//    with the movie playing.
//
// The FLV is made with Debian's ffmpeg: Sorenson video and MP3 audio, as our
// encoder writes them. Every figure comes from a fresh process.
#include "app/FlashPlayer.h"
#include "app/frmMain.h"
#include "app/frmSplash.h"
#include "common/AppPaths.h"
#include "ui_frmMain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QQuickView>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QVideoFrame>
#include <QVideoSink>
#include <algorithm>
#include <cstdio>
#include <optional>

namespace
{

QString ProcStatus(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return QString::fromLatin1(line.mid(qstrlen(field) + 1).trimmed());
    }
    return QStringLiteral("?");
}

void Wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct FirstFrame {
    double delivered = -1; // ms until the first frame reached the video output
    double shown = -1;     // ms until the first scene rendered after it
};

// Plays path from the start and times its first picture.
std::optional<FirstFrame> TimeFirstFrame(FlashPlayer* player, const QString& path)
{
    QObject* video = player->MovieItem()->findChild<QObject*>(QStringLiteral("video"));
    auto* sink = video ? video->property("videoSink").value<QVideoSink*>() : nullptr;
    if (!sink)
        return std::nullopt;
    player->SetVariable(QStringLiteral("varFlvFile"), QString());
    Wait(300);

    FirstFrame result;
    QElapsedTimer clock;
    QEventLoop loop;
    auto frames = QObject::connect(sink, &QVideoSink::videoFrameChanged, [&](const QVideoFrame& f) {
        if (f.isValid() && result.delivered < 0)
            result.delivered = clock.nsecsElapsed() / 1e6;
    });
    auto rendered =
        QObject::connect(player->View()->quickWindow(), &QQuickWindow::afterRendering, player, [&] {
            if (result.delivered >= 0 && result.shown < 0) {
                result.shown = clock.nsecsElapsed() / 1e6;
                loop.quit();
            }
        });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    clock.start();
    player->SetVariable(QStringLiteral("varFlvFile"), path);
    loop.exec();
    QObject::disconnect(frames);
    QObject::disconnect(rendered);
    if (result.shown < 0)
        return std::nullopt;
    return result;
}

bool MakeFlv(const QString& path)
{
    QStringList args = QStringLiteral("-nostdin -loglevel error -y -f lavfi -i "
                                      "testsrc=size=640x480:rate=25 -f lavfi -i "
                                      "sine=frequency=440:sample_rate=22050 -t 10 -c:v flv1 "
                                      "-b:v 800k -c:a libmp3lame -ar 22050 -b:a 64k")
                           .split(u' ');
    args << path;
    QProcess encode;
    encode.start(QStringLiteral("ffmpeg"), args);
    return encode.waitForFinished(120000) && encode.exitStatus() == QProcess::NormalExit &&
           encode.exitCode() == 0;
}

// A child process starts the window as the program does, with the player
// tab in front and a second of idle time, then does its part.
struct Child {
    frmMain window;
    explicit Child(const QString& appFolder)
    {
        AppPaths::SetAppFolder(appFolder);
        frmSplash::TimerInterval() = 10;
        window.Form_Load();
        window.ui()->sstThis->setCurrentIndex(1);
        Wait(1000);
    }
    ~Child()
    {
        window.blnForceExit = true; // leave without the exit question
        window.close();
    }
};

// Prints "delivered shown" (ms) for each of opens openings of the file.
int TimingChild(const QString& appFolder, const QString& flv, int opens, const QString& grab)
{
    Child child(appFolder);
    FlashPlayer* player = child.window.ui()->swfControl;
    if (!player->MovieItem())
        return 2;
    for (int i = 0; i < opens; ++i) {
        const std::optional<FirstFrame> r = TimeFirstFrame(player, flv);
        if (!r)
            return 3;
        std::printf("%.1f %.1f\n", r->delivered, r->shown);
    }
    if (!grab.isEmpty()) {
        Wait(1500);
        child.window.grab().save(grab);
    }
    return 0;
}

// Prints "VmRSS RssAnon RssFile" (kB) after start-up, optionally playing.
int MemoryChild(const QString& appFolder, const QString& flv, bool playing)
{
    Child child(appFolder);
    if (playing) {
        child.window.ui()->swfControl->SetVariable(QStringLiteral("varFlvFile"), flv);
        Wait(3000);
    }
    for (const char* field : {"VmRSS:", "RssAnon:", "RssFile:"})
        std::printf("%s ", qPrintable(ProcStatus(field).split(u' ').first()));
    std::printf("\n");
    return 0;
}

QList<QStringList> RunChild(const QStringList& args)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), args);
    if (!child.waitForFinished(120000) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0)
        return {};
    QList<QStringList> lines;
    for (const QString& line : QString::fromLatin1(child.readAllStandardOutput()).split(u'\n'))
        if (!line.trimmed().isEmpty())
            lines << line.split(u' ', Qt::SkipEmptyParts);
    return lines;
}

double Median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? -1 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList args = app.arguments();
    // Each process gets its own single-instance lock.
    QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());

    if (args.size() >= 6 && args[1] == QLatin1String("--time"))
        return TimingChild(args[2], args[3], args[4].toInt(), args[5]);
    if (args.size() >= 5 && args[1] == QLatin1String("--memory"))
        return MemoryChild(args[2], args[3], args[4] == QLatin1String("playing"));

    int runs = 5;
    QString grab;
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--runs"))
            runs = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--grab"))
            grab = args[i + 1];
    }

    QTemporaryDir work;
    const QString flv = work.filePath(QStringLiteral("bench 640x480.flv"));
    if (!MakeFlv(flv)) {
        std::fprintf(stderr, "player_bench: ffmpeg could not make the test FLV\n");
        return 1;
    }
    const QString appFolder = QStringLiteral(KESTREL_BENCH_APP_DIR);
    std::printf("Preview player, Qt %s, platform %s\n", qVersion(),
                qPrintable(QGuiApplication::platformName()));

    // Time to the first picture: the first file a fresh program opens, and
    // the same file opened again in that program.
    QList<double> firstDelivered, firstShown, againDelivered, againShown;
    for (int i = 0; i < runs; ++i) {
        const QList<QStringList> lines = RunChild({QStringLiteral("--time"), appFolder, flv,
                                                   QStringLiteral("3"), i == 0 ? grab : QString()});
        if (lines.size() != 3) {
            std::fprintf(stderr, "player_bench: no picture within 10 s (program %d)\n", i + 1);
            return 1;
        }
        for (int j = 0; j < lines.size(); ++j) {
            (j == 0 ? firstDelivered : againDelivered) << lines[j].value(0).toDouble();
            (j == 0 ? firstShown : againShown) << lines[j].value(1).toDouble();
        }
    }
    std::printf("First picture of a 640x480 FLV after SetVariable (ms; %d fresh programs):\n",
                runs);
    std::printf("  first file of the program  reached the output: median %6.1f max %6.1f"
                "   shown: median %6.1f max %6.1f\n",
                Median(firstDelivered),
                *std::max_element(firstDelivered.begin(), firstDelivered.end()), Median(firstShown),
                *std::max_element(firstShown.begin(), firstShown.end()));
    std::printf("  opened again               reached the output: median %6.1f"
                "              shown: median %6.1f\n",
                Median(againDelivered), Median(againShown));

    // Memory, each state in a fresh program.
    QTemporaryDir noMovie;
    for (const QFileInfo& f : QDir(appFolder).entryInfoList(QDir::Files)) {
        if (f.fileName() != QLatin1String("kstr_flvp_small.qml"))
            QFile::copy(f.filePath(), noMovie.filePath(f.fileName()));
    }
    QDir().mkpath(noMovie.filePath(QStringLiteral("vhook")));
    QFile::copy(appFolder + QStringLiteral("/vhook/rgb.txt"),
                noMovie.filePath(QStringLiteral("vhook/rgb.txt")));

    struct State {
        const char* label;
        QString folder;
        const char* mode;
    };
    const QList<State> states = {{"without the player movie", noMovie.path(), "idle"},
                                 {"with the movie loaded", appFolder, "idle"},
                                 {"with the movie playing", appFolder, "playing"}};
    std::printf("Memory of the program after start-up (kB):\n");
    long base = -1;
    for (const State& s : states) {
        const QList<QStringList> lines =
            RunChild({QStringLiteral("--memory"), s.folder, flv, QString::fromLatin1(s.mode)});
        if (lines.size() != 1) {
            std::fprintf(stderr, "player_bench: the %s program failed\n", s.label);
            return 1;
        }
        const long rss = lines[0].value(0).toLong();
        if (base < 0)
            base = rss;
        std::printf("  %-26s RSS %7ld (anonymous %7ld, files %7ld)   added %+7ld\n", s.label, rss,
                    lines[0].value(1).toLong(), lines[0].value(2).toLong(), rss - base);
    }
    return 0;
}
