// The console program before anything runs: arguments, manifests, the jobs a run plans.
#include "common/CommandLine.h"
#include "console/Manifest.h"
#include "console/RunPlan.h"
#include "console/UsageError.h"
#include "settings/SettingsFile.h"
#include "tests/support/TestSupport.h"

using namespace TestSupport;

static QStringList fields(const JobRequest& j)
{
    const EncoderControls& o = j.options;
    const auto n = [](auto number) { return QString::number(number); };
    return {"size=" + SizeText(o.frameSize),
            "video=" + n(o.videoBitrate) + '/' + n(o.frameRate) +
                (o.format == FlvFormat::H264 ? " h264" : ""),
            "audio=" + (o.disableAudio ? "off"
                                       : n(o.audioRate) + '/' + n(o.audioBitrate) + '/' +
                                             (o.channels == 2 ? "Stereo" : "Mono")),
            "watermark=" + (o.watermark ? o.watermarkText : "off"),
            "look=" + o.fontFileName + '/' + o.fontSize + '/' + o.colorName + '/' +
                n(int(j.corner)) + '/' + (o.alpha ? n(*o.alpha) : "none"),
            "stills=" + (j.stills ? n(j.stillsCount.value_or(0)) + ' ' + j.stillsName : "off")};
}

class TestConsole : public QObject
{
    Q_OBJECT
private slots:
    void plans();
};

void TestConsole::plans()
{
    IsolateProcess();
    QTemporaryDir dir;
    QDir root(dir.path());
    QMap<QString, QByteArray> files = {
        {"logo.wsx", EncodeSettingsFile({"Logo", 3, "128", Corner::BottomLeft, 2, 0})},
        {"m.txt", "# two jobs\nv/a.avi\n\n{\"source\": \"v/B.MOV\", \"size\": \"160x120\", "
                  "\"no-audio\": true}\n"},
        {"bad.txt", "v/a.avi\n{\"source\": \"v/a.avi\", \"opacity\": \"x\"}\n{\"source\": "
                    "\"v/B.MOV\"\n{\"source\": \"v/B.MOV\", \"corner\": \"middle\"}\n"}};
    for (const QString& empty :
         QString("v/a.avi v/B.MOV v/x.flv v/.hidden.avi v/notes.txt "
                 "v/sub/c.mov dup/clip.avi dup/clip.mov dup/clip.flv out/a.flv")
             .split(' '))
        files[empty];
    for (auto it = files.begin(); it != files.end(); ++it) {
        QVERIFY(root.mkpath(QFileInfo(it.key()).path()));
        WriteFile(root.filePath(it.key()), it.value());
    }
    QVERIFY(QDir::setCurrent(root.path()));
    const QString app = BuiltAppFolder();
    const Catalogs catalogs = LoadCatalogs(app);
    const QStringList start = fields(StartRequest(catalogs, app));
    CompareGoldenTable("console-runs.txt", [&](const QString& line) {
        try {
            const BatchPlan plan =
                PlanRun(ParseArguments(QStringList{"kestrel-convert"} + SplitCommandLine(line)),
                        catalogs, app);
            QStringList jobs;
            for (const PlannedJob& job : plan.jobs) {
                QStringList said{job.request.source + " -> " + job.request.outDir +
                                 job.request.outFile};
                for (const QString& field : fields(job.request))
                    said << (start.contains(field) ? QString() : field);
                said << (job.outputExists ? "exists" : "")
                     << (job.refusal ? "refused: " + job.refusal->message : "");
                said.removeAll(QString());
                jobs << said.join(' ');
            }
            return jobs.join(" | ").replace(root.path() + '/', "");
        } catch (const UsageError& error) {
            return "exit 2: " + error.message().replace(root.path() + '/', "");
        }
    });
    CompareGoldenTable("manifests.txt", [](const QString& text) {
        QStringList jobs;
        for (const ManifestJob& job : ParseManifest(text.toUtf8())) {
            jobs << QString::number(job.line) +
                        (job.error.isEmpty() ? ':' + job.source : " bad: " + job.error);
            for (const auto& [name, value] : job.options)
                jobs.last() += ' ' + name + '=' + value;
        }
        return jobs.join(" | ");
    });
}

QTEST_GUILESS_MAIN(TestConsole)
#include "test_console.moc"
