#pragma once

#include "common/MessageStyle.h"

#include <QString>
#include <functional>

// Every message of the program goes through MsgBox (styles and button codes
// in MessageStyle.h); the result is the code of the button pressed.
int MsgBox(const QString& text, int style, const QString& title);

// Tests put a recorder here; an empty function restores the real boxes.
using MsgBoxHandler = std::function<int(const QString& text, int style, const QString& title)>;
void SetMsgBoxHandler(MsgBoxHandler handler);
