// The Format menu: which kind of FLV the next job writes. The choice is kept
// in the user's configuration folder from one run to the next.
#include "app/frmMain.h"
#include "ui_frmMain.h"

#include <QActionGroup>
#include <QSettings>

namespace
{

const char* const formatKey = "Format";

QSettings UserSettings()
{
    return {QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kestrel"),
            QStringLiteral("kestrel")};
}

} // namespace

void frmMain::WireFormatMenu()
{
    auto* group = new QActionGroup(this);
    group->addAction(m_ui->mnuFormatSorenson);
    group->addAction(m_ui->mnuFormatH264);
    // Anything but a known name is the Flash-era default.
    if (UserSettings().value(formatKey).toString() == u"h264")
        m_ui->mnuFormatH264->setChecked(true);
    connect(group, &QActionGroup::triggered, this, [this] {
        UserSettings().setValue(formatKey, ChosenFormat() == FlvFormat::H264
                                               ? QStringLiteral("h264")
                                               : QStringLiteral("sorenson"));
    });
}

FlvFormat frmMain::ChosenFormat() const
{
    return m_ui->mnuFormatH264->isChecked() ? FlvFormat::H264 : FlvFormat::Sorenson;
}
