#pragma once

#include "common/MessageStyle.h"

#include <QString>
#include <functional>

// Every message of the program goes through MsgBox (styles and button codes
// in MessageStyle.h); the result is the code of the button pressed. The text
// is shown as plain text, whatever names it holds. Details, when given, sit
// behind a "Show Details..." button; OK stays the answer.
int MsgBox(const QString& text, int style, const QString& title,
           const QString& details = QString());

// What a job reports, in a box: a failure as an error (style 16, "Error"),
// anything else as a message (style 64, "Message").
int ShowJobWords(const QString& text, bool failure, const QString& details = QString());

// A tooltip that shows a text (a file name, a setting) as it stands: one that
// Qt would take for rich text is escaped and given as rich text, blanks kept.
QString PlainToolTip(const QString& text);

// Tests put a recorder here; an empty function restores the real boxes.
using MsgBoxHandler = std::function<int(const QString& text, int style, const QString& title,
                                        const QString& details)>;
void SetMsgBoxHandler(MsgBoxHandler handler);
