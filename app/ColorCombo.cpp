#include "app/ColorCombo.h"

#include <QPainter>
#include <QPixmap>

namespace
{

QColor toColor(quint32 value)
{
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

QIcon swatch(quint32 value)
{
    QPixmap pixmap(20, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.setBrush(toColor(value));
    painter.drawRect(0, 0, pixmap.width() - 1, pixmap.height() - 1);
    return QIcon(pixmap);
}

} // namespace

ColorCombo::ColorCombo(QWidget* parent) : QComboBox(parent)
{
    setIconSize(QSize(20, 12));
}

void ColorCombo::AddColor(const QString& name, quint32 value)
{
    addItem(swatch(value), name, QVariant::fromValue(value));
}

void ColorCombo::SetSelectionIndex(int index)
{
    setCurrentIndex(index >= 0 && index < count() ? index : -1);
}

QString ColorCombo::SelectedName() const
{
    return currentIndex() < 0 ? QString() : currentText();
}

quint32 ColorCombo::ColorValue(int index) const
{
    return itemData(index).value<quint32>();
}
