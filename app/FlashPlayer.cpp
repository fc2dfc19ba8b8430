#include "app/FlashPlayer.h"

FlashPlayer::FlashPlayer(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
}

void FlashPlayer::SetMovie(const QString& path)
{
    m_movie = path;
}

void FlashPlayer::SetVariable(const QString& name, const QString& value)
{
    setProperty(name.toUtf8().constData(), value);
}
