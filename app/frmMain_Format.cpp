// The Format menu: which kind of FLV the next job writes. The choice is kept
// in the user's configuration folder from one run to the next.
#include "app/frmMain.h"
#include "ui_frmMain.h"

#include "app/UserSettings.h"

#include <QActionGroup>

namespace
{

const char* const formatKey = "Format";

} // namespace

// The menu's entries come from the table of formats; the first is the start
// value, and so is anything but a known key in the settings.
void frmMain::WireFormatMenu()
{
    auto* group = new QActionGroup(this);
    const QString chosen = UserSettings().value(formatKey).toString();
    for (const OutputFormat& format : OutputFormats()) {
        const QString key = QLatin1String(format.key);
        QAction* action = m_ui->mnuFormat->addAction(QLatin1String(format.caption));
        action->setObjectName(QStringLiteral("mnuFormat") + key.left(1).toUpper() + key.mid(1));
        action->setData(int(format.format));
        action->setCheckable(true);
        group->addAction(action);
        action->setChecked(group->actions().size() == 1 || key == chosen);
    }
    connect(group, &QActionGroup::triggered, this, [this] {
        UserSettings().setValue(formatKey, QLatin1String(FormatOf(ChosenFormat()).key));
    });
}

FlvFormat frmMain::ChosenFormat() const
{
    for (const QAction* action : m_ui->mnuFormat->actions()) {
        if (action->isChecked())
            return FlvFormat(action->data().toInt());
    }
    return OutputFormats().first().format;
}
