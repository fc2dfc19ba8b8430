#pragma once

// The styles of the program's message boxes and the codes of their buttons:
// 16 critical with OK, 64 information with OK, 36 question with Yes and No;
// 1 OK, 6 Yes, 7 No.
enum MsgBoxStyle { vbCritical = 16, vbInformation = 64, vbQuestionYesNo = 36 };
enum MsgBoxResult { vbOK = 1, vbYes = 6, vbNo = 7 };
