#include "app/frmSplash.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPixmap>
#include <QTimer>

int& frmSplash::TimerInterval()
{
    static int interval = 2000;
    return interval;
}

frmSplash::frmSplash(QWidget* owner) : QDialog(owner, Qt::FramelessWindowHint | Qt::Dialog)
{
    setObjectName(QStringLiteral("frmSplash"));
    setModal(true);
    setFixedSize(355, 202);
    setStyleSheet(QStringLiteral("QDialog { background-color: black; }"));

    auto* imgSplash = new QLabel(this);
    imgSplash->setObjectName(QStringLiteral("imgSplash"));
    imgSplash->setGeometry(0, 0, 355, 202);
    imgSplash->setFrameShape(QFrame::Box);
    imgSplash->setLineWidth(1);
    imgSplash->setStyleSheet(QStringLiteral("QLabel { border: 1px solid #808080; }"));
    imgSplash->setPixmap(QPixmap(QStringLiteral(":/kestrel/splash.png")));

    auto* tmrSplash = new QTimer(this);
    tmrSplash->setObjectName(QStringLiteral("tmrSplash"));
    tmrSplash->setSingleShot(true);
    tmrSplash->setInterval(TimerInterval());
    connect(tmrSplash, &QTimer::timeout, this, &frmSplash::tmrSplash_Timer);
    tmrSplash->start();

    if (owner)
        move(owner->geometry().center() - rect().center());
}

void frmSplash::tmrSplash_Timer()
{
    m_timedOut = true;
    accept();
}

void frmSplash::closeEvent(QCloseEvent* event)
{
    if (!m_timedOut)
        event->ignore();
}
