#pragma once

#include "app/CommonDialog.h"
#include "options/EncoderOptions.h"

#include <QMainWindow>
#include <functional>
#include <memory>

namespace Ui
{
class frmMain;
}
class QLabel;
class QMimeData;
class ConversionEngine;
class DesktopSession;
class frmProgress;
class NewsFetcher;
class SingleInstance;
class WindowBatch;
struct JobRefusal;
struct JobRequest;
struct StepResult;

// The main window. Its controls carry their long-standing names (see
// frmMain.ui); the handlers are named after control and event and live in the
// frmMain_*.cpp file of their area.
class frmMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // Start-up: run once after construction. Afterwards blnForceExit tells
    // whether start-up ended the program (a second copy, a failure).
    void Form_Load();

    // The program's working fields. The source's frame size is the last one
    // a probe found; it lives as long as the window.
    qint16 SourceWidth = 0;
    qint16 SourceHeight = 0;
    QString WindowsDir;
    bool blnForceExit = false;

    // True once the closing rule has ended the program.
    bool HasEnded() const { return m_ended; }
    int ExitCode() const { return m_exitCode; }

    Ui::frmMain* ui() const { return m_ui.get(); }

    // The file dialog that every file choice of the window uses.
    CommonDialog CommonDialog1;

    // Whether the conversion job behind "Start Converting", or a batch of
    // them, runs.
    bool JobRunning() const;
    frmProgress* ProgressWindow() const { return m_progress; }

    // Sets a label's caption and raises its Change handler.
    void SetCaption(QLabel* label, const QString& caption);

    // Videos named on the command line ("Open With"), of this copy or of a
    // later one: taken as if they were dropped on the conversion tab, once
    // the window is up and no job runs. Before Form_Load, a later copy hands
    // them to the running one.
    void TakeFilesFromCommandLine(const QStringList& paths);

public slots:
    void cmdExit_Click();
    void cmdInput_Click();
    void cmdOutput_Click();
    void lblInput_Change();
    void lblOutDir_Change();
    void txtOutFile_Change();
    void cmbFontName_Change();
    void cmbFontName_Click();
    void cmdConvert_Click();
    void mnuWMSaveSettings_Click();
    void mnuWMLoadSettings_Click();
    void swfControl_FSCommand(const QString& command, const QString& args);
    void sstThis_Click(int previousTab);
    void lblNews_Click();
    void lblKestrelNews_Click();
    void lblLink_Click();
    void mnuInstructions_Click();
    void mnuWebVideoPlayer_Click();
    void mnuHelpAbout_Click();

protected:
    // Every attempt to close the window comes here (Form_QueryUnload).
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool Form_QueryUnload();
    void EndProgram(int exitCode);
    void ShowStartValues();
    void FillOptionLists();
    bool AcquireSingleInstance();
    void ApplyLook();
    void WireHandlers();

    // Choosing the source and the output folder (frmMain_Selection.cpp), by
    // dialog or by drop (frmMain_Drop.cpp).
    void TakeSource(const QString& path, const QString& title);
    void TakeOutputFolder(const QString& folder);
    // The dialog starts in startFolder, or where it likes when that is empty.
    void ChooseOutputFolder(const QString& startFolder);
    bool TakeDrop(const QMimeData* data, bool take);
    void TakeDroppedItem(const QString& path);
    void TakePendingFiles();

    // The Format menu (frmMain_Format.cpp): the kind of FLV the next job writes.
    void WireFormatMenu();
    FlvFormat ChosenFormat() const;

    // The Stream menu (frmMain_Stream.cpp): the source sent live to servers
    // with the window's settings.
    void mnuStreamToServers_Click();
    void StartStreaming(const QStringList& urls);

    // The conversion job's glue (frmMain_Convert.cpp).
    void WireJob();
    JobRequest ReadJobRequest() const;
    // The corner whose button is on; None when none is.
    Corner CheckedCorner() const;
    void EnableJobControls(bool on);
    // The message of a check that failed, then the focus it names.
    void ShowRefusal(const JobRefusal& refusal);
    void ShowProgressWindow(bool streaming = false);
    void JobFinished();
    // What the job reports is shown at once, or, while the exit question is
    // open, once it has been answered No.
    void Report(const std::function<void()>& show);
    void ShowHeldReports();

    // Several videos at once (frmMain_Batch.cpp): asked for, checked, and
    // converted one after the other with the window's settings.
    void OfferBatch(const QStringList& videos, const QString& firstItem);
    void StartBatch(const QStringList& videos);
    void BatchEnded(const StepResult& summary);

    ConversionEngine* m_engine = nullptr; // runs the single job and the batch
    WindowBatch* m_batch = nullptr;       // while a batch runs
    frmProgress* m_progress = nullptr;    // made when the first job starts
    // Goes on the bus when the first job starts.
    DesktopSession* m_desktop = nullptr;

    std::unique_ptr<Ui::frmMain> m_ui;
    std::unique_ptr<SingleInstance> m_instance;
    QStringList m_pendingFiles;           // from the command line, until they can be taken
    NewsFetcher* m_newsFetcher = nullptr; // made when the news is first asked for
    bool m_ended = false;
    int m_exitCode = 0;
    bool m_askingToExit = false;
    QList<std::function<void()>> m_heldReports;
};
