#pragma once

#include <QUrl>
#include <functional>

class QWidget;

// The look of a web link: pure blue (a lighter blue where the background is
// too dark for it), underlined text, pointing-hand pointer.
void ApplyLinkStyle(QWidget* label);

// A label link acts on a click: the left button pressed on it and released
// over it (a press dragged off the label opens nothing).
class QEvent;
class QObject;
bool IsLinkClick(const QObject* label, const QEvent* event);

// The 32 x 32 monochrome hand whose fingertip (7, 1) is the hot spot.
class QCursor;
QCursor PointingHandCursor();

// Hands a web address or a document to the system (browser, help viewer);
// when the system has nothing to open it with, the user is told. Tests put a
// recorder here.
void OpenLink(const QUrl& target);
using LinkOpener = std::function<void(const QUrl&)>;
void SetLinkOpener(LinkOpener opener);
