// The window's own writes, for check_writes.py: "wsx FILE" saves a watermark
// settings file, "log FOLDER" writes the log of a job of two steps.
#include "pipeline/JobLog.h"
#include "settings/SettingsFile.h"

int main(int argc, char** argv)
{
    const QString path = QString::fromLocal8Bit(argc == 3 ? argv[2] : "");
    if (argc == 3 && qstrcmp(argv[1], "wsx") == 0)
        return WriteSettingsFile(path, EncodeSettingsFile({})) ? 0 : 1;
    JobLog log;
    log.Begin(path, QDateTime::currentDateTime());
    for (const char* step : {"ffmpeg -i a.avi", "flvmdi a.flv"}) {
        log.ProgramStarted(step);
        log.Output("a line\n");
        log.ProgramEnded("exited with code 0", 20);
    }
    return argc == 3 && !log.Path().isEmpty() ? 0 : 1;
}
