#include "app/AppStyle.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionComboBox>
#include <cmath>
#include <unistd.h>

namespace
{

double luminance(const QColor& color)
{
    auto linear = [](int channel) {
        const double v = channel / 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.red()) + 0.7152 * linear(color.green()) +
           0.0722 * linear(color.blue());
}

double contrast(const QColor& a, const QColor& b)
{
    const double x = luminance(a), y = luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

} // namespace

QColor ReadableOn(QColor text, const QColor& background)
{
    const QColor toward = luminance(background) > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
    for (int step = 0; step < 20 && contrast(text, background) < 4.5; ++step)
        text = QColor((text.red() * 4 + toward.red()) / 5, (text.green() * 4 + toward.green()) / 5,
                      (text.blue() * 4 + toward.blue()) / 5);
    return text;
}

namespace
{

// Fusion, with two things of the window's original look: the narrow drop-down
// button (the lists are laid out for it, and the frame-rate list is only 37
// pixels wide), and frames whose caption sits on the border line, so that the
// first row of controls, 16 pixels below a frame's top, lies inside it.
class KestrelStyle : public QProxyStyle
{
public:
    KestrelStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    // Frame captions in the highlight colour, kept readable on any palette.
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* answer) const override
    {
        if (hint == SH_GroupBox_TextLabelColor) {
            const QPalette palette = option ? option->palette : QApplication::palette();
            return int(
                ReadableOn(palette.color(QPalette::Highlight), palette.color(QPalette::Window))
                    .rgba());
        }
        return QProxyStyle::styleHint(hint, option, widget, answer);
    }

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override
    {
        const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
        if (control != CC_GroupBox || !box) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        const QRect label = subControlRect(CC_GroupBox, box, SC_GroupBoxLabel, widget);
        QRect frame = box->rect;
        frame.setTop(label.center().y());
        painter->save();
        QRegion around(box->rect);
        if (!box->text.isEmpty())
            around -= label.adjusted(-2, 0, 2, 0);
        painter->setClipRegion(around);
        // An etched line: a dark one with a light one beside it.
        painter->setPen(box->palette.color(QPalette::Mid));
        painter->drawRect(frame.adjusted(0, 0, -2, -2));
        painter->setPen(box->palette.color(QPalette::Light));
        painter->drawRect(frame.adjusted(1, 1, -1, -1));
        painter->restore();
        QPalette text = box->palette;
        text.setColor(QPalette::Active, QPalette::WindowText, box->textColor);
        text.setColor(QPalette::Inactive, QPalette::WindowText, box->textColor);
        drawItemText(painter, label, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, text,
                     box->state & State_Enabled, box->text, QPalette::WindowText);
    }

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override
    {
        if (control == CC_GroupBox && part == SC_GroupBoxLabel) {
            QRect label = QProxyStyle::subControlRect(control, option, part, widget);
            label.moveTop(option->rect.top());
            return label;
        }
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

// Puts the program's font back whenever something else sets another.
class KeepFont : public QObject
{
public:
    KeepFont(const QFont& font, QObject* parent) : QObject(parent), m_font(font) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == qApp && event->type() == QEvent::ApplicationFontChange &&
            QApplication::font() != m_font)
            QApplication::setFont(m_font);
        return false;
    }

private:
    QFont m_font;
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
    // A desktop theme (qt6ct, for one) sets its own font once the program runs;
    // the windows' pixel layout is made for this one, so it comes back.
    qApp->installEventFilter(new KeepFont(font, qApp));
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
