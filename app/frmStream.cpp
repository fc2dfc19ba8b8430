#include "app/frmStream.h"

#include "app/MsgBox.h"
#include "app/UserSettings.h"
#include "pipeline/JobChecks.h"
#include "pipeline/StreamDestinations.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const char* const group = "Streaming";

// The settings file holds the keys: it is made, and kept, its owner's alone
// before they are written (Qt replaces the file keeping its mode).
void makePrivate(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    ::chmod(name.constData(), 0600);
}

} // namespace

frmStream::frmStream(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmStream"));
    setWindowTitle(QStringLiteral("Stream to Servers"));
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Use"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Server (rtmp:// or rtmps://)"), this), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Stream key"), this), 0, 2);
    for (int i = 1; i <= Destinations; ++i) {
        Row row{new QCheckBox(this), new QLineEdit(this), new QLineEdit(this),
                new QCheckBox(QStringLiteral("Show"), this)};
        const QString n = QString::number(i);
        row.use->setObjectName(QStringLiteral("chkUse") + n);
        row.server->setObjectName(QStringLiteral("txtServer") + n);
        row.server->setPlaceholderText(QStringLiteral("rtmp://live.example.com/app"));
        row.server->setMinimumWidth(280);
        row.key->setObjectName(QStringLiteral("txtKey") + n);
        row.key->setEchoMode(QLineEdit::Password);
        row.key->setMinimumWidth(200); // the big sites' keys are long
        row.show->setObjectName(QStringLiteral("chkShow") + n);
        QLineEdit* key = row.key;
        connect(row.show, &QCheckBox::toggled, key, [key](bool shown) {
            key->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
        });
        grid->addWidget(row.use, i, 0);
        grid->addWidget(row.server, i, 1);
        grid->addWidget(row.key, i, 2);
        grid->addWidget(row.show, i, 3);
        m_rows << row;
    }
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* start =
        buttons->addButton(QStringLiteral("&Start Streaming"), QDialogButtonBox::AcceptRole);
    start->setObjectName(QStringLiteral("cmdStartStreaming"));
    start->setDefault(true);
    buttons->addButton(QDialogButtonBox::Close)->setObjectName(QStringLiteral("cmdClose"));
    connect(start, &QPushButton::clicked, this, &frmStream::startStreaming);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
    load();
}

void frmStream::startStreaming()
{
    QStringList urls;
    for (const Row& row : std::as_const(m_rows)) {
        if (!row.use->isChecked())
            continue;
        const QString server = row.server->text().trimmed(), key = row.key->text();
        const QString url = StreamUrlWithKey(server, key);
        // An empty key box: the address may hold the key.
        if (key.isEmpty() && LacksOnlyStreamKey(url)) {
            MsgBox(QStringLiteral("STREAM KEY MISSING!"), vbCritical, QStringLiteral("Error"));
            row.key->setFocus();
            return;
        }
        if (const std::optional<JobRefusal> refusal =
                CheckStreamUrl(url, key.isEmpty() ? MaskedStreamUrl(url) : server)) {
            MsgBox(refusal->message, vbCritical, QStringLiteral("Error"));
            row.server->setFocus();
            return;
        }
        urls << url;
    }
    if (urls.isEmpty()) {
        MsgBox(QStringLiteral("NO STREAMING SERVER CHOSEN! TICK ONE OR MORE."), vbCritical,
               QStringLiteral("Error"));
        m_rows.first().use->setFocus();
        return;
    }
    m_chosen = urls;
    accept();
}

// What was typed is kept however the dialog closes.
void frmStream::done(int result)
{
    save();
    QDialog::done(result);
}

void frmStream::KeepKeysPrivate()
{
    const QSettings ini = UserSettings();
    if (ini.childGroups().contains(QLatin1String(group)))
        makePrivate(ini.fileName());
}

void frmStream::load()
{
    QSettings ini = UserSettings();
    const int count = ini.beginReadArray(group);
    for (int i = 0; i < qMin(count, int(m_rows.size())); ++i) {
        ini.setArrayIndex(i);
        m_rows[i].use->setChecked(ini.value(QStringLiteral("Use")).toBool());
        m_rows[i].server->setText(ini.value(QStringLiteral("Server")).toString());
        m_rows[i].key->setText(ini.value(QStringLiteral("Key")).toString());
    }
    ini.endArray();
}

void frmStream::save() const
{
    QSettings ini = UserSettings();
    makePrivate(ini.fileName());
    ini.beginWriteArray(group, int(m_rows.size()));
    for (int i = 0; i < m_rows.size(); ++i) {
        ini.setArrayIndex(i);
        ini.setValue(QStringLiteral("Use"), m_rows[i].use->isChecked());
        ini.setValue(QStringLiteral("Server"), m_rows[i].server->text().trimmed());
        ini.setValue(QStringLiteral("Key"), m_rows[i].key->text());
    }
    ini.endArray();
    ini.sync();
    makePrivate(ini.fileName());
}
