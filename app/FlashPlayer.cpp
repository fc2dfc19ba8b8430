#include "app/FlashPlayer.h"
#include "app/MissingDecoders.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQmlProperty>
#include <QQuickItem>
#include <QQuickView>
#include <QToolTip>

namespace
{

// The player's troubles go to stderr; the window carries on without a movie.
void Report(const QString& text)
{
    qWarning("kestrel: %s", qPrintable(text));
}

} // namespace

FlashPlayer::FlashPlayer(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

QQuickView* FlashPlayer::View()
{
    if (m_view)
        return m_view;
    m_view = new QQuickView;
    // The stage is ours: it always covers the control, and the movie sits
    // on it scaled (see PlaceMovie).
    m_view->setResizeMode(QQuickView::SizeRootObjectToView);
    m_view->setColor(palette().color(QPalette::Window));
    m_view->installEventFilter(this);
    // Without a usable OpenGL the control stays blank rather than ending the
    // program.
    connect(m_view, &QQuickWindow::sceneGraphError, this,
            [](QQuickWindow::SceneGraphError, const QString& message) {
                Report(QStringLiteral("the player cannot draw: %1").arg(message));
            });
    m_container = QWidget::createWindowContainer(m_view, this);
    m_container->setGeometry(rect());
    m_container->setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(m_container);
    m_container->show();
    return m_view;
}

// The view is a window of its own: the control's tooltip, the way out by Tab
// and files dropped on it are brought to the window by hand (the window's
// shortcuts reach it by themselves).
bool FlashPlayer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_view)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseMove:
        if (!QToolTip::isVisible())
            QToolTip::showText(QCursor::pos(), toolTip(), this);
        break;
    case QEvent::Leave:
        QToolTip::hideText();
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        // A file dropped over the player is the window's to take.
        QCoreApplication::sendEvent(window(), event);
        return true;
    case QEvent::KeyPress: {
        // The movie takes no Tab: it moves on along the window's tab order.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            m_container->setFocus(Qt::TabFocusReason);
            focusNextPrevChild(key == Qt::Key_Tab);
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

FlashPlayer::~FlashPlayer()
{
    UnloadMovie();
}

void FlashPlayer::UnloadMovie()
{
    delete m_item;
    m_item = nullptr;
}

void FlashPlayer::SetMovie(const QString& path)
{
    UnloadMovie();
    m_movie = path;
    m_loaded = false;
    if (!path.isEmpty() && !QFileInfo(path).isFile())
        Report(QStringLiteral("the player movie %1 is missing; the player stays empty.").arg(path));
    if (isVisible())
        LoadMovie();
}

QQuickItem* FlashPlayer::MovieItem()
{
    LoadMovie();
    return m_item;
}

void FlashPlayer::showEvent(QShowEvent* event)
{
    LoadMovie();
    QWidget::showEvent(event);
}

void FlashPlayer::LoadMovie()
{
    if (m_loaded)
        return;
    m_loaded = true;
    const QString path = m_movie;
    QQuickView* view = View();
    if (!m_stage) {
        m_stage = new QQuickItem;
        view->setContent(QUrl(), nullptr, m_stage);
    }
    view->setColor(palette().color(QPalette::Window));
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return;

    QQmlComponent component(view->engine(), QUrl::fromLocalFile(path),
                            QQmlComponent::PreferSynchronous);
    QObject* created = component.isReady() ? component.create(view->rootContext()) : nullptr;
    auto* item = qobject_cast<QQuickItem*>(created);
    if (!item) {
        delete created;
        QString why;
        for (const QQmlError& error : component.errors())
            why += QStringLiteral("\n  ") + error.toString();
        if (why.isEmpty())
            why = QStringLiteral("\n  its root is not a visual item");
        Report(QStringLiteral("the player movie %1 cannot be run; the player stays empty.%2")
                   .arg(path, why));
        return;
    }
    item->setParent(m_stage);
    item->setParentItem(m_stage);
    m_item = item;

    m_stageSize = item->size();
    if (m_stageSize.isEmpty())
        m_stageSize = QSizeF(item->implicitWidth(), item->implicitHeight());
    if (m_stageSize.isEmpty())
        m_stageSize = size();
    view->setColor(Qt::black);

    const QMetaObject* movieType = item->metaObject();
    const int request = movieType->indexOfSignal("fsCommand(QString,QString)");
    if (request >= 0) {
        connect(item, movieType->method(request), this,
                metaObject()->method(metaObject()->indexOfSlot("MovieCalled(QString,QString)")));
    } else {
        Report(QStringLiteral("the player movie %1 has no signal fsCommand(string, string); it "
                              "cannot ask for a file.")
                   .arg(path));
    }
    // A stream that no installed decoder takes is the movie's to explain.
    if (movieType->indexOfMethod("decoderMissing(QVariant)") >= 0)
        connect(MissingDecoders::Instance(), &MissingDecoders::Missing, item,
                [item](const QString& backend, const QString& stream, const QString& mediaType) {
                    const QVariantMap described = MissingDecoders::Describe(
                        backend, stream, mediaType, item->property("varFlvFile").toString());
                    QMetaObject::invokeMethod(item, "decoderMissing", Q_ARG(QVariant, described));
                });
    PlaceMovie();
}

void FlashPlayer::SetVariable(const QString& name, const QString& value)
{
    LoadMovie();
    if (!m_item)
        return;
    QQmlProperty variable(m_item, name);
    if (!variable.isValid() || !variable.isWritable())
        return;
    // A movie learns of a variable through its change; the same value again
    // is a new request too (the user picked the same file once more).
    if (variable.read().toString() == value)
        variable.write(QString());
    variable.write(value);
}

void FlashPlayer::MovieCalled(const QString& command, const QString& args)
{
    emit FSCommand(command, args);
}

// The whole stage stays visible with its aspect kept, in the top-left corner.
void FlashPlayer::PlaceMovie()
{
    if (!m_item || m_stageSize.isEmpty())
        return;
    m_item->setTransformOrigin(QQuickItem::TopLeft);
    m_item->setPosition(QPointF(0, 0));
    m_item->setSize(m_stageSize);
    m_item->setScale(qMin(width() / m_stageSize.width(), height() / m_stageSize.height()));
}

void FlashPlayer::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_container)
        m_container->setGeometry(rect());
    PlaceMovie();
}
