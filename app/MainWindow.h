#pragma once
// The main window: owns the one burner (`kestrel`), starts the device layer,
// lets the user choose a drive, holds the compilation list and the file
// browser, runs the commands and shows everything the burner reports in the
// log pane.
#include <QMainWindow>

#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/AppOptions.h"
#include "app/AppTitle.h"
#include "app/DiscCheck.h"
#include "app/DiscReport.h"
#include "app/DriveWorker.h"
#include "app/Formats.h"
#include "app/JobProgress.h"
#include "burner/engine/KestrelBurner.h"
#include "burner/iso/FillCompilation.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;

class QProgressBar;
class QPushButton;
class QSplitter;
class QTimer;
class QTreeWidget;

namespace kestrel::app {

class TCompilationActions;
class TCompilationList;
class TDiscUnmounter;
class TDiscWatcher;
class TDriveWorker;
class TExDragDrop;
class TFillMeter;
class TFileBrowser;
class TDirTree;
class TFileList;
class TKestrelIni;
class TLogChannel;
class TLogView;
class TProjectSession;
class TSpeedCombo;
struct TProject;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* Parent = nullptr);
    ~TForm1() override;

    TKestrelBurner& Burner() { return *kestrel; }
    TAppOptions Options;

    // ---- Handlers (public so the settings dialog and tests can drive them) ----
    void FormShow();
    void cbDrivesChange();
    void ClearAll1Click();
    void CopyLogToClipboard();
    void cbSpeedDropDown();
    void bBurnClick();
    void bSaveISOClick();
    void bBurnISOClick();
    void bQEraseClick();
    void bCEraseClick();
    void bLoadClick();
    void bEjectClick();
    void bReadyClick();
    void bAbortClick();
    void Timer1Timer();
    void bCDHeaderClick();
    void bDiscClick();
    void bCapsClick();
    void Label1Click();
    void bClearClick();
    void cPathInfoClick();
    void clBoxDragDrop(const QString& SourceName);
    void ExplorerDragDropDropped(TExDragDrop* Sender, int32_t ItemsCount);

    // Adds paths as the shell drop does: folders recursive, files not.
    void AddSources(const QStringList& Paths);
    // The program's arguments: a ".kestrel" project is opened, anything else added.
    void OpenArguments(const QStringList& Arguments);

    // The window's project: the list and the options that shape the disc.
    TProject CaptureProject() const;
    void ApplyProject(const TProject& Project);

    // Burner events.
    void kestrelDebugMessage(const std::string& Message, uint8_t mType);
    void kestrelFinalizingTrack();
    void kestrelWriteDone(const std::string& Error);
    void kestrelEraseDone(bool WithError);

    // The state of the "Save path" box as the compilation filling knows it.
    TSavePathState SavePathState() const;
    void SetSavePathState(TSavePathState State);
    // True from the start of a burn, image build or image burn to its end
    // (the checks before a burn's question included).
    bool OperationRunning() const { return running_ != TRunning::None; }
    // True while a drive command the user gave (Eject, Ready, a check
    // before a write...) runs on the drive worker.
    bool DriveCommandRunning() const { return driveCommands_ > 0; }
    // Writes a line of the window's own through the burner's log.
    void Log(const std::string& Line);

    // ---- Controls, named as the rest of the program knows them ----
    QWidget* pTop;
    QLabel* lDrive;
    QComboBox* cbDrives;
    QPushButton* bCaps;
    TSpeedCombo* cbSpeed;
    QPushButton* bDisc;
    QPushButton* bAdvance;
    QPushButton* bBurn;
    QWidget* pTop2;
    QPushButton* bQErase;
    QPushButton* bCErase;
    QPushButton* bLoad;
    QPushButton* bEject;
    QPushButton* bReady;
    QLabel* Label1;
    QWidget* pDiscFiles;
    QPushButton* bSaveISO;
    QPushButton* bBurnISO;
    QCheckBox* cPathInfo;
    QPushButton* bClear;
    TCompilationList* clBox;
    TFileBrowser* pDrivesDir;
    QComboBox* DriveCB;
    TDirTree* lbDir;
    TFileList* lbFiles;
    TLogView* Memo1;
    QWidget* pbottom;
    QProgressBar* pcd;
    QLabel* lSize;
    QPushButton* bAbort;
    QProgressBar* pBuf;
    QProgressBar* pHBuf;
    QLabel* lProgress;  // " CD Progress : ", naming the medium while a job runs
    QLabel* lPhase;     // what the job does, how far, how long, how fast
    QTimer* Timer1;
    TExDragDrop* ExplorerDragDrop;

    // ---- Additions around the classic controls ----
    TFillMeter* FillMeter() const { return fillMeter_; }
    TDiscWatcher* DiscWatcher() const { return discWatcher_; }
    TCompilationActions* ListActions() const { return listActions_; }
    TProjectSession* Projects() const { return projects_; }
    QAction* QuitAction() const { return quitAction_; }
    TDriveWorker* DriveWorker() const { return driveWorker_; }
    // The box that tells how the last job ended; null before the first.
    QMessageBox* EndMessage() const { return endBox_; }
    // Finds where the drive's disc is mounted (the kernel's mount table).
    TMountLookup MountPointOf;
    // Unmounts a disc the desktop mounted (udisks2).
    void SetUnmounter(std::unique_ptr<TDiscUnmounter> Unmounter);

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

private:
    enum class TRunning { None, Burn, ImageBuild, ImageBurn };

    void CreateBurner();
    void BuildControls();
    QWidget* BuildTopBar();
    QWidget* BuildSecondBar();
    QWidget* BuildDiscFilesPane();
    QWidget* BuildStatusBar();
    void ConnectControls();
    void BuildMenus();
    void ConnectMeter();
    void ConnectProjects();
    void SetProjectCommandsEnabled(bool Enabled);
    // The file of the window's size, splitters, view choices and recent projects.
    static QString StateFile();
    void SetIcons();
    void FitDriveBox();
    void LoadSettings();
    void LoadBootChoices(const TKestrelIni& Ini);
    void RestoreWindowState();
    void SaveWindowState();

    // Commands' shared steps.
    // The chosen entry of the speed list ("Max" when none is chosen).
    std::string ChosenSpeedText();
    // Drive worker: sends the speed of a speed list entry to the drive.
    void SetWriteSpeedFromText(const std::string& Entry);
    TSpeedUnit SpeedUnit();
    // No write, erase or drive command is running.
    bool DriveFree() const;
    // The list's entries whose sources still exist; asks about the others.
    // False when the user chose not to go on.
    bool CheckListSources(std::vector<TListEntry>& Entries);
    TFillOptions FillOptions(int SessionNo) const;
    // Tells what a filling of the compilation came to; false when nothing
    // was filled (the user was told).
    bool ShowFillResult(const TFillResult& Result);
    void EnterRunning(TRunning Kind);
    void LeaveRunning();
    void SetDeviceCommandsEnabled(bool Enabled);
    // Enables the controls that send commands to the drive as the window's
    // state allows (nothing else running, a device layer, an erasable disc).
    void UpdateDeviceCommands();
    // Runs Work on the drive worker and Done with its result on the GUI
    // thread; the drive's controls stay disabled meanwhile.
    template <class TWork, class TDone>
    void RunOnDrive(TWork Work, TDone Done);
    void DriveCommandDone();

    // ---- Erasing ----
    void AskErase(bool Quick);
    // Runs the erase the user confirmed, with progress on the timer.
    void StartErase(bool Quick);
    void EraseNotStarted();

    // ---- Burns and image builds, step by step ----
    // The checks of the disc before a write of Kind; Next runs when nothing
    // stands in the way (the user agreed to every question).
    void CheckDiscThen(TWriteKind Kind, int64_t ImageBytes, std::function<void()> Next);
    void JudgeReport(TWriteKind Kind, int64_t ImageBytes, const TDiscReport& Report, std::function<void()> Next);
    // Waits for a disc with a box that has only Cancel; true once a disc is in.
    bool WaitForDisc(const QString& Text);
    // Asks to unmount the disc and unmounts it; Next when it is unmounted.
    void AskUnmount(const TDiscReport& Report, std::function<void()> Next, std::function<void()> Stop);
    bool AskCloseUnfinished(const TDiscReport& Report, TWriteKind Kind);
    bool AskOverwrite(const TDiscReport& Report, TWriteKind Kind);
    void FillForBurn(std::vector<TListEntry> Entries);
    void LayOutForBurn();
    void ConfirmBurn(int64_t Sectors);
    void StartImageBurn(const std::string& Image);
    // A write's preparation ended without writing (a refusal, No, Cancel).
    void EndPreparation(const std::string& LogLine = {});
    bool PreparationCancelled();
    void WriteNotStarted();
    void StartQuickSave(const std::string& FileName);
    void JoinQuickSave();
    std::string AskImageFileName();
    void UpdateBurnButton();
    // The fill meter's view of the compilation.
    void UpdateFillMeter();
    // False when the image of Sectors does not fit on the disc the checks
    // read and the user chose not to go on.
    bool ConfirmFit(int64_t Sectors);
    // True while a burn, an image burn or an erase owns the drive. Asked on
    // the drive worker too: reads only the burner's atomic state.
    bool DriveBusy() const;
    // The read-back after a burn: its progress (true while it runs, the
    // display then shows it) and its result (log and message box).
    bool ShowVerifyProgress();
    void ReportVerification();

    // ---- Progress, questions and the end of a job ----
    void StartProgress(const QString& Medium, bool ToFile);
    void ShowProgressLine();
    void ResetProgressLabels();
    QString MediumName() const;
    // Stops the running write or image build.
    void StopWrite();
    // Asks before a running job is stopped; true to stop it.
    bool AskStopJob(const QString& Why);
    void ShowEndMessage(bool Failed, const QString& Text);
    QString WriteEndText(TRunning Kind, const std::string& Error) const;
    // Lines logged as failures while Work runs (any thread), for a message box.
    std::vector<std::string> CaptureFailures(const std::function<void()>& Work);

    std::unique_ptr<TKestrelBurner> kestrel;
    std::unique_ptr<TKestrelIni> ini_;
    TLogChannel* logChannel_ = nullptr;
    QSplitter* mainSplitter_ = nullptr;
    QSplitter* panesSplitter_ = nullptr;
    TFillMeter* fillMeter_ = nullptr;
    TDiscWatcher* discWatcher_ = nullptr;
    TCompilationActions* listActions_ = nullptr;
    TProjectSession* projects_ = nullptr;
    QAction* quitAction_ = nullptr;
    TDriveWorker* driveWorker_ = nullptr;
    QTimer* stopRepeat_ = nullptr;
    std::unique_ptr<TDiscUnmounter> unmounter_;
    QPointer<QMessageBox> endBox_;
    bool shown_ = false;
    bool aspiOk_ = false;
    bool erasing_ = false;
    // The burner's erase has started (its thread exists): its progress can be read.
    bool eraseStarted_ = false;
    TRunning running_ = TRunning::None;
    // Between the start of a write command and the burner's write.
    bool preparing_ = false;
    bool cancelPreparation_ = false;
    bool closeWhenDone_ = false;
    bool closeAnyway_ = false;
    int driveCommands_ = 0;
    // What the checks before the running job read of the disc.
    TDiscReport report_;
    TJobProgress progress_;
    QElapsedTimer jobClock_;
    // The image file the running build writes.
    QString imageFile_;
    std::thread quickSave_;
    // Failure lines caught for a message box while CaptureFailures runs.
    std::mutex captureLock_;
    std::vector<std::string>* capture_ = nullptr;
};

template <class TWork, class TDone>
void TForm1::RunOnDrive(TWork Work, TDone Done) {
    ++driveCommands_;
    UpdateDeviceCommands();
    driveWorker_->Run(std::move(Work), [this, Done = std::move(Done)](auto&&... Result) mutable {
        Done(std::forward<decltype(Result)>(Result)...);
        DriveCommandDone();
    });
}

}  // namespace kestrel::app
