#include "app/LinkStyle.h"
#include "app/AppStyle.h"

#include "app/MsgBox.h"

#include <QBitmap>
#include <QCursor>
#include <QDesktopServices>
#include <QImage>
#include <QMouseEvent>
#include <QWidget>

namespace
{

// X outline (black), . inside (white), blank transparent.
constexpr const char* HandPicture[] = {
    "      XX         ", "     X..X        ", "     X..X        ", "     X..X        ",
    "     X..X        ", "     X..XXX      ", "     X..X..XXX   ", "     X..X..X..XX ",
    " XX  X..X..X..X.X", "X..X X........X.X", "X...XX..........X", " X...X..........X",
    "  X.............X", "  X.............X", "   X............X", "   X...........X ",
    "    X..........X ", "    X.........X  ", "     X........X  ", "     X........X  ",
    "     XXXXXXXXXX  ",
};

// Pure blue, or on a dark background a lighter blue that reads as well.
void ColourLink(QWidget* label)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText,
                     ReadableOn(QColor(0, 0, 255), palette.color(QPalette::Window)));
    label->setPalette(palette); // an unchanged palette sends no further change
}

// Colours the link again when the theme changes the palette under it.
class LinkColour : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::PaletteChange)
            ColourLink(static_cast<QWidget*>(watched));
        return false;
    }
};

LinkOpener& opener()
{
    static LinkOpener o;
    return o;
}

} // namespace

QCursor PointingHandCursor()
{
    QImage shape(32, 32, QImage::Format_MonoLSB);
    QImage mask(32, 32, QImage::Format_MonoLSB);
    // Index 1 is black, which a bitmap takes as a set bit.
    const QList<QRgb> whiteBlack = {qRgb(255, 255, 255), qRgb(0, 0, 0)};
    shape.setColorTable(whiteBlack);
    mask.setColorTable(whiteBlack);
    shape.fill(0);
    mask.fill(0);
    int y = 0;
    for (const char* row : HandPicture) {
        for (int x = 0; row[x] != '\0'; ++x) {
            if (row[x] == ' ')
                continue;
            mask.setPixel(x, y, 1);
            shape.setPixel(x, y, row[x] == 'X' ? 1 : 0);
        }
        ++y;
    }
    return QCursor(QBitmap::fromImage(shape), QBitmap::fromImage(mask), 7, 1);
}

bool IsLinkClick(const QObject* label, const QEvent* event)
{
    // The release comes to the label that took the press, wherever it is.
    if (event->type() != QEvent::MouseButtonRelease || !label->isWidgetType())
        return false;
    const auto* release = static_cast<const QMouseEvent*>(event);
    return release->button() == Qt::LeftButton &&
           static_cast<const QWidget*>(label)->rect().contains(release->position().toPoint());
}

void ApplyLinkStyle(QWidget* label)
{
    ColourLink(label);
    label->installEventFilter(new LinkColour(label));
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    label->setCursor(PointingHandCursor());
}

void OpenLink(const QUrl& target)
{
    if (opener()) {
        opener()(target);
        return;
    }
    if (!QDesktopServices::openUrl(target))
        MsgBox(QStringLiteral("NO WEB BROWSER FOUND! INSTALL ONE TO OPEN THIS LINK."), vbCritical,
               QStringLiteral("Error"));
}

void SetLinkOpener(LinkOpener o)
{
    opener() = std::move(o);
}
