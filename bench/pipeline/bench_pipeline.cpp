// Pipeline benchmark: one 60-second job (encode, metadata, 10 stills) through
// the window, offscreen with scripted dialogs, against the same three command
// lines run one after the other from a shell; 3 runs each, interleaved. Prints
// the ratio of the medians and the longest stall of the window's event loop.
//
//   cmake --build build --target bench_pipeline && QT_QPA_PLATFORM=offscreen
//   build/bench/bench_pipeline
#include "app/frmMain.h"
#include "common/AppPaths.h"
#include "tests/support/TestSupport.h"
#include "ui_frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>

using namespace TestSupport;

namespace
{

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct WindowRun {
    double seconds = 0;
    qint64 longestStallMs = 0;
    QStringList commands;
    QList<double> stepStarts; // seconds from the click
};

WindowRun runThroughWindow(const QString& source, const QString& folder)
{
    WindowRun result;
    MessageRecorder messages;
    DialogScript dialogs;
    frmMain window;
    StartWindow(window);
    Ui::frmMain* ui = window.ui();
    QElapsedTimer clock;
    QObject::connect(ui->txtApp, &QLineEdit::textChanged, [&](const QString& text) {
        result.commands << text;
        result.stepStarts << clock.elapsed() / 1000.0;
    });
    ui->chkImage->setChecked(true);
    dialogs.answers = {source, folder};
    ui->cmdInput->click();
    ui->cmdOutput->click();

    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        result.longestStallMs = std::max(result.longestStallMs, sinceTick.restart() - 10);
    });
    clock.start();
    sinceTick.start();
    ticker.start();
    ui->cmdConvert->click();
    while (window.JobRunning())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    result.seconds = clock.elapsed() / 1000.0;
    if (messages.messages.size() != 2)
        std::fprintf(stderr, "unexpected outcome: %s\n",
                     qPrintable(messages.messages.value(0).text));
    return result;
}

double runFromShell(const QStringList& commands, QList<double>* stepStarts)
{
    QElapsedTimer clock;
    clock.start();
    for (const QString& command : commands) {
        *stepStarts << clock.elapsed() / 1000.0;
        QProcess::execute("sh", {"-c", command + " >/dev/null 2>&1"});
    }
    return clock.elapsed() / 1000.0;
}

QString steps(const QList<double>& starts, double end)
{
    QStringList parts;
    for (int i = 0; i < starts.size(); ++i)
        parts << QString::number((i + 1 < starts.size() ? starts[i + 1] : end) - starts[i], 'f', 2);
    return parts.join(" + ");
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    IsolateProcess();
    QTemporaryDir media;
    const QString source = media.filePath("sixty.avi");
    std::printf("making a 60-second 640x480 source...\n");
    QProcess::execute("ffmpeg", {"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                 "testsrc=size=640x480:rate=25:duration=60", "-f", "lavfi", "-i",
                                 "sine=duration=60", "-c:v", "mpeg4", "-q:v", "4", "-c:a", "mp3",
                                 "-shortest", source});
    QList<double> window, shell;
    qint64 stall = 0;
    for (int run = 0; run < 3; ++run) {
        QTemporaryDir out1, out2;
        const WindowRun w = runThroughWindow(source, out1.path());
        window << w.seconds;
        stall = std::max(stall, w.longestStallMs);
        QStringList commands = w.commands;
        for (QString& c : commands)
            c.replace(out1.path(), out2.path());
        QList<double> shellSteps;
        shell << runFromShell(commands, &shellSteps);
        std::printf("run %d: window %.2f s (%s), shell %.2f s (%s), longest stall %lld ms\n",
                    run + 1, w.seconds, qPrintable(steps(w.stepStarts, w.seconds)), shell.last(),
                    qPrintable(steps(shellSteps, shell.last())),
                    static_cast<long long>(w.longestStallMs));
    }
    std::printf("median window %.2f s, shell %.2f s, ratio %.3f (target <= 1.05)\n", median(window),
                median(shell), median(window) / median(shell));
    std::printf("longest event-loop stall %lld ms (target < 50 ms)\n",
                static_cast<long long>(stall));
    return 0;
}
