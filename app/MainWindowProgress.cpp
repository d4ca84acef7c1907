// The main window's 500 ms progress display, the progress line above it
// (phase, percent, times and speed) and the handlers of the write and erase
// completion events, which end with a message box that says how the job
// ended.
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "app/DiscWatcher.h"
#include "app/Formats.h"
#include "app/MainWindow.h"

namespace kestrel::app {

namespace {

int ClampToInt(int64_t Value) { return static_cast<int>(std::clamp<int64_t>(Value, 0, INT32_MAX)); }

QString Text(const std::string& Value) { return QString::fromStdString(Value); }

constexpr char kAborted[] = "OPERATION ABORTED BY USER";

}  // namespace

void TForm1::Timer1Timer() {
    ShowProgressLine();
    if (erasing_) {
        // Read only once the erase thread is there to tell.
        if (eraseStarted_ && kestrel->Erasing()) {
            pcd->setMaximum(100);
            pcd->setValue(ClampToInt(kestrel->GetEraseProgress()));
        }
        return;
    }
    if (ShowVerifyProgress()) return;
    const int64_t written = kestrel->BytesWritten();
    const int64_t sectors = kestrel->ImageSectors();
    lSize->setText(QString::fromStdString(FormatMB(written) + "/" + FormatMB(sectors * 2048) + " MB"));
    pBuf->setValue(std::clamp(kestrel->CacheFillPercent(), 0, 100));
    pcd->setMaximum(ClampToInt(sectors));
    pcd->setValue(std::min(ClampToInt(written / 2048), pcd->maximum()));
    const uint32_t size = kestrel->DeviceBufferBytes();
    const uint32_t free = kestrel->DeviceFreeBufferBytes();
    if (size >= free) pHBuf->setValue(std::min(ClampToInt(size - free), pHBuf->maximum()));
}

// ---- The progress line -----------------------------------------------------------

void TForm1::StartProgress(const QString& Medium, bool ToFile) {
    jobClock_.start();
    progress_.Start(report_.Space.Type, ToFile);
    lProgress->setText(QStringLiteral(" %1 Progress : ").arg(Medium));
    ShowProgressLine();
}

void TForm1::ShowProgressLine() {
    if (!jobClock_.isValid()) return;
    TProgressSample sample;
    sample.ElapsedMs = jobClock_.elapsed();
    if (erasing_) {
        sample.Phase = TJobPhase::Erasing;
        if (eraseStarted_) sample.Fraction = kestrel->EraseProgressFraction();
    } else if (preparing_) {
        sample.Phase = TJobPhase::Preparing;
    } else {
        sample.Phase = PhaseOfWrite(kestrel->WritePhase(), kestrel->FinalizeDisc);
        sample.Fraction = kestrel->WritePhaseProgress();
        const bool verifying = sample.Phase == TJobPhase::Verifying;
        sample.Bytes = verifying ? kestrel->BytesVerified() : kestrel->BytesWritten();
        sample.TotalBytes = verifying ? kestrel->VerifyTotalBytes() : kestrel->WriteTotalBytes();
        // The quick image save writes on its own, without the write's phases.
        if (sample.Phase == TJobPhase::Idle && running_ == TRunning::ImageBuild) {
            sample.Phase = TJobPhase::Writing;
            sample.Bytes = kestrel->ImageBytesWritten;
            sample.TotalBytes = kestrel->ImageSectors() * 2048;
        }
    }
    progress_.Add(sample);
    lPhase->setText(progress_.Line());
}

void TForm1::ResetProgressLabels() {
    jobClock_.invalidate();
    progress_.Reset();
    lPhase->clear();
    lProgress->setText(QStringLiteral(" CD Progress : "));
}

// ---- The end of a job ------------------------------------------------------------

void TForm1::ShowEndMessage(bool Failed, const QString& Text) {
    if (closeWhenDone_) return;
    if (!endBox_) {
        endBox_ = new QMessageBox(this);
        endBox_->setObjectName(QStringLiteral("EndMessage"));
        endBox_->setWindowTitle(QString::fromUtf8(kApplicationTitle));
        endBox_->setStandardButtons(QMessageBox::Ok);
        // It tells, it does not ask: the window stays usable behind it.
        endBox_->setWindowModality(Qt::NonModal);
    }
    endBox_->setIcon(Failed ? QMessageBox::Critical : QMessageBox::Information);
    endBox_->setText(Text);
    endBox_->show();
    endBox_->raise();
}

QString TForm1::WriteEndText(TRunning Kind, const std::string& Error) const {
    const QString medium = MediumName();
    if (Error == kAborted)
        return Kind == TRunning::ImageBuild ? QStringLiteral("Building the image file was stopped; no image was kept.")
                                            : QStringLiteral("Writing the %1 was stopped.").arg(medium);
    if (!Error.empty()) {
        const QString what = Kind == TRunning::ImageBuild ? QStringLiteral("Building the image file failed.")
                             : Kind == TRunning::ImageBurn ? QStringLiteral("Writing the image to the %1 failed.").arg(medium)
                                                           : QStringLiteral("The burn failed.");
        return what + QStringLiteral("\n\nWhy: %1\n\nThe log holds the drive's messages.").arg(Text(Error));
    }
    const QString size = Text(FormatMB(kestrel->ImageSectors() * 2048)) + QStringLiteral(" MB");
    switch (Kind) {
        case TRunning::ImageBuild: return QStringLiteral("The image file %1 was built (%2).").arg(imageFile_, size);
        case TRunning::ImageBurn: return QStringLiteral("The image was written to the %1 (%2).").arg(medium, size);
        default: break;
    }
    if (kestrel->TestWrite) return QStringLiteral("The test write went through without an error. Nothing was recorded on the %1.").arg(medium);
    return QStringLiteral("The burn is complete: %1 written to the %2.").arg(size, medium);
}

void TForm1::kestrelWriteDone(const std::string& Error) {
    const TRunning finished = running_;
    stopRepeat_->stop();
    // An erase that still runs keeps the timer for its own progress.
    if (!erasing_) Timer1->stop();
    LeaveRunning();
    Timer1Timer();
    const QString endText = WriteEndText(finished, Error);
    bool eject = false;
    if (!Error.empty()) {
        Log(">>> WRITE/BURNCD PROCESS DONE WITH ERROR");
        Log(">>> " + Error);
        ReportVerification();
    } else {
        Log(">>> WRITE/BURNCD PROCESS DONE");
        ReportVerification();
        // A test write records nothing: the sources stay unarchived and the
        // disc stays in the drive.
        const bool testWrite = kestrel->TestWrite && finished != TRunning::ImageBuild;
        if (!testWrite) {
            if (Options.ArchiveFiles) kestrel->ClearArchiveBits();
            eject = Options.EjectDisc;
        }
    }
    JoinQuickSave();
    kestrel->ClearAll(600000, 20000);
    kestrel->CloseUnfinishedSession = false;
    QApplication::beep();
    bAbort->setVisible(false);
    if (!erasing_) ResetProgressLabels();
    if (eject) {
        RunOnDrive([this] { return kestrel->LoadEject(true); }, [this](bool) { Log(" "); });
    } else {
        Log(" ");
    }
    // A read-back of the disc tells the end in its own box.
    if (kestrel->LastVerification().Outcome == TVerifyOutcome::NotRun) ShowEndMessage(!Error.empty(), endText);
    discWatcher_->Refresh();
    if (closeWhenDone_ && !DriveCommandRunning()) close();
}

void TForm1::kestrelEraseDone(bool WithError) {
    Log(WithError ? ">>> ERASE PROCESS DONE WITH ERROR" : ">>> ERASE PROCESS DONE");
    if (!OperationRunning()) Timer1->stop();
    erasing_ = false;
    eraseStarted_ = false;
    UpdateDeviceCommands();
    pcd->setValue(0);
    QApplication::beep();
    if (!OperationRunning()) ResetProgressLabels();
    if (!WithError && Options.EjectDisc) {
        RunOnDrive([this] { return kestrel->LoadEject(true); }, [this](bool) { Log(" "); });
    } else {
        Log(" ");
    }
    ShowEndMessage(WithError, WithError ? QStringLiteral("The erase failed. The log holds the drive's messages.")
                                        : QStringLiteral("The %1 was erased.").arg(MediumName()));
    discWatcher_->Refresh();
    if (closeWhenDone_ && !DriveCommandRunning() && !OperationRunning()) close();
}

}  // namespace kestrel::app
