#include "app/MsgBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QTextDocument>

namespace
{

MsgBoxHandler& handler()
{
    static MsgBoxHandler h;
    return h;
}

int showRealBox(const QString& text, int style, const QString& title, const QString& details)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setDetailedText(details);
    if (style == vbQuestionYesNo) {
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setIcon(style == vbCritical ? QMessageBox::Critical : QMessageBox::Information);
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int answer = box.exec();
    if (answer == QMessageBox::Yes)
        return vbYes;
    if (answer == QMessageBox::No)
        return vbNo;
    return vbOK;
}

} // namespace

int MsgBox(const QString& text, int style, const QString& title, const QString& details)
{
    if (handler())
        return handler()(text, style, title, details);
    return showRealBox(text, style, title, details);
}

QString PlainToolTip(const QString& text)
{
    if (!Qt::mightBeRichText(text))
        return text;
    return QStringLiteral("<p style=\"white-space:pre\">") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

void SetMsgBoxHandler(MsgBoxHandler h)
{
    handler() = std::move(h);
}

int ShowJobWords(const QString& text, bool failure, const QString& details)
{
    return failure ? MsgBox(text, vbCritical, QStringLiteral("Error"), details)
                   : MsgBox(text, vbInformation, QStringLiteral("Message"), details);
}
