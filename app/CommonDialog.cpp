#include "app/CommonDialog.h"

#include <QFileDialog>
#include <QFileInfo>

namespace
{

FileDialogBackend& backend()
{
    static FileDialogBackend b;
    return b;
}

std::optional<QString> showQtDialog(const FileDialogRequest& request)
{
    QFileDialog dialog(request.owner, request.title);
    switch (request.kind) {
    case FileDialogRequest::Folder:
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        dialog.setLabelText(QFileDialog::LookIn, request.title);
        break;
    case FileDialogRequest::Save:
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite,
                         !(request.flags & cdlOFNOverwritePrompt));
        break;
    case FileDialogRequest::Open:
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode((request.flags & cdlOFNFileMustExist) ? QFileDialog::ExistingFile
                                                                 : QFileDialog::AnyFile);
        break;
    }
    // Each kind of file is shown as the program names it: the names of the video kinds list
    // their patterns already, and Qt would add them a second time.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (!request.filterEntries.isEmpty())
        dialog.setNameFilters(request.filterEntries);
    if (!request.folder.isEmpty())
        dialog.setDirectory(request.folder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

} // namespace

QStringList CommonDialog::QtFilterEntries(const QString& filter)
{
    QStringList entries;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(u';', Qt::SkipEmptyParts))
            patterns.append(p.trimmed());
        entries.append(parts[i].trimmed() + QStringLiteral(" (") + patterns.join(u' ') + u')');
    }
    return entries;
}

void CommonDialog::SetBackend(FileDialogBackend b)
{
    backend() = std::move(b);
}

std::optional<QString> CommonDialog::Show(const FileDialogRequest& request)
{
    if (backend())
        return backend()(request);
    return showQtDialog(request);
}

void CommonDialog::Prepare(const QString& title, const QString& filter, int flags)
{
    FileName.clear();
    InitDir.clear();
    CancelError = true;
    DialogTitle = title;
    MaxFileSize = 32000;
    Flags = flags;
    Filter = filter;
}

void CommonDialog::ShowOpen(QWidget* owner)
{
    show(FileDialogRequest::Open, owner);
}
void CommonDialog::ShowSave(QWidget* owner)
{
    show(FileDialogRequest::Save, owner);
}

void CommonDialog::show(FileDialogRequest::Kind kind, QWidget* owner)
{
    FileDialogRequest request;
    request.kind = kind;
    request.title = DialogTitle;
    request.filterEntries = QtFilterEntries(Filter);
    request.qtFilter = request.filterEntries.join(QStringLiteral(";;"));
    request.flags = Flags;
    request.folder = InitDir;
    request.owner = owner;
    const std::optional<QString> chosen = Show(request);
    if (!chosen || chosen->isEmpty()) {
        FileName.clear();
        FileTitle.clear();
        if (CancelError)
            throw CommonDialogCancelled();
        return;
    }
    FileName = *chosen;
    FileTitle = QFileInfo(*chosen).fileName();
}

QString BrowseForFolder(QWidget* owner, const QString& prompt, const QString& startFolder)
{
    FileDialogRequest request;
    request.kind = FileDialogRequest::Folder;
    request.title = prompt;
    request.folder = startFolder;
    request.owner = owner;
    return CommonDialog::Show(request).value_or(QString());
}
