#include "panels/DesktopSession.h"

#include "pipeline/StepResult.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRandomGenerator>
#include <algorithm>
#include <utility>

namespace
{

const QString AppName = QStringLiteral("Kestrel FLV Converter & Watermarker 7");
const QString AppId = QStringLiteral(KESTREL_APP_ID);

const QString Portal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalRequest = QStringLiteral("org.freedesktop.portal.Request");
// The portal's flags: 1 logout, 2 user switch, 4 suspend, 8 idle.
constexpr uint IdleOnly = 8;
const QString ScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
// Older desktops serve the screen saver at the short path only.
const QString ScreenSaverPaths[] = {QStringLiteral("/org/freedesktop/ScreenSaver"),
                                    QStringLiteral("/ScreenSaver")};
const QString Notifications = QStringLiteral("org.freedesktop.Notifications");

QDBusMessage notificationsCall(const QString& method)
{
    return QDBusMessage::createMethodCall(
        Notifications, QStringLiteral("/org/freedesktop/Notifications"), Notifications, method);
}

} // namespace

DesktopSession::DesktopSession(std::function<bool()> userIsHere, QObject* parent)
    : QObject(parent), m_userIsHere(std::move(userIsHere)),
      m_connectionName(QStringLiteral("kestrel-desktop-%1").arg(quintptr(this), 0, 16)),
      m_bus(QString())
{
}

// Leaving the bus ends any inhibition still on its way too.
DesktopSession::~DesktopSession()
{
    release();
    if (m_busTried)
        QDBusConnection::disconnectFromBus(m_connectionName);
}

bool DesktopSession::connectBus()
{
    if (!m_busTried) {
        m_busTried = true;
        // Only the bus the environment names: none is started for us.
        const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
        if (!address.isEmpty())
            m_bus = QDBusConnection::connectToBus(address, m_connectionName);
        if (m_bus.isConnected())
            call(notificationsCall(QStringLiteral("GetCapabilities")),
                 [this](QDBusPendingCallWatcher* answer) {
                     const QDBusPendingReply<QStringList> caps = *answer;
                     m_markup = caps.isValid() && caps.value().contains(u"body-markup");
                     m_capsKnown = true;
                     if (std::exchange(m_notePending, false))
                         notify();
                 });
    }
    return m_bus.isConnected();
}

void DesktopSession::call(const QDBusMessage& message,
                          std::function<void(QDBusPendingCallWatcher*)> answered)
{
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, m_timeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, answered] {
        watcher->deleteLater();
        answered(watcher);
    });
}

void DesktopSession::JobStarted(const QString& flvName)
{
    m_flvName = flvName;
    m_messages.clear();
    m_outcome = Finished;
    m_jobRunning = true;
    if (connectBus() && !m_held && !m_asking)
        askPortal();
}

void DesktopSession::JobEnded()
{
    m_jobRunning = false;
    release();
}

void DesktopSession::askPortal()
{
    m_asking = true;
    // The portal names the request after our bus name and this token, so a
    // request whose answer came too late can still be ended.
    const QString token = QStringLiteral("kestrel%1").arg(QRandomGenerator::global()->generate());
    const QString handle = QStringLiteral("/org/freedesktop/portal/desktop/request/") +
                           m_bus.baseService().mid(1).replace(u'.', u'_') + u'/' + token;
    QDBusMessage ask = QDBusMessage::createMethodCall(
        Portal, QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
    ask << QString() << IdleOnly
        << QVariantMap{{QStringLiteral("handle_token"), token},
                       {QStringLiteral("reason"), QString::fromLatin1(Reason)}};
    call(ask, [this, handle](QDBusPendingCallWatcher* answer) {
        const QDBusPendingReply<QDBusObjectPath> request = *answer;
        if (request.isValid()) {
            hold({Portal, request.value().path(), PortalRequest, QStringLiteral("Close"), {}});
            return;
        }
        if (request.error().type() == QDBusError::NoReply)
            m_bus.send(QDBusMessage::createMethodCall(Portal, handle, PortalRequest,
                                                      QStringLiteral("Close")));
        askScreenSaver(0);
    });
}

void DesktopSession::askScreenSaver(int pathIndex)
{
    const QString path = ScreenSaverPaths[pathIndex];
    QDBusMessage ask =
        QDBusMessage::createMethodCall(ScreenSaver, path, ScreenSaver, QStringLiteral("Inhibit"));
    ask << AppId << QString::fromLatin1(Reason);
    call(ask, [this, path, pathIndex](QDBusPendingCallWatcher* answer) {
        const QDBusPendingReply<uint> cookie = *answer;
        if (cookie.isValid())
            hold({ScreenSaver, path, ScreenSaver, QStringLiteral("UnInhibit"), {cookie.value()}});
        else if (pathIndex + 1 < int(std::size(ScreenSaverPaths)))
            askScreenSaver(pathIndex + 1);
        else
            m_asking = false;
    });
}

// An answer that comes after its job has ended is released at once.
void DesktopSession::hold(const Release& release)
{
    m_asking = false;
    m_held = release;
    if (!m_jobRunning)
        this->release();
}

void DesktopSession::release()
{
    if (!m_held)
        return;
    QDBusMessage end = QDBusMessage::createMethodCall(m_held->service, m_held->path,
                                                      m_held->interface, m_held->method);
    end.setArguments(m_held->args);
    m_bus.send(end);
    m_held.reset();
}

void DesktopSession::JobStepEnded(const StepResult& result)
{
    if (result.text.isEmpty())
        return;
    m_messages << result.text;
    const Outcome outcome = result.outcome == StepOutcome::Cancelled ? Cancelled
                            : result.IsFailure()                     ? Failed
                                                                     : Finished;
    m_outcome = std::max(m_outcome, outcome);
    if (m_bus.isConnected() && !(m_userIsHere && m_userIsHere()))
        notify();
}

// The FLV file's name and the job's messages so far, under a calm summary.
// The body is escaped for a server that reads markup, so it waits until the
// server has said whether it does.
void DesktopSession::notify()
{
    if (!m_capsKnown) {
        m_notePending = true;
        return;
    }
    static const QString summaries[] = {QStringLiteral("Conversion finished"),
                                        QStringLiteral("Conversion cancelled"),
                                        QStringLiteral("Conversion failed")};
    QString body = (QStringList{m_flvName} + m_messages).join(u'\n');
    if (m_markup)
        body = body.toHtmlEscaped();
    QDBusMessage note = notificationsCall(QStringLiteral("Notify"));
    note << AppName << 0u << AppId << summaries[m_outcome] << body << QStringList()
         << QVariantMap{{QStringLiteral("desktop-entry"), AppId}} << -1;
    m_bus.send(note);
}
