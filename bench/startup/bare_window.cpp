// The yardstick for the start-up benchmark: an empty Qt window that ends the
// process right after its first paint, as kestrel does under the benchmark.
#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <unistd.h>

class FirstPaintExit : public QWidget
{
protected:
    bool event(QEvent* e) override
    {
        const bool handled = QWidget::event(e);
        if (e->type() == QEvent::Paint)
            QMetaObject::invokeMethod(
                this, [] { _exit(0); }, Qt::QueuedConnection);
        return handled;
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    FirstPaintExit window;
    window.resize(488, 475);
    window.show();
    return app.exec();
}
