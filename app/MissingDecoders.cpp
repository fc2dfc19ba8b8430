#include "app/MissingDecoders.h"

#include <QCoreApplication>

namespace
{

QtMessageHandler previousHandler = nullptr;

// The report reads: Warning: "No decoder available for type 'MEDIATYPE'."
void Watch(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    static const QString report = QStringLiteral("Warning: \"No decoder available for type '");
    if (context.category && qstrcmp(context.category, "qt.multimedia.player") == 0 &&
        text.startsWith(report)) {
        const QString mediaType = text.mid(report.size()).section(u'\'', 0, 0);
        // The report may come from any thread; the player hears of it in its own.
        QMetaObject::invokeMethod(
            MissingDecoders::Instance(),
            [mediaType] { emit MissingDecoders::Instance()->Missing(mediaType); },
            Qt::QueuedConnection);
    }
    if (previousHandler)
        previousHandler(type, context, text);
}

} // namespace

MissingDecoders* MissingDecoders::Instance()
{
    static MissingDecoders* const watcher = [] {
        // It lives as long as the process: the log may speak until the end.
        auto* made = new MissingDecoders;
        made->moveToThread(QCoreApplication::instance()->thread());
        previousHandler = qInstallMessageHandler(Watch);
        return made;
    }();
    return watcher;
}
