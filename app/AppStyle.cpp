#include "app/AppStyle.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QStyleFactory>
#include <unistd.h>

void ApplyAppStyle()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    // Wine's Tahoma; its bold file does not render under Qt, so bold text is
    // drawn from the regular face.
    QString family = QStringLiteral("DejaVu Sans");
    const QString tahoma = QStringLiteral("/usr/share/wine/fonts/tahoma.ttf");
    if (QFile::exists(tahoma)) {
        const QStringList families =
            QFontDatabase::applicationFontFamilies(QFontDatabase::addApplicationFont(tahoma));
        if (!families.isEmpty())
            family = families.first();
    }
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    // 8.25 pt at 96 dots per inch, the resolution the window's pixel layout is made for.
    font.setPixelSize(11);
    QApplication::setFont(font);
}

QIcon AppIcon()
{
    // The pictures live in the GUI library, which is linked statically.
    Q_INIT_RESOURCE(kestrel);
    QIcon icon;
    for (int size : {16, 24, 32, 48})
        icon.addFile(QStringLiteral(":/kestrel/icon-%1.png").arg(size), QSize(size, size));
    return icon;
}

bool FirstPaintQuitter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Paint) {
        QMetaObject::invokeMethod(
            this, [] { _exit(0); }, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}
