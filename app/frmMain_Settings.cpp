// Saving and loading the watermark settings files.
#include "app/frmMain.h"
#include "ui_frmMain.h"

#include "app/CommonDialog.h"
#include "app/FieldControls.h"
#include "app/MsgBox.h"
#include "settings/SettingsFile.h"

#include <QFile>
#include <QFileInfo>

namespace
{

void PrepareSettingsDialog(CommonDialog& dialog, const QString& title, const QString& filter)
{
    dialog.Prepare(title, filter, cdlOFNOverwritePrompt | cdlOFNHideReadOnly);
}

const QString SettingsFilter = QStringLiteral("Watermark Settings File|*.wsx");

QString SaveProblemMessage(const SettingsSaveProblem& problem, const QString& text)
{
    switch (problem.kind) {
    case SettingsSaveProblem::TextTooLong:
        return QStringLiteral("WATERMARK TEXT TOO LONG FOR A SETTINGS FILE! PLEASE SHORTEN IT.");
    case SettingsSaveProblem::TextBreaksLine:
        if (problem.position >= 0) {
            const qsizetype number = text.left(problem.position).toUcs4().size() + 1;
            return QStringLiteral("WATERMARK TEXT CANNOT BE SAVED: THE CHARACTER \"") +
                   problem.character + QStringLiteral("\" AT POSITION ") + QString::number(number) +
                   QStringLiteral(" CANNOT BE STORED IN A SETTINGS FILE. PLEASE REPLACE IT.");
        }
        return QStringLiteral("WATERMARK TEXT CANNOT BE STORED IN A SETTINGS FILE!");
    default:
        return QStringLiteral("WATERMARK OPACITY CANNOT BE STORED IN A SETTINGS FILE!");
    }
}

} // namespace

void frmMain::mnuWMSaveSettings_Click()
{
    QLineEdit* text = m_ui->txtWatermark;
    if (text->text().isEmpty()) {
        MsgBox(QStringLiteral("WATERMARK TEXT MISSING!"), vbCritical, QStringLiteral("Error"));
        text->setFocus();
        return;
    }

    WatermarkSettings settings;
    settings.text = text->text();
    settings.colorIndex = static_cast<qint16>(m_ui->ccbWatermarkColor->SelectionIndex());
    settings.alpha = m_ui->txtAlpha->text();
    if (const Corner corner = CheckedCorner(); corner != Corner::None)
        settings.corner = corner;
    settings.fontIndex = static_cast<qint16>(m_ui->cmbFontName->currentIndex());
    settings.fontSizeIndex = static_cast<qint16>(m_ui->cmbFontSize->currentIndex());

    // Refused before the dialog: the user learns why, and no file is touched.
    if (const SettingsSaveProblem problem = CheckSettingsForSave(settings)) {
        MsgBox(SaveProblemMessage(problem, settings.text), vbCritical, QStringLiteral("Error"));
        text->setFocus();
        if (problem.position >= 0)
            text->setSelection(int(problem.position), int(problem.character.size()));
        return;
    }

    try {
        CommonDialog& dialog = CommonDialog1;
        PrepareSettingsDialog(dialog, QStringLiteral("Save Watermark Settings"), SettingsFilter);
        dialog.ShowSave(this);
        // A name typed without an ending gets the one Load Settings lists; the
        // dialog asked about replacing the name as typed, not this one.
        QString path = dialog.FileName;
        if (!path.isEmpty() && !QFileInfo(path).fileName().contains(u'.')) {
            path += QStringLiteral(".wsx");
            if (QFileInfo::exists(path) &&
                MsgBox(QStringLiteral("THE FILE ") + QFileInfo(path).fileName() +
                           QStringLiteral(" ALREADY EXISTS! REPLACE IT?"),
                       vbQuestionYesNo, QStringLiteral("Confirm")) != vbYes)
                return;
        }
        // A file that cannot be written ends the save quietly; an existing
        // file of that name keeps its old contents.
        if (!path.isEmpty() && !WriteSettingsFile(path, EncodeSettingsFile(settings)))
            return;
        MsgBox(QStringLiteral("SETTINGS SAVED AS ") + path, vbInformation,
               QStringLiteral(" Message"));
    } catch (const CommonDialogCancelled&) {
    }
}

void frmMain::mnuWMLoadSettings_Click()
{
    CommonDialog& dialog = CommonDialog1;
    PrepareSettingsDialog(dialog, QStringLiteral("Load Watermark Settings"),
                          SettingsFilter + QStringLiteral("|All Files (*.*)|*"));
    try {
        dialog.ShowOpen(this);
    } catch (const CommonDialogCancelled&) {
        return;
    }
    // A device or a pipe could keep the window waiting for ever.
    if (dialog.FileName.isEmpty() || !QFileInfo(dialog.FileName).isFile())
        return;
    QFile file(dialog.FileName);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const LoadedSettings loaded =
        ReadSettings(file, m_ui->cmbFontName->count(), m_ui->cmbFontSize->count());
    file.close();

    // The lines read before a line that cannot be applied stay applied.
    if (loaded.text)
        m_ui->txtWatermark->setText(*loaded.text);
    if (loaded.colorIndex)
        m_ui->ccbWatermarkColor->SetSelectionIndex(*loaded.colorIndex);
    if (loaded.alpha)
        m_ui->txtAlpha->setText(*loaded.alpha);
    if (loaded.corner)
        findChild<QRadioButton*>(CornerControls[int(*loaded.corner) - 1])->setChecked(true);
    if (loaded.fontIndex) {
        m_ui->cmbFontName->setCurrentIndex(*loaded.fontIndex);
        m_ui->cmbFontFileName->setCurrentIndex(m_ui->cmbFontName->currentIndex());
    }
    if (loaded.fontSizeIndex)
        m_ui->cmbFontSize->setCurrentIndex(*loaded.fontSizeIndex);
    if (loaded.complete && !m_ui->chkWatermark->isChecked())
        m_ui->chkWatermark->setChecked(true);
}
