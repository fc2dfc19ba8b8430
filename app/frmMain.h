#pragma once

#include "app/CommonDialog.h"
#include "pipeline/Progress.h"

#include <QLockFile>
#include <QMainWindow>
#include <functional>
#include <memory>

namespace Ui
{
class frmMain;
}
class QLabel;
class ToolRun;
class frmProgress;
struct ToolOutcome;
class NewsFetcher;

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

    // The program's working fields.
    QString EncoderOptions;
    qint16 SourceWidth = 0;
    qint16 SourceHeight = 0;
    QString WindowsDir;
    bool EncodeSucceeded = false;
    qint64 ToolProcessId = 0;
    quint32 ToolExitCode = 0;
    bool blnForceExit = false;

    // True once the closing rule has ended the program.
    bool HasEnded() const { return m_ended; }
    int ExitCode() const { return m_exitCode; }

    Ui::frmMain* ui() const { return m_ui.get(); }

    // The file dialog that every file choice of the window uses.
    CommonDialog CommonDialog1;

    // True while a conversion job runs.
    bool JobRunning() const { return m_jobRunning; }
    frmProgress* ProgressWindow() const { return m_progress; }

    // Sets a label's caption and raises its Change handler.
    void SetCaption(QLabel* label, const QString& caption);

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

private:
    bool Form_QueryUnload();
    void EndProgram(int exitCode);
    void FillOptionLists();
    bool AcquireSingleInstance();
    void ApplyLook();
    void WireHandlers();

    // The conversion job (frmMain_Convert.cpp, frmMain_Runner.cpp).
    bool ValidateJob();
    void BeginJob();
    void EndJob();
    void CancelJob();
    void StopJobForExit();

    void RunSourceProbe(std::function<void()> then);
    void BuildEncoderOptions();
    void EncodeStep();
    void InjectStep();
    void StillsStep();
    void RunEncode(std::function<void()> then);
    void RunMetadataInjection(std::function<void()> then);
    void RunImageGrab(std::function<void()> then);
    void StartTool(const QStringList& argv, const QString& outputFile,
                   std::function<void(const ToolOutcome&)> onOutcome);
    void RunTool(const QString& step, std::function<void(const ToolOutcome&)> judge,
                 std::function<void()> then);
    static void ReportOutcome(const ToolOutcome& outcome, const QString& failure,
                              const QString& success);
    void CancelledJobEnds();

    ToolRun* m_tool = nullptr;
    frmProgress* m_progress = nullptr;
    ProgressParser m_progressParser;
    bool m_jobRunning = false;
    bool m_closing = false;

    std::unique_ptr<Ui::frmMain> m_ui;
    std::unique_ptr<QLockFile> m_instanceLock;
    NewsFetcher* m_newsFetcher = nullptr; // made when the news is first asked for
    bool m_ended = false;
    int m_exitCode = 0;
};
