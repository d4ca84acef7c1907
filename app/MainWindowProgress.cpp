// The main window's 500 ms progress display and the handlers of the write
// and erase completion events.
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "app/Formats.h"
#include "app/MainWindow.h"

namespace kestrel::app {

namespace {

int ClampToInt(int64_t Value) { return static_cast<int>(std::clamp<int64_t>(Value, 0, INT32_MAX)); }

}  // namespace

void TForm1::Timer1Timer() {
    if (kestrel->Erasing()) {
        pcd->setMaximum(100);
        pcd->setValue(ClampToInt(kestrel->GetEraseProgress()));
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

void TForm1::kestrelWriteDone(const std::string& Error) {
    const TRunning finished = running_;
    // An erase that still runs keeps the timer for its own progress.
    if (!erasing_) Timer1->stop();
    LeaveRunning();
    Timer1Timer();
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
            if (Options.EjectDisc) kestrel->LoadEject(true);
        }
    }
    JoinQuickSave();
    kestrel->ClearAll(600000, 20000);
    QApplication::beep();
    bAbort->setVisible(false);
    Log(" ");
}

void TForm1::kestrelEraseDone(bool WithError) {
    Log(WithError ? ">>> ERASE PROCESS DONE WITH ERROR" : ">>> ERASE PROCESS DONE");
    if (!OperationRunning()) Timer1->stop();
    erasing_ = false;
    SetDeviceCommandsEnabled(!OperationRunning());
    if (!WithError && Options.EjectDisc) kestrel->LoadEject(true);
    pcd->setValue(0);
    QApplication::beep();
    Log(" ");
}

}  // namespace kestrel::app
