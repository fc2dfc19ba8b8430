#pragma once

#include "common/MessageStyle.h"

#include <QString>
#include <functional>

// Every message of the program goes through MsgBox (styles and button codes
// in MessageStyle.h); the result is the code of the button pressed. Details,
// when given, sit behind a "Show Details..." button; OK stays the answer.
int MsgBox(const QString& text, int style, const QString& title,
           const QString& details = QString());

// Tests put a recorder here; an empty function restores the real boxes.
using MsgBoxHandler = std::function<int(const QString& text, int style, const QString& title,
                                        const QString& details)>;
void SetMsgBoxHandler(MsgBoxHandler handler);
