#include "app/TabControl.h"

#include <QStyle>
#include <QStyleOptionTabWidgetFrame>

TabControl::TabControl(QWidget* parent) : QTabWidget(parent)
{
    connect(this, &QTabWidget::currentChanged, this, [this](int index) {
        const int previous = m_shownTab;
        m_shownTab = index;
        if (index != previous)
            emit Click(previous);
    });
}

QPoint TabControl::PageOrigin() const
{
    QStyleOptionTabWidgetFrame option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, this).topLeft();
}

void TabControl::PlaceChildrenRelativeToControl()
{
    const QPoint origin = PageOrigin();
    for (int i = 0; i < count(); ++i) {
        for (QObject* child : widget(i)->children()) {
            if (auto* w = qobject_cast<QWidget*>(child))
                w->move(w->pos() - origin);
        }
    }
    m_shownTab = currentIndex();
}
