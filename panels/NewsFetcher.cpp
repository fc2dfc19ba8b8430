#include "panels/NewsFetcher.h"

#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>

NewsFetcher::NewsFetcher(QObject* parent) : QObject(parent)
{
    m_manager.setProxy(QNetworkProxy::NoProxy);
    m_timer.setSingleShot(true);
    m_timer.setInterval(DefaultTimeoutMs);
    connect(&m_timer, &QTimer::timeout, this, &NewsFetcher::Finish);
}

NewsFetcher::~NewsFetcher()
{
    Drop();
}

void NewsFetcher::Fetch(const QUrl& url)
{
    Drop();
    m_body.clear();

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(AgentName));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    QNetworkReply* reply = m_manager.get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::readyRead, this, &NewsFetcher::Take);
    connect(reply, &QNetworkReply::finished, this, &NewsFetcher::Finish);
    m_timer.start();
}

// Keeps what fits; once the buffer is full the rest of the answer is not
// waited for.
void NewsFetcher::Take()
{
    if (!m_reply)
        return;
    const QByteArray chunk = m_reply->read(MaxBytes - m_body.size());
    m_body += chunk;
    if (m_body.size() >= MaxBytes)
        Finish();
}

void NewsFetcher::Finish()
{
    if (!m_reply)
        return;
    // An error answer (404 and the like) still carries its body.
    if (m_body.size() < MaxBytes && m_reply->isOpen())
        m_body += m_reply->read(MaxBytes - m_body.size());
    Drop();
    emit Finished(m_body);
}

// Forgets the running request: its reply will never report.
void NewsFetcher::Drop()
{
    m_timer.stop();
    if (QNetworkReply* reply = m_reply) {
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}
