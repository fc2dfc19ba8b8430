#include "app/frmAbout.h"

#include "app/AppStyle.h"
#include "app/LinkStyle.h"
#include "app/MsgBox.h"
#include "app/mdlMain.h"
#include "common/AppPaths.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

namespace
{

// Places are in pixels: the window's layout in twips divided by 15.
QLabel* AddLabel(QWidget* parent, const char* name, const QString& caption, const QRect& place,
                 const QString& tooltip = QString())
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(place);
    label->setToolTip(PlainToolTip(tooltip));
    return label;
}

// A caption wider than its place (a long site host, a wide font) may use the
// room up to the frame's right edge instead of being cut off.
void WidenToFit(QLabel* label)
{
    const int room = label->parentWidget()->width() - label->x() - 8;
    const int needed = QFontMetrics(label->font()).horizontalAdvance(label->text()) + 2;
    if (needed > label->width())
        label->resize(std::max(label->width(), std::min(needed, room)), label->height());
}

QString SupportMail()
{
    QString host = AppPaths::SiteHost();
    if (host.startsWith(QStringLiteral("www.")))
        host.remove(0, 4);
    return QStringLiteral("support@") + host;
}

} // namespace

frmAbout::frmAbout(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("Kestrel FLV Converter & Watermarker"));
    setWindowIcon(AppIcon());
    setModal(true);
    setFixedSize(363, 215);

    auto* imgAbout = new QLabel(this);
    imgAbout->setObjectName(QStringLiteral("imgAbout"));
    imgAbout->setGeometry(8, 4, 32, 32);
    imgAbout->setPixmap(AppIcon().pixmap(32, 32));

    // Created in keyboard tab order; only the button takes the focus.
    auto* Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(48, 0, 309, 173);

    const QString host = AppPaths::SiteHost();
    AddLabel(Frame1, "lblSoftwareName", QStringLiteral("Kestrel FLV Converter & Watermarker"),
             QRect(8, 12, 193, 17));
    AddLabel(Frame1, "lblSoftwareVer", QStringLiteral("Ver 7 build 0.0.1"), QRect(8, 28, 101, 17));
    AddLabel(Frame1, "lblWebsite", QStringLiteral("Website:"), QRect(8, 56, 53, 17));
    m_lblKestrel = AddLabel(Frame1, "lblKestrel", host, QRect(80, 56, 137, 17),
                            QStringLiteral(" Visit Website "));
    AddLabel(Frame1, "lblSupport", QStringLiteral("Support:"), QRect(8, 76, 49, 17));
    m_lblKestrelSupport = AddLabel(Frame1, "lblKestrelSupport", host + QStringLiteral("/support"),
                                   QRect(80, 76, 189, 17), QStringLiteral(" Kestrel Support "));
    AddLabel(Frame1, "lblOther", QStringLiteral("Other:"), QRect(8, 96, 41, 17));
    m_lblKestrelContact = AddLabel(Frame1, "lblKestrelContact", host + QStringLiteral("/contact"),
                                   QRect(80, 96, 185, 17), QStringLiteral(" Contact Kestrel "));
    AddLabel(Frame1, "lblUses",
             QStringLiteral("Uses FFMPEG (Under LGPL) and FLVMDI (With Permission)"),
             QRect(8, 124, 277, 17), QStringLiteral(" Thank You! "));
    QLabel* lblCopyright =
        AddLabel(Frame1, "lblCopyright", QStringLiteral("Copyright \u00a9 Kestrel FLV Software"),
                 QRect(8, 148, 269, 17), u' ' + SupportMail() + u' ');
    QFont bold = lblCopyright->font();
    bold.setBold(true);
    lblCopyright->setFont(bold);

    // The links and the support address show the site host, a setting, as it stands.
    for (QLabel* link : {m_lblKestrel, m_lblKestrelSupport, m_lblKestrelContact}) {
        link->setTextFormat(Qt::PlainText);
        ApplyLinkStyle(link);
        link->installEventFilter(this);
    }
    for (QLabel* label : Frame1->findChildren<QLabel*>())
        WidenToFit(label);

    auto* cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setGeometry(48, 180, 110, 29);
    cmdClose->setToolTip(QStringLiteral(" Close this window "));
    cmdClose->setDefault(true);
    connect(cmdClose, &QPushButton::clicked, this, &frmAbout::cmdClose_Click);
}

void frmAbout::cmdClose_Click()
{
    close();
}

void frmAbout::lblKestrel_Click()
{
    OpenLink(QUrl(mdlMain::LinkTarget));
}

void frmAbout::lblKestrelSupport_Click()
{
    OpenLink(QUrl(AppPaths::SiteUrl(QStringLiteral("/support"))));
}

void frmAbout::lblKestrelContact_Click()
{
    OpenLink(QUrl(AppPaths::SiteUrl(QStringLiteral("/contact"))));
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event)
{
    if (IsLinkClick(watched, event)) {
        if (watched == m_lblKestrel)
            lblKestrel_Click();
        else if (watched == m_lblKestrelSupport)
            lblKestrelSupport_Click();
        else if (watched == m_lblKestrelContact)
            lblKestrelContact_Click();
    }
    return QDialog::eventFilter(watched, event);
}
