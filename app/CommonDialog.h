#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <stdexcept>

class QWidget;

// The program's file dialog: the members callers set before showing it, and
// what it reports back. A cancel with CancelError set throws
// CommonDialogCancelled, which every caller catches to end its action quietly.
class CommonDialogCancelled : public std::runtime_error
{
public:
    CommonDialogCancelled() : std::runtime_error("cancelled") {}
};

// Flag bits the program uses.
enum CommonDialogFlags {
    cdlOFNOverwritePrompt = 0x2,
    cdlOFNHideReadOnly = 0x4,
    cdlOFNFileMustExist = 0x1000,
};

// What a backend is asked to show.
struct FileDialogRequest {
    enum Kind { Open, Save, Folder } kind = Open;
    QString title;
    QString qtFilter;          // "Description (*.a *.b);;..." in Qt's form
    QStringList filterEntries; // the same, one entry per list item
    QString folder;            // where it starts, when not empty
    int flags = 0;
    QWidget* owner = nullptr;
};

// Shows the dialog and returns the chosen path, or nothing on cancel.
using FileDialogBackend = std::function<std::optional<QString>(const FileDialogRequest&)>;

class CommonDialog
{
public:
    QString FileName;
    QString DialogTitle;
    QString Filter; // "description|pattern|description|pattern", patterns joined by ";"
    int Flags = 0;
    bool CancelError = false;
    int MaxFileSize = 260;
    QString FileTitle; // after a show: the chosen file's name without its folder
    QString InitDir;   // the folder the dialog starts in; empty: the dialog's own choice

    // Readies the dialog for a new choice: no file name or start folder yet, a cancel throws
    // CommonDialogCancelled, and long paths are taken.
    void Prepare(const QString& title, const QString& filter, int flags);
    void ShowOpen(QWidget* owner = nullptr);
    void ShowSave(QWidget* owner = nullptr);

    // The filter in Qt's form, one entry per description and pattern pair.
    static QStringList QtFilterEntries(const QString& filter);

    // Tests script the user's choice here; an empty function restores QFileDialog.
    static void SetBackend(FileDialogBackend backend);
    static std::optional<QString> Show(const FileDialogRequest& request);

private:
    void show(FileDialogRequest::Kind kind, QWidget* owner);
};

// The folder picker, starting in startFolder when one is given: the chosen
// folder, or the empty text on cancel.
QString BrowseForFolder(QWidget* owner, const QString& prompt,
                        const QString& startFolder = QString());
