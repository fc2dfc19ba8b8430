#include "options/VideoFilter.h"

QString VideoOpenFilter()
{
    return QStringLiteral(
        "Supported Video "
        "Files(*.mpe;*.mpeg;*.mpg;*.mpv;*.m1s;*.m1v;*.m1a;*.mp2;*.mpm;*.mpa;*.avi;*.divx;*.wmv;*."
        "asf;*"
        ".mkv;*.mov;*.flv;*.mp4;*.m4v;*.webm;*.ogv;*.3gp;*.ts;*.mts;*.m2ts)|*.mpe;*.mpeg;*.mpg;*."
        "mpv;*"
        ".m1s;*.m1v;*.m1a;*.mp2;*.mpm;*.mpa;*.avi;*.divx;*.wmv;*.asf;*.mkv;*.mov;*.flv;*.mp4;*.m4v;"
        "*."
        "webm;*.ogv;*.3gp;*.ts;*.mts;*.m2ts|MPEG "
        "(*.mpe,*.mpeg,*.mpg,*.mpv,*.m1s,*.m1v,*.m1a,*.mp2,*."
        "mpm,*.mpa)| *.mpe;*.mpeg;*.mpg;*.mpv;*.m1s;*.m1v;*.m1a;*.mp2;*.mpm;*.mpa|AVI and DivX AVI "
        "(*.avi,*.divx)|*.avi;*.divx|Windows Media Formats (*.wmv,*.asf,*.mkv) | "
        "*.wmv;*.asf;*.mkv|Quicktime Formats (*.mov) | *.mov|Flash Live Video (*.flv)| *.flv|All "
        "Files (*.*)|*");
}

QStringList SupportedVideoPatterns()
{
    QStringList patterns = VideoOpenFilter().section(u'|', 1, 1).split(u';', Qt::SkipEmptyParts);
    for (QString& pattern : patterns)
        pattern = pattern.trimmed();
    return patterns;
}
