#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantList>
#include <functional>
#include <optional>

struct StepResult;
class QDBusMessage;
class QDBusPendingCallWatcher;

// What the desktop hears of a job. While it runs, the screen is kept from
// blanking and the session from idling into a suspend (only idleness: a
// suspend the user asks for always goes through), by the portal or else the
// screen saver service. When the job reports while the user works in another
// program, a desktop notification says how it went. All of it goes over the
// session bus without waiting for answers; without a bus or those services
// nothing is said and the job runs as ever. The bus is first used when a job
// starts.
class DesktopSession : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* Reason = "Converting a video to FLV";
    static constexpr int DefaultTimeoutMs = 10000;

    // userIsHere tells whether one of the program's windows has the focus.
    explicit DesktopSession(std::function<bool()> userIsHere, QObject* parent = nullptr);
    ~DesktopSession() override;

    // How long a service may take to answer before it counts as absent.
    void SetTimeout(int ms) { m_timeoutMs = ms; }
    // The desktop has granted an inhibition that has not been ended yet.
    bool Inhibiting() const { return m_held.has_value(); }

public slots:
    void JobStarted(const QString& flvName);
    // Each step's end that the window shows (those without words are left
    // out), before its box is shown: the box holds the job until it is
    // answered, so the word cannot wait for the job's end.
    void JobStepEnded(const StepResult& result);
    void JobEnded();

private:
    // The call that ends an inhibition.
    struct Release {
        QString service, path, interface, method;
        QVariantList args;
    };
    // Ordered: the gravest outcome of a job's steps names it.
    enum Outcome { Finished, Cancelled, Failed };

    bool connectBus();
    void askPortal();
    void askScreenSaver(int pathIndex);
    void hold(const Release& release);
    void release();
    void notify();
    void call(const QDBusMessage& message, std::function<void(QDBusPendingCallWatcher*)> answered);

    std::function<bool()> m_userIsHere;
    const QString m_connectionName;
    QDBusConnection m_bus;
    bool m_busTried = false;
    int m_timeoutMs = DefaultTimeoutMs;

    bool m_jobRunning = false;
    bool m_asking = false; // an inhibition is on its way
    std::optional<Release> m_held;

    bool m_capsKnown = false;
    bool m_markup = false; // the notification server reads markup in the body
    bool m_notePending = false;
    QString m_flvName;
    QStringList m_messages;
    Outcome m_outcome = Finished;
};
