// The main window's commands: the speed list, filling the compilation, the
// running state, erasing, the unit commands and abort. Every command that
// talks to the drive runs on the drive worker, so the window never waits
// for the drive; burns and image builds are in MainWindowBurn.cpp.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <filesystem>

#include "app/CompilationList.h"
#include "app/DiscWatcher.h"
#include "app/FileBrowser.h"
#include "app/Formats.h"
#include "app/MainWindow.h"
#include "app/SpeedCombo.h"
#include "burner/device/MediumTables.h"

namespace kestrel::app {

namespace {

constexpr uint8_t kDVDRAM = 6;

QString Text(const std::string& Value) { return QString::fromStdString(Value); }

bool SourceExists(const std::string& Path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(Path, ec)) ||
           std::filesystem::exists(Path, ec);
}

}  // namespace

// ---- Speeds ------------------------------------------------------------------

TSpeedUnit TForm1::SpeedUnit() { return SpeedUnitOf(kestrel->GetDiscType()); }

void TForm1::cbSpeedDropDown() {
    const int selected = cbSpeed->currentIndex();
    const TSpeedUnit unit = SpeedUnit();
    cbSpeed->clear();
    cbSpeed->addItem(QStringLiteral("Max"));
    for (int s = kestrel->GetMaxWriteSpeed(); s > 0; s -= SpeedListStep(unit)) {
        kestrel->SetWriteSpeed(static_cast<uint16_t>(s));
        const QString entry = Text(SpeedEntry(kestrel->GetCurrentWriteSpeed(), unit));
        if (cbSpeed->findText(entry) < 0) cbSpeed->addItem(entry);
    }
    cbSpeed->setCurrentIndex(selected >= 0 && selected < cbSpeed->count() ? selected : 0);
}

std::string TForm1::ChosenSpeedText() {
    if (cbSpeed->currentIndex() < 0) cbSpeed->setCurrentIndex(0);
    return cbSpeed->currentText().toStdString();
}

// Drive worker: the speed goes to the drive at once.
void TForm1::SetWriteSpeedFromText(const std::string& Entry) {
    kestrel->SetWriteSpeed(SpeedFromText(Entry, SpeedUnit()));
}

// ---- Filling the compilation ---------------------------------------------------

bool TForm1::CheckListSources(std::vector<TListEntry>& Entries) {
    std::vector<TListEntry> present;
    std::vector<std::string> missing;
    for (const TListEntry& entry : Entries) {
        if (SourceExists(entry.Path))
            present.push_back(entry);
        else
            missing.push_back(entry.Path);
    }
    if (missing.empty()) return true;
    QString names;
    for (const std::string& path : missing) {
        Log(">>> SOURCE NOT FOUND: " + path);
        names += Text(path) + QLatin1Char('\n');
    }
    const auto answer = QMessageBox::question(
        this, QString::fromUtf8(kApplicationTitle),
        QStringLiteral("These entries of the list no longer exist:\n%1\nGo on without them?").arg(names),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) return false;
    Entries = std::move(present);
    return true;
}

TFillOptions TForm1::FillOptions(int SessionNo) const {
    TFillOptions options;
    options.SavePath = SavePathState();
    options.ArchiveFiles = Options.ArchiveFiles;
    options.SessionNo = SessionNo;
    return options;
}

bool TForm1::ShowFillResult(const TFillResult& Result) {
    if (!Result.Filled && Result.Message == EmptyListMessage) {
        QMessageBox::information(this, QString::fromUtf8(kApplicationTitle), Text(Result.Message));
        return false;
    }
    if (!Result.Filled && !Result.Message.empty()) Log(">>> " + Result.Message);
    return Result.Filled;
}

std::vector<std::string> TForm1::CaptureFailures(const std::function<void()>& Work) {
    std::vector<std::string> lines;
    {
        std::lock_guard guard(captureLock_);
        capture_ = &lines;
    }
    Work();
    std::lock_guard guard(captureLock_);
    capture_ = nullptr;
    return lines;
}

// ---- Running state ----------------------------------------------------------------

void TForm1::SetDeviceCommandsEnabled(bool Enabled) {
    pTop->setEnabled(Enabled && aspiOk_);
    pTop2->setEnabled(Enabled && aspiOk_);
    bBurnISO->setEnabled(Enabled && aspiOk_);
}

void TForm1::UpdateDeviceCommands() {
    SetDeviceCommandsEnabled(!OperationRunning() && !erasing_ && !DriveCommandRunning());
    // Erasing is offered for a disc that can be erased; a quick erase of a
    // DVD-RAM formats it.
    const TDiscSpace& disc = discWatcher_->Disc();
    bQErase->setEnabled(disc.HasDisc() && (disc.Erasable || disc.Type == kDVDRAM));
    bCErase->setEnabled(disc.HasDisc() && disc.Erasable);
}

void TForm1::DriveCommandDone() {
    --driveCommands_;
    UpdateDeviceCommands();
    if (closeWhenDone_ && !DriveCommandRunning() && !OperationRunning()) close();
}

void TForm1::EnterRunning(TRunning Kind) {
    running_ = Kind;
    UpdateDeviceCommands();
    SetProjectCommandsEnabled(false);
    bSaveISO->setEnabled(false);
    DriveCB->setEnabled(false);
}

void TForm1::LeaveRunning() {
    running_ = TRunning::None;
    preparing_ = false;
    cancelPreparation_ = false;
    UpdateDeviceCommands();
    SetProjectCommandsEnabled(true);
    bSaveISO->setEnabled(true);
    DriveCB->setEnabled(true);
}

bool TForm1::AskStopJob(const QString& Why) {
    QString consequence;
    if (running_ == TRunning::Burn || running_ == TRunning::ImageBurn) {
        const uint8_t type = report_.Space.Type;
        consequence = IsSequentialType(type) && type != mtCDRW && type != mtDVDRWSequential
                          ? QStringLiteral("A %1 that is stopped half way cannot be written again.").arg(MediumName())
                          : QStringLiteral("What was written so far cannot be read; the disc has to be written "
                                           "again.");
    } else if (running_ == TRunning::ImageBuild) {
        consequence = QStringLiteral("The image file is not kept.");
    } else if (erasing_) {
        consequence = QStringLiteral("The drive finishes the erase on its own.");
    }
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kApplicationTitle),
                    Why + (consequence.isEmpty() ? QString() : QStringLiteral("\n\n") + consequence),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("StopJobQuestion"));
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Stop"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Go On"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

// ---- Erase ----------------------------------------------------------------------------

namespace {

bool AskEraseQuestion(QWidget* Parent, const QString& Title) {
    QMessageBox box(QMessageBox::Warning, Title, QStringLiteral("All Data on the CD will be lost"),
                    QMessageBox::Yes | QMessageBox::No, Parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

struct TEraseCheck {
    bool Erasable = false;
    uint8_t Type = 0;
    TDiscReport Mount;  // the node and where its disc is mounted
};

}  // namespace

void TForm1::bQEraseClick() { AskErase(true); }

void TForm1::bCEraseClick() { AskErase(false); }

void TForm1::AskErase(bool Quick) {
    if (OperationRunning() || erasing_ || DriveCommandRunning()) return;
    RunOnDrive(
        [this] {
            TEraseCheck check;
            check.Erasable = kestrel->DiscIsErasable();
            check.Type = kestrel->GetDiscType();
            check.Mount.Node = kestrel->GetDriveLetter();
            if (MountPointOf) check.Mount.MountPoint = MountPointOf(check.Mount.Node);
            return check;
        },
        [this, Quick](const TEraseCheck& check) {
            // A quick erase of a DVD-RAM formats it.
            if (Quick ? !check.Erasable && check.Type != kDVDRAM : !check.Erasable) {
                QMessageBox::information(this, QString::fromUtf8(kApplicationTitle),
                                         QStringLiteral("Disc is not Erasable"));
                return;
            }
            if (!AskEraseQuestion(this, Quick ? QStringLiteral("Want to Quick Erase the Disc ?")
                                              : QStringLiteral("Want to Complete Erase the Disc ? (may take 10-70 mins)")))
                return;
            report_ = check.Mount;
            report_.Space.Type = check.Type;
            if (check.Mount.MountPoint)
                AskUnmount(check.Mount, [this, Quick] { StartErase(Quick); }, [] {});
            else
                StartErase(Quick);
        });
}

void TForm1::StartErase(bool Quick) {
    Timer1->start();
    erasing_ = true;
    StartProgress(MediumName(), false);
    const std::string speed = ChosenSpeedText();
    RunOnDrive(
        [this, speed, Quick] {
            SetWriteSpeedFromText(speed);
            return kestrel->EraseDisc(Quick);
        },
        [this](bool started) {
            // The erase may already have ended and been reported.
            eraseStarted_ = started && erasing_;
            if (!started) EraseNotStarted();
        });
}

// EraseDisc refused without an event (the drive was not ready, say): the
// timer would otherwise run on until the next completion.
void TForm1::EraseNotStarted() {
    if (!erasing_) return;  // the completion event came after all
    if (!OperationRunning()) Timer1->stop();
    erasing_ = false;
    eraseStarted_ = false;
    UpdateDeviceCommands();
    pcd->setValue(0);
    if (!OperationRunning()) ResetProgressLabels();
    const std::string why = kestrel->LastError;
    Log(">>> ERASE DID NOT START" + (why.empty() ? std::string() : ": " + why));
    Log(" ");
    ShowEndMessage(true, QStringLiteral("The erase did not start.%1")
                             .arg(why.empty() ? QString() : QStringLiteral("\n\nWhy: ") + Text(why)));
}

// ---- Unit commands --------------------------------------------------------------------

bool TForm1::DriveFree() const { return !OperationRunning() && !erasing_ && !DriveCommandRunning(); }

void TForm1::bLoadClick() {
    if (!DriveFree()) return;
    RunOnDrive([this] { return kestrel->LoadEject(false); },
               [this](bool loaded) {
                   if (loaded) Log(">>> LOAD MEDIUM COMMAND DONE.");
                   discWatcher_->Refresh();
               });
}

void TForm1::bEjectClick() {
    if (!DriveFree()) return;
    RunOnDrive(
        [this] {
            kestrel->SynchronizeCache(false, 300000);
            kestrel->AllowMediumRemoval(true);
            return kestrel->LoadEject(true);
        },
        [this](bool ejected) {
            Log(ejected ? ">>> EJECT MEDIUM COMMAND DONE." : ">>> EJECT MEDIUM COMMAND FAILED.");
            discWatcher_->Refresh();
        });
}

void TForm1::bReadyClick() {
    if (!DriveFree()) return;
    RunOnDrive([this] { return kestrel->TestUnitReady(5000); },
               [this](bool ready) {
                   Log(ready ? ">>> DRIVE IS READY" : ">>> DRIVE IS NOT READY ");
                   discWatcher_->Refresh();
               });
}

void TForm1::bAbortClick() {
    if (preparing_) {
        // Nothing is written yet: the checks stop at their next step.
        cancelPreparation_ = true;
        bAbort->setVisible(false);
        return;
    }
    const QString why = running_ == TRunning::ImageBuild ? QStringLiteral("Stop building the image file?")
                                                         : QStringLiteral("Stop writing the disc?");
    if (!AskStopJob(why)) return;
    StopWrite();
    bAbort->setVisible(false);
}

void TForm1::StopWrite() {
    kestrel->AbortWrite();
    // A quick image save starts by forgetting an earlier stop; until its end
    // is reported the stop is repeated, so one that came first is not lost.
    if (quickSave_.joinable()) stopRepeat_->start();
}

}  // namespace kestrel::app
