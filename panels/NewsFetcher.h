#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

// Fetches the maker's short news text: one plain GET, straight to the server
// (no proxy, no cache), keeping at most MaxBytes of the body whatever the
// answer's status. A connection that fails gives an empty text. A new Fetch
// supersedes the one still running: only the latest request reports.
class NewsFetcher : public QObject
{
    Q_OBJECT
public:
    static constexpr qsizetype MaxBytes = 1000;
    static constexpr int DefaultTimeoutMs = 10000;
    static constexpr const char* AgentName = "Kestrel News";

    explicit NewsFetcher(QObject* parent = nullptr);
    ~NewsFetcher() override;

    void Fetch(const QUrl& url);
    bool IsBusy() const { return m_reply != nullptr; }

    // The whole request, connection included, ends after this time with what
    // has arrived so far.
    void SetTimeout(int ms) { m_timer.setInterval(ms); }
    int Timeout() const { return m_timer.interval(); }

signals:
    // The first MaxBytes bytes of the body (all of it if shorter), or what
    // arrived before a failure or the time-out; empty when nothing did.
    void Finished(const QByteArray& body);

private:
    void Take();
    void Finish();
    void Drop();

    QNetworkAccessManager m_manager;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_body;
    QTimer m_timer;
};
