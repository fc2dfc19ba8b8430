#pragma once

#include <QObject>

// The window font (Tahoma 8.25 pt from Wine's fonts, else a sans font), kept
// whatever font a desktop theme sets, and the widget style every window of the
// program uses.
void ApplyAppStyle();

// The text colour itself when it reads well on the background (a contrast of
// 4.5:1), else the same hue moved towards black or white until it does.
class QColor;
QColor ReadableOn(QColor text, const QColor& background);

// The program's icon, drawn at 16, 24, 32 and 48 pixels.
class QIcon;
QIcon AppIcon();

// Ends the process right after the watched window's first paint. The start-up
// benchmark sets KESTREL_QUIT_AFTER_FIRST_PAINT to measure the time to it.
class FirstPaintQuitter : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
