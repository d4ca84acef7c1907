#pragma once
// The main window: owns the one burner (`kestrel`), starts the device layer,
// lets the user choose a drive, holds the compilation list and the file
// browser, runs the commands and shows everything the burner reports in the
// log pane.
#include <QMainWindow>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/AppOptions.h"
#include "app/AppTitle.h"
#include "app/Formats.h"
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
class TDiscWatcher;
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
    // True from the start of a burn, image build or image burn to its end.
    bool OperationRunning() const { return running_ != TRunning::None; }
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
    QTimer* Timer1;
    TExDragDrop* ExplorerDragDrop;

    // ---- Additions around the classic controls ----
    TFillMeter* FillMeter() const { return fillMeter_; }
    TDiscWatcher* DiscWatcher() const { return discWatcher_; }
    TCompilationActions* ListActions() const { return listActions_; }
    TProjectSession* Projects() const { return projects_; }
    QAction* QuitAction() const { return quitAction_; }

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
    void SetWriteSpeedFromList();
    TSpeedUnit SpeedUnit();
    // The list's entries whose sources still exist; asks about the others.
    // False when the user chose not to go on.
    bool CheckListSources(std::vector<TListEntry>& Entries);
    // ClearAll, then the list (and the chosen previous session) into the
    // compilation. False when the list is empty (the user was told).
    bool FillCompilation(const std::vector<TListEntry>& Entries, bool WithSession);
    void EnterRunning(TRunning Kind);
    void LeaveRunning();
    void SetDeviceCommandsEnabled(bool Enabled);
    // Runs the erase the user confirmed, with progress on the timer.
    void StartErase(bool Quick);
    void EraseNotStarted();
    void WriteNotStarted();
    void StartQuickSave(const std::string& FileName);
    void JoinQuickSave();
    std::string AskImageFileName();
    void UpdateBurnButton();
    // The fill meter's view of the compilation.
    void UpdateFillMeter();
    // Reads the disc again; false when the image of Sectors does not fit on
    // it and the user chose not to go on.
    bool ConfirmFit(int64_t Sectors);
    // True while a burn, an image burn or an erase owns the drive.
    bool DriveBusy() const;
    // The read-back after a burn: its progress (true while it runs, the
    // display then shows it) and its result (log and message box).
    bool ShowVerifyProgress();
    void ReportVerification();

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
    bool shown_ = false;
    bool aspiOk_ = false;
    bool erasing_ = false;
    TRunning running_ = TRunning::None;
    std::thread quickSave_;
};

}  // namespace kestrel::app
