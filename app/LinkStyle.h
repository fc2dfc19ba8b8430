#pragma once

#include <QUrl>
#include <functional>

class QWidget;

// The look of a web link: pure blue, underlined text, pointing-hand pointer.
void ApplyLinkStyle(QWidget* label);

// A label link acts when the left button is released over it.
class QEvent;
bool IsLinkClick(const QEvent* event);

// The 32 x 32 monochrome hand whose fingertip (7, 1) is the hot spot.
class QCursor;
QCursor PointingHandCursor();

// Hands a web address or a document to the system (browser, help viewer).
// The outcome is not checked. Tests put a recorder here.
void OpenLink(const QUrl& target);
using LinkOpener = std::function<void(const QUrl&)>;
void SetLinkOpener(LinkOpener opener);
