#include "pipeline/JobChecks.h"

#include "options/Catalogs.h"
#include "pipeline/PathHelpers.h"
#include "pipeline/StreamDestinations.h"

#include <QFileInfo>

namespace
{

class RealFileSystem final : public JobFileSystem
{
public:
    bool Exists(const QString& path) const override { return QFileInfo::exists(path); }
    bool SameFile(const QString& a, const QString& b) const override
    {
        const QFileInfo first(a), second(b);
        return first.exists() && second.exists() &&
               first.canonicalFilePath() == second.canonicalFilePath();
    }
    QString BlankFreePath(const QString& path) const override { return ::BlankFreePath(path); }
};

} // namespace

JobRefusal SourceNameRefusal()
{
    // Renamed outside the window.
    return {QStringLiteral("THE FILE NAME HOLDS A LINE BREAK OR ANOTHER CONTROL CHARACTER! "
                           "RENAME THE FILE FIRST.")};
}

const JobFileSystem& LocalFileSystem()
{
    static const RealFileSystem files;
    return files;
}

std::optional<JobRefusal> CheckStreamUrl(const QString& url, const QString& shown)
{
    if (IsStreamUrl(url))
        return std::nullopt;
    return JobRefusal{QStringLiteral("INVALID STREAMING SERVER ADDRESS \"") +
                      (shown.isNull() ? MaskedStreamUrl(url) : shown) +
                      QStringLiteral("\"! IT MUST BE rtmp:// OR rtmps:// WITH THE HOST, THE "
                                     "APPLICATION AND THE STREAM KEY.")};
}

std::optional<JobRefusal> CheckJob(const JobRequest& job, const JobFileSystem& files)
{
    using enum JobField;
    if (job.source.isEmpty())
        return JobRefusal(QStringLiteral("NO FILE TO ENCODE!"), Source);
    // A stream writes nothing: it needs servers, not an output.
    const bool stream = !job.streamUrls.isEmpty();
    for (const QString& url : job.streamUrls) {
        if (std::optional<JobRefusal> refusal = CheckStreamUrl(url))
            return refusal;
    }
    if (!stream && job.outDir.isEmpty())
        return JobRefusal(QStringLiteral("OUTPUT FOLDER MISSING!"), OutputFolder);
    if (!stream && job.outFile.isEmpty())
        return JobRefusal(QStringLiteral("OUTPUT FILE NAME MISSING!"), OutputName);
    if (!stream && job.outFile.right(4).toLower() != u".flv")
        return JobRefusal(QStringLiteral("INVALID OUTPUT FILE NAME! MUST BE A .FLV FILE."),
                          OutputName);
    const bool watermark = job.options.watermark;
    if (watermark && job.options.watermarkText.isEmpty())
        return JobRefusal(QStringLiteral("WATERMARK TEXT MISSING!"), WatermarkText);
    // A font the catalog names may be missing on this machine (Debian moves fonts between
    // packages); FFmpeg would only fail on it once the job has begun.
    const QString font = job.options.fontFileName;
    if (watermark && !files.Exists(job.fontsRoot + job.separator + QStringLiteral("fonts") +
                                   job.separator + font)) {
        const QString package = FontPackage(font);
        return JobRefusal(QStringLiteral("THE WATERMARK FONT \"") + font +
                              QStringLiteral("\" IS NOT INSTALLED! ") +
                              (package.isEmpty()
                                   ? QStringLiteral("INSTALL IT OR CHOOSE ANOTHER FONT.")
                                   : QStringLiteral("INSTALL THE DEBIAN PACKAGE ") + package +
                                         QStringLiteral(" OR CHOOSE ANOTHER FONT.")),
                          Font);
    }
    // The opacity comes from a settings file and may hold anything; the window has no box for it.
    if (watermark && !job.options.alpha)
        return JobRefusal(QStringLiteral("INVALID WATERMARK OPACITY! LOAD A VALID SETTINGS FILE."));
    if (!stream && job.stills && !job.stillsCount)
        return JobRefusal(QStringLiteral("NUMBER OF IMAGES MUST BE A NUMBER!"), StillsCount);
    if (!stream && files.SameFile(job.source, job.outDir + job.outFile))
        return JobRefusal(
            QStringLiteral("THE OUTPUT FILE IS THE SOURCE FILE! CHOOSE ANOTHER OUTPUT "
                           "FILE NAME OR FOLDER."),
            OutputName);
    // The programs beside this one are named on their command lines by a path
    // without blanks.
    if (files.BlankFreePath(job.appFolder).isEmpty())
        return JobRefusal(QStringLiteral("CANNOT RUN THE PROGRAMS IN \"") + job.appFolder +
                          QStringLiteral("\": THE FOLDER NAME HOLDS A BLANK AND NO LINK WITHOUT "
                                         "ONE CAN BE MADE. MOVE THE PROGRAM TO A FOLDER WHOSE "
                                         "NAME HAS NO BLANKS."));
    return std::nullopt;
}

bool OutputExists(const JobRequest& job, const JobFileSystem& files)
{
    return job.streamUrls.isEmpty() && files.Exists(job.outDir + job.outFile);
}
