// The main window's fill meter: the compilation's estimated size against the
// disc in the drive, kept current from the list and the disc watcher, and
// the check before a burn that the laid-out image fits.
#include <QMessageBox>

#include "app/CompilationList.h"
#include "app/DiscWatcher.h"
#include "app/FillMeter.h"
#include "app/MainWindow.h"

namespace kestrel::app {

namespace {

constexpr int64_t kSectorBytes = 2048;

}  // namespace

void TForm1::ConnectMeter() {
    connect(clBox, &TCompilationList::Edited, this, &TForm1::UpdateFillMeter);
    connect(clBox, &TCompilationList::Measured, this, &TForm1::UpdateFillMeter);
    connect(discWatcher_, &TDiscWatcher::DiscChanged, fillMeter_, &TFillMeter::SetDisc);
    discWatcher_->DriveBusy = [this] { return DriveBusy(); };
    UpdateFillMeter();
}

bool TForm1::DriveBusy() const {
    return running_ == TRunning::Burn || running_ == TRunning::ImageBurn || erasing_ || kestrel->Erasing() ||
           kestrel->Writing();
}

void TForm1::UpdateFillMeter() {
    fillMeter_->SetNeeded(clBox->EstimatedImageSectors() * kSectorBytes, clBox->CountingSizes());
}

bool TForm1::ConfirmFit(int64_t Sectors) {
    const TDiscSpace& disc = discWatcher_->ReadNow();
    const int64_t needed = Sectors * kSectorBytes;
    // Without a disc there is nothing to measure against here.
    if (!disc.HasDisc() || needed <= disc.FreeBytes) return true;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("The compilation does not fit"),
                    QStringLiteral("The compilation needs %1, but the disc in the drive (%2) has %3.\n\n"
                                   "Try anyway? Before anything is written the burn measures the disc once "
                                   "more and stops when the image does not fit.")
                        .arg(SpaceText(needed), DescribeDisc(disc),
                             disc.FreeBytes > 0 ? SpaceText(disc.FreeBytes) + QStringLiteral(" free")
                                                : QStringLiteral("no space left")),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace kestrel::app
