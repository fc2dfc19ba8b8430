// Preview player figures, run by hand (under a display, or `xvfb-run -a`):
//
//   build/bench/player_bench [--runs N] [--grab window.png]
//
// 1. Time from SetVariable("varFlvFile", path) to the first picture of a
//    640x480 FLV shown: the frame reaching the video output, and the first
//    scene rendered after it. The first run and the median of the others.
// 2. Memory (VmRSS, VmHWM) of the main window after start-up without the
//    player movie, with the movie loaded, and with the movie playing.
//
// The FLV is made with Debian's ffmpeg: Sorenson video and MP3 audio, as our
// encoder writes them. Each memory figure comes from a fresh process.
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
        QObject::connect(player->quickWindow(), &QQuickWindow::afterRendering, player, [&] {
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
    QProcess encode;
    encode.start(QStringLiteral("ffmpeg"),
                 {"-nostdin", "-loglevel", "error", "-y",
                  "-f",       "lavfi",     "-i",    "testsrc=size=640x480:rate=25",
                  "-f",       "lavfi",     "-i",    "sine=frequency=440:sample_rate=22050",
                  "-t",       "10",        "-c:v",  "flv1",
                  "-b:v",     "800k",      "-c:a",  "libmp3lame",
                  "-ar",      "22050",     "-b:a",  "64k",
                  path});
    return encode.waitForFinished(120000) && encode.exitStatus() == QProcess::NormalExit &&
           encode.exitCode() == 0;
}

// A child process: start the window as the program does and report memory.
int MemoryChild(const QString& mode, const QString& appFolder, const QString& flv)
{
    AppPaths::SetAppFolder(appFolder);
    frmSplash::TimerInterval() = 10;
    frmMain window;
    window.Form_Load();
    window.ui()->sstThis->setCurrentIndex(1);
    Wait(1500);
    if (mode == QLatin1String("playing")) {
        window.ui()->swfControl->SetVariable(QStringLiteral("varFlvFile"), flv);
        Wait(3000);
    }
    std::printf("%s %s\n", qPrintable(ProcStatus("VmRSS:").split(u' ').first()),
                qPrintable(ProcStatus("VmHWM:").split(u' ').first()));
    window.blnForceExit = true; // leave without the exit question
    window.close();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QStringList args = app.arguments();
    // Each run gets its own single-instance lock.
    QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());

    if (args.size() >= 5 && args[1] == QLatin1String("--child"))
        return MemoryChild(args[2], args[3], args[4]);

    int runs = 6;
    QString grab;
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--runs"))
            runs = std::max(2, args[i + 1].toInt());
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

    // Time to the first picture, in this process.
    {
        AppPaths::SetAppFolder(appFolder);
        frmSplash::TimerInterval() = 10;
        frmMain window;
        window.Form_Load();
        window.ui()->sstThis->setCurrentIndex(1);
        FlashPlayer* player = window.ui()->swfControl;
        if (!player->MovieItem()) {
            std::fprintf(stderr, "player_bench: no player movie in %s\n", qPrintable(appFolder));
            return 1;
        }
        Wait(1000);
        QList<double> delivered;
        QList<double> shown;
        for (int i = 0; i < runs; ++i) {
            const std::optional<FirstFrame> r = TimeFirstFrame(player, flv);
            if (!r) {
                std::fprintf(stderr, "player_bench: no picture within 10 s (run %d)\n", i + 1);
                return 1;
            }
            delivered << r->delivered;
            shown << r->shown;
        }
        if (!grab.isEmpty()) {
            Wait(1500);
            window.grab().save(grab);
        }
        auto median = [](QList<double> v) {
            v.removeFirst();
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        std::printf("First picture of a 640x480 FLV after SetVariable (ms):\n");
        std::printf("  first run   reached the video output %7.1f   shown %7.1f\n", delivered[0],
                    shown[0]);
        std::printf("  median of %d reached the video output %7.1f   shown %7.1f\n", runs - 1,
                    median(delivered), median(shown));
        window.blnForceExit = true;
        window.close();
    }

    // Memory, each state in a fresh process.
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
        QString mode;
        QString folder;
    };
    const QList<State> states = {{"without the player movie", "idle", noMovie.path()},
                                 {"with the movie loaded", "idle", appFolder},
                                 {"with the movie playing", "playing", appFolder}};
    std::printf("Memory of the main window after start-up (kB):\n");
    long base = -1;
    for (const State& s : states) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child"), s.mode, s.folder, flv});
        if (!child.waitForFinished(60000) || child.exitCode() != 0) {
            std::fprintf(stderr, "player_bench: the %s process failed\n", s.label);
            return 1;
        }
        const QStringList figures = QString::fromLatin1(child.readAllStandardOutput())
                                        .trimmed()
                                        .split(u' ', Qt::SkipEmptyParts);
        const long rss = figures.value(0).toLong();
        if (base < 0)
            base = rss;
        std::printf("  %-26s RSS %7ld   peak %7ld   added %+7ld\n", s.label, rss,
                    figures.value(1).toLong(), rss - base);
    }
    return 0;
}
