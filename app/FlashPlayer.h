#pragma once

#include <QPointer>
#include <QQuickItem>
#include <QWidget>

class QQuickView;

// The preview player: it loads a player "movie" (a QML file) and runs it. The
// movie asks its host for a file through FSCommand, which relays the movie's
// signal fsCommand (QML signal names start in lower case); the host answers
// by setting the movie's variable "varFlvFile" with SetVariable, which sets
// the property of that name on the movie's root object.
//
// The movie keeps its own stage size and is scaled to the control with its
// aspect kept, aligned to the top-left corner.
//
// The Qt Quick view inside is made when the movie is first needed, which
// spares start-up its cost. It is a window of its own, held in a native child
// of the control, so the main window is never re-created for OpenGL. Keys
// typed in it still reach the window's shortcuts, and the control's tooltip
// shows over it.
class FlashPlayer : public QWidget
{
    Q_OBJECT
public:
    explicit FlashPlayer(QWidget* parent = nullptr);
    ~FlashPlayer() override;

    QString Movie() const { return m_movie; }
    // Loads and runs the movie at path. A missing or broken movie leaves the
    // control empty (the reason goes to stderr); it is not an error. The scene
    // is built when the control is first shown or first spoken to, so that
    // start-up does not wait for it.
    void SetMovie(const QString& path);
    // Sets the running movie's variable. Setting it to the value it already
    // has sets it again, so the movie sees the request a second time.
    void SetVariable(const QString& name, const QString& value);

    // The running movie's root item, or nullptr when no movie runs.
    QQuickItem* MovieItem();
    // The view that runs the movie (made on demand).
    QQuickView* View();

signals:
    void FSCommand(const QString& command, const QString& args);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void MovieCalled(const QString& command, const QString& args);

private:
    void UnloadMovie();
    void LoadMovie();
    void PlaceMovie();

    QString m_movie;
    bool m_loaded = false;
    QQuickView* m_view = nullptr;
    QWidget* m_container = nullptr;
    QQuickItem* m_stage = nullptr;
    QPointer<QQuickItem> m_item;
    QSizeF m_stageSize;
};
