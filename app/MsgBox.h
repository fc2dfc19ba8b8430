#pragma once

#include <QString>
#include <functional>

// Every message of the program goes through MsgBox. Styles: 16 critical with
// OK, 64 information with OK, 36 question with Yes and No. The result is the
// button code: 1 OK, 6 Yes, 7 No.
enum MsgBoxStyle { vbCritical = 16, vbInformation = 64, vbQuestionYesNo = 36 };
enum MsgBoxResult { vbOK = 1, vbYes = 6, vbNo = 7 };

int MsgBox(const QString& text, int style, const QString& title);

// Tests put a recorder here; an empty function restores the real boxes.
using MsgBoxHandler = std::function<int(const QString& text, int style, const QString& title)>;
void SetMsgBoxHandler(MsgBoxHandler handler);
