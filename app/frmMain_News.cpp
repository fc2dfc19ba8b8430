// The news panel of the third tab.
#include "app/frmMain.h"
#include "ui_frmMain.h"

#include "app/LinkStyle.h"
#include "common/AppPaths.h"
#include "panels/NewsFetcher.h"

namespace
{
constexpr int NewsTab = 2;
}

// Bringing the news tab to the front fetches the news again. The fetch runs
// in the background under the busy pointer; a newer fetch supersedes an older
// one, so the label always shows the answer to the latest choice of the tab.
void frmMain::sstThis_Click(int previousTab)
{
    Q_UNUSED(previousTab);
    if (m_ui->sstThis->currentIndex() != NewsTab)
        return;
    if (!m_newsFetcher) {
        m_newsFetcher = new NewsFetcher(this);
        m_newsFetcher->setObjectName(QStringLiteral("NewsFetcher"));
        connect(m_newsFetcher, &NewsFetcher::Finished, this, [this](const QByteArray& body) {
            // The text as it stands, never as markup; any kind of line break
            // starts a new line.
            QString text = QString::fromLocal8Bit(body);
            text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            text.replace(u'\r', u'\n');
            m_ui->lblNews->setTextFormat(Qt::PlainText);
            m_ui->lblNews->setText(text);
            unsetCursor();
        });
    }
    setCursor(Qt::BusyCursor);
    m_newsFetcher->Fetch(QUrl(AppPaths::SiteUrl(QStringLiteral("/news/news.txt"))));
}

void frmMain::lblNews_Click()
{
    OpenLink(QUrl(AppPaths::SiteUrl(QStringLiteral("/news/"))));
}

void frmMain::lblKestrelNews_Click()
{
    lblNews_Click();
}
