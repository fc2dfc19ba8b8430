#include "console/Manifest.h"

#include "console/UsageError.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{

// A switch takes true or false, any other option a string or a whole number.
QString optionText(const JobOption& option, const QJsonValue& value)
{
    const bool isSwitch = option.kind == OptionKind::Switch;
    if (isSwitch && value.isBool())
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (!isSwitch && value.isString())
        return value.toString();
    if (!isSwitch && value.isDouble() && value.toDouble() == value.toInteger())
        return QString::number(value.toInteger());
    throw UsageError(QStringLiteral("\"") + option.name +
                     (isSwitch ? QStringLiteral("\" takes true or false")
                               : QStringLiteral("\" takes a text or a whole number")));
}

ManifestJob parseObject(const QByteArray& line)
{
    // Qt's parser blames the last string or number when the text ends right
    // after it ("unterminated string" for a missing "}"); with the line's end
    // after it, it names what is missing.
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line + '\n', &error);
    if (error.error != QJsonParseError::NoError)
        throw UsageError(error.errorString());
    if (!document.isObject())
        throw UsageError(QStringLiteral("not a JSON object"));
    const QJsonObject object = document.object();
    ManifestJob job;
    if (!object.value(u"source").isString() || object.value(u"source").toString().isEmpty())
        throw UsageError(QStringLiteral("\"source\" is missing"));
    job.source = object.value(u"source").toString();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() == u"source")
            continue;
        const JobOption* option = FindJobOption(it.key());
        if (!option)
            throw UsageError(QStringLiteral("\"") + it.key() +
                             QStringLiteral("\" is not an option for one job"));
        job.options.append({it.key(), optionText(*option, it.value())});
    }
    return job;
}

} // namespace

QList<ManifestJob> ParseManifest(const QByteArray& text)
{
    QList<ManifestJob> jobs;
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#'))
            continue;
        ManifestJob job;
        try {
            if (trimmed.startsWith('{'))
                job = parseObject(trimmed);
            else
                job.source = QFile::decodeName(line);
        } catch (const UsageError& error) {
            job.error = error.message();
        }
        job.line = i + 1;
        jobs.append(job);
    }
    return jobs;
}
