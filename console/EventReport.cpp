#include "console/EventReport.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace
{

// One JSON value as text (Qt writes only arrays and objects).
QByteArray jsonText(const QJsonValue& value)
{
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QJsonValue orNull(const QString& text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QString oneLine(QString text)
{
    return text.replace(u'\n', QLatin1String("\\n")).replace(u'\r', QLatin1String("\\r"));
}

} // namespace

EventReport::EventReport(FILE* lines, FILE* json, bool liveProgress)
    : m_lines(lines), m_json(json), m_live(liveProgress)
{
}

// The fields in a fixed order, "event" and "job" first, so that the lines
// read well.
void EventReport::writeJson(const char* event, const Fields& fields)
{
    if (!m_json)
        return;
    QByteArray line = "{\"event\":" + jsonText(QLatin1String(event));
    for (const auto& [key, value] : fields)
        line += ",\"" + QByteArray(key) + "\":" + jsonText(value);
    line += "}\n";
    std::fwrite(line.constData(), 1, size_t(line.size()), m_json);
    std::fflush(m_json);
}

void EventReport::writeLine(const QString& line)
{
    const QByteArray bytes =
        (m_progressShown ? QByteArray("\r\x1b[K") : QByteArray()) + line.toLocal8Bit() + '\n';
    m_progressShown = false;
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_lines);
    std::fflush(m_lines);
}

void EventReport::Queued(int job, int jobs, const JobRequest& request)
{
    m_jobs = jobs;
    Job& state = m_running[job];
    state.source = request.source;
    // A stream writes no file.
    state.output = request.streamUrls.isEmpty() ? request.outDir + request.outFile : QString();
    writeJson("queued", {{"job", job}, {"source", state.source}, {"output", orNull(state.output)}});
}

QString EventReport::prefix(int job) const
{
    return m_jobs > 0 ? QStringLiteral("[%1/%2]").arg(job).arg(m_jobs)
                      : QStringLiteral("[%1]").arg(job);
}

void EventReport::StepStarted(int job, JobStep step)
{
    Job& state = m_running[job];
    state.step = step;
    writeJson("step", {{"job", job}, {"step", StepName(step)}, {"caption", StepCaption(step)}});
}

void EventReport::Progress(int job, int percent, std::optional<int> secondsLeft)
{
    const Job& state = m_running[job];
    writeJson("progress",
              {{"job", job},
               {"step", StepName(state.step)},
               {"percent", percent},
               {"seconds_left", secondsLeft ? QJsonValue(*secondsLeft) : QJsonValue()}});
    if (!m_live)
        return;
    QString line =
        QStringLiteral("%1 %2: %3 %4%")
            .arg(prefix(job), oneLine(QFileInfo(state.source).fileName()), StepCaption(state.step))
            .arg(percent);
    if (secondsLeft)
        line += QStringLiteral(", %1:%2 left")
                    .arg(*secondsLeft / 60)
                    .arg(*secondsLeft % 60, 2, 10, QLatin1Char('0'));
    const QByteArray bytes = "\r\x1b[K" + line.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_lines);
    std::fflush(m_lines);
    m_progressShown = true;
}

void EventReport::StepEnded(int job, const StepResult& step)
{
    writeJson("outcome", {{"job", job},
                          {"step", StepName(step.step)},
                          {"ok", step.outcome != StepOutcome::Cancelled && !step.IsFailure()},
                          {"message", step.text},
                          {"details", step.details}});
}

void EventReport::Destination(int job, const DestinationState& state)
{
    if (state.state == QLatin1String("connecting"))
        return;
    writeJson("destination", {{"job", job},
                              {"destination", state.number},
                              {"url", state.url},
                              {"state", state.state},
                              {"message", state.message}});
    writeLine(QStringLiteral("%1 %2: destination %3 %4: %5")
                  .arg(prefix(job), oneLine(m_running[job].source))
                  .arg(state.number)
                  .arg(state.url, state.state) +
              (state.message.isEmpty() ? QString() : QStringLiteral(": ") + state.message));
}

// A skipped job's note is the output that is there; a watched folder, whose
// count is not known, takes no --overwrite.
void EventReport::Ended(int job, const JobOutcome& end)
{
    const Job state = m_running.take(job);
    ++m_results[static_cast<int>(end.result)];
    QString text = end.note.isEmpty() ? end.Words() : end.note;
    if (end.result == JobResult::Skipped)
        text += m_jobs > 0 ? QStringLiteral(" exists (--overwrite replaces it)")
                           : QStringLiteral(" exists (--watch never replaces it: delete it, "
                                            "and the video is converted again when it "
                                            "changes or when --watch starts again)");
    writeJson("ended",
              {{"job", job},
               {"source", state.source},
               {"output", orNull(state.output)},
               {"result", ResultName(end.result)},
               {"message", text},
               {"exit_code", end.exitCode ? QJsonValue(qint64(*end.exitCode)) : QJsonValue()},
               {"log", orNull(end.logPath)}});
    if (end.result == JobResult::Refused)
        text = QStringLiteral("not started: ") + text;
    else if (end.result == JobResult::Skipped)
        text = QStringLiteral("skipped: ") + text;
    if (!end.logPath.isEmpty() && end.result == JobResult::Failed)
        text += QStringLiteral(" (log: ") + end.logPath + u')';
    const bool inPart =
        !end.steps.isEmpty() && end.steps.last().outcome == StepOutcome::StreamedInPart;
    if (inPart) {
        writeJson("warning", {{"job", job}, {"message", text}});
        text = QStringLiteral("warning: ") + text;
    }
    const QString where = end.result == JobResult::Converted
                              ? state.source + QStringLiteral(" -> ") + state.output
                              : state.source;
    writeLine(QStringLiteral("%1 %2: %3").arg(prefix(job), oneLine(where), oneLine(text)));
}

void EventReport::RunEnded(int exitStatus)
{
    const auto count = [this](JobResult result) { return m_results[static_cast<int>(result)]; };
    writeJson("done", {{"status", exitStatus},
                       {"converted", count(JobResult::Converted)},
                       {"skipped", count(JobResult::Skipped)},
                       {"failed", count(JobResult::Failed)},
                       {"refused", count(JobResult::Refused)},
                       {"cancelled", count(JobResult::Cancelled)},
                       {"streamed", count(JobResult::Streamed)}});
}
