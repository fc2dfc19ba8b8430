#pragma once

#include <QWidget>

// The preview player: it loads a player "movie" file and runs it. The movie
// asks its host for a file through FSCommand; the host answers by setting the
// movie's variable "varFlvFile" with SetVariable.
class FlashPlayer : public QWidget
{
    Q_OBJECT
public:
    explicit FlashPlayer(QWidget* parent = nullptr);

    QString Movie() const { return m_movie; }
    void SetMovie(const QString& path);
    void SetVariable(const QString& name, const QString& value);

signals:
    void FSCommand(const QString& command, const QString& args);

private:
    QString m_movie;
};
