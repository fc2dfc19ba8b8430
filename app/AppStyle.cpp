#include "app/AppStyle.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionComboBox>
#include <unistd.h>

namespace
{

// Fusion, with the narrow drop-down button of the window's original look: the
// lists are laid out for it, and the frame-rate list is only 37 pixels wide.
class KestrelStyle : public QProxyStyle
{
public:
    KestrelStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override
    {
        if (control == CC_ComboBox && (part == SC_ComboBoxArrow || part == SC_ComboBoxEditField)) {
            const QRect box = option->rect;
            constexpr int Button = 15;
            const QRect arrow(box.right() - Button, box.top() + 1, Button, box.height() - 2);
            if (part == SC_ComboBoxArrow)
                return visualRect(option->direction, box, arrow);
            const QRect field(box.left() + 3, box.top() + 2, arrow.left() - box.left() - 4,
                              box.height() - 4);
            return visualRect(option->direction, box, field);
        }
        return QProxyStyle::subControlRect(control, option, part, widget);
    }
};

} // namespace

void ApplyAppStyle()
{
    QApplication::setStyle(new KestrelStyle);

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
