#pragma once

#include <QTabWidget>

// The tab control. Its pages' children are placed relative to the whole
// control (tab strip included), as the window's layout has always been given;
// PlaceChildrenRelativeToControl moves them onto the pages accordingly.
class TabControl : public QTabWidget
{
    Q_OBJECT
public:
    explicit TabControl(QWidget* parent = nullptr);

    // Where a page's top-left corner lies inside the control.
    QPoint PageOrigin() const;
    void PlaceChildrenRelativeToControl();

signals:
    // A tab was chosen: the index of the tab shown before.
    void Click(int previousTab);

private:
    int m_shownTab = 0;
};
