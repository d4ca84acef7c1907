// The main window and the disc in the drive: the fill meter, kept current
// from the list and the disc watcher, and the checks before a write, which
// tell what stands in the way in words that say what to do (no disc: wait
// for one; a mounted disc: unmount it) and ask before a disc's files are
// replaced or an unfinished session is closed.
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "app/CompilationList.h"
#include "app/DiscUnmounter.h"
#include "app/DiscWatcher.h"
#include "app/FillMeter.h"
#include "app/MainWindow.h"
#include "app/SpeedCombo.h"
#include "burner/device/MediumTables.h"

namespace kestrel::app {

namespace {

constexpr int64_t kSectorBytes = 2048;
// How often the wait for a disc looks at the drive.
constexpr int kDiscPollMs = 500;

QString Text(const std::string& Value) { return QString::fromStdString(Value); }

// What a check's refusal leaves in the log: its first sentence.
std::string LogLineOf(const QString& Text) {
    return ">>> NOTHING WRITTEN: " + Text.section(QLatin1Char('\n'), 0, 0).toStdString();
}

int ClampToInt(int64_t Value) { return static_cast<int>(std::clamp<int64_t>(Value, 1, INT32_MAX)); }

struct TDiscCheckRead {
    uint32_t BufferBytes = 0;
    TDiscReport Report;
};

}  // namespace

void TForm1::ConnectMeter() {
    connect(clBox, &TCompilationList::Edited, this, &TForm1::UpdateFillMeter);
    connect(clBox, &TCompilationList::Measured, this, &TForm1::UpdateFillMeter);
    connect(discWatcher_, &TDiscWatcher::DiscChanged, fillMeter_, &TFillMeter::SetDisc);
    connect(discWatcher_, &TDiscWatcher::DiscChanged, this, &TForm1::UpdateDeviceCommands);
    discWatcher_->DriveBusy = [this] { return DriveBusy(); };
    UpdateFillMeter();
}

bool TForm1::DriveBusy() const { return kestrel->Erasing() || kestrel->Writing(); }

void TForm1::UpdateFillMeter() {
    fillMeter_->SetNeeded(clBox->EstimatedImageSectors() * kSectorBytes, clBox->CountingSizes());
}

bool TForm1::ConfirmFit(int64_t Sectors) {
    const TDiscSpace& disc = report_.Space;
    const int64_t needed = Sectors * kSectorBytes;
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

// ---- Checks before a write ---------------------------------------------------

void TForm1::CheckDiscThen(TWriteKind Kind, int64_t ImageBytes, std::function<void()> Next) {
    const std::string speed = ChosenSpeedText();
    RunOnDrive(
        [this, speed] {
            TDiscCheckRead read;
            uint32_t blank = 0;
            kestrel->ReadBufferCapacity(read.BufferBytes, blank);
            SetWriteSpeedFromText(speed);
            read.Report = ReadDiscReport(*kestrel, MountPointOf);
            return read;
        },
        [this, Kind, ImageBytes, Next = std::move(Next)](const TDiscCheckRead& read) {
            pHBuf->setMaximum(ClampToInt(read.BufferBytes));
            if (PreparationCancelled()) return;
            JudgeReport(Kind, ImageBytes, read.Report, Next);
        });
}

void TForm1::JudgeReport(TWriteKind Kind, int64_t ImageBytes, const TDiscReport& Report, std::function<void()> Next) {
    report_ = Report;
    discWatcher_->Publish(Report.Space);
    const TDiscVerdict verdict = JudgeDisc(Report.Space, kestrel->Capabilities(), Kind, ImageBytes);
    if (verdict.Problem == TDiscProblem::NoDisc) {
        if (WaitForDisc(verdict.Text) && !cancelPreparation_)
            CheckDiscThen(Kind, ImageBytes, std::move(Next));
        else
            EndPreparation(">>> NOTHING WRITTEN: NO DISC IN THE DRIVE");
        return;
    }
    // A failed burn's session says more than "not blank" to an image burn.
    if (Report.Unfinished && Kind == TWriteKind::ImageBurn) {
        AskCloseUnfinished(Report, Kind);
        EndPreparation(">>> NOTHING WRITTEN: THE DISC HOLDS AN UNFINISHED SESSION");
        return;
    }
    if (verdict.Problem != TDiscProblem::None) {
        QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kApplicationTitle), verdict.Text, QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("DiscProblem"));
        box.exec();
        EndPreparation(LogLineOf(verdict.Text));
        return;
    }
    if (Report.MountPoint) {
        AskUnmount(
            Report, [this, Kind, ImageBytes, Next] { CheckDiscThen(Kind, ImageBytes, Next); },
            [this, point = *Report.MountPoint] { EndPreparation(">>> NOTHING WRITTEN: THE DISC IS MOUNTED ON " + point); });
        return;
    }
    if (Report.Unfinished && !AskCloseUnfinished(Report, Kind)) {
        EndPreparation(">>> NOTHING WRITTEN: THE DISC HOLDS AN UNFINISHED SESSION");
        return;
    }
    if (!AskOverwrite(Report, Kind)) {
        EndPreparation(">>> NOTHING WRITTEN: THE FILES ON THE DISC WERE KEPT");
        return;
    }
    lProgress->setText(QStringLiteral(" %1 Progress : ").arg(MediumName()));
    progress_.Start(Report.Space.Type, false);
    Next();
}

bool TForm1::WaitForDisc(const QString& Text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Insert a disc"), Text, QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("WaitForDisc"));
    QTimer poll;
    connect(&poll, &QTimer::timeout, discWatcher_, &TDiscWatcher::Refresh);
    connect(discWatcher_, &TDiscWatcher::DiscChanged, &box, [&box](const TDiscSpace& disc) {
        if (disc.HasDisc()) box.done(QMessageBox::Ok);
    });
    poll.start(kDiscPollMs);
    discWatcher_->Refresh();
    return box.exec() == QMessageBox::Ok;
}

void TForm1::AskUnmount(const TDiscReport& Report, std::function<void()> Next, std::function<void()> Stop) {
    const QString node = Text(Report.Node), point = Text(*Report.MountPoint);
    QMessageBox ask(QMessageBox::Question, QStringLiteral("Unmount the disc ?"),
                    QStringLiteral("The disc in %1 is mounted on %2 (the desktop opens discs as they are "
                                   "inserted). Kestrel can write or erase it only once it is unmounted.\n\n"
                                   "Unmount it now?")
                        .arg(node, point),
                    QMessageBox::Yes | QMessageBox::No, this);
    ask.setObjectName(QStringLiteral("UnmountQuestion"));
    ask.setDefaultButton(QMessageBox::Yes);
    if (ask.exec() != QMessageBox::Yes) {
        Stop();
        return;
    }
    unmounter_->Unmount(node, [this, node, point, Next, Stop](const TUnmountResult& result) {
        if (result.Unmounted) {
            Log(">>> UNMOUNTED " + point.toStdString());
            Next();
            return;
        }
        const QString command = UnmountCommandText(node, point);
        QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kApplicationTitle),
                        result.ServiceMissing
                            ? QStringLiteral("The disc could not be unmounted here: udisks2, which mounts and "
                                             "unmounts discs for the desktop, cannot be reached.\n\nUnmount it "
                                             "with\n    %1\nthen try again.")
                                  .arg(command)
                            : QStringLiteral("The disc could not be unmounted: %1\n\nClose the windows and "
                                             "programs that use files on it, or unmount it with\n    %2\nthen "
                                             "try again.")
                                  .arg(result.Error, command),
                        QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("UnmountFailed"));
        box.exec();
        Stop();
    });
}

bool TForm1::AskCloseUnfinished(const TDiscReport& Report, TWriteKind Kind) {
    const TUnfinishedSession& session = *Report.Unfinished;
    const QString what = QStringLiteral("Session %1 on the %2 was left unfinished by a burn that failed or was "
                                        "interrupted (%3 sectors written from sector %4).")
                             .arg(session.Session)
                             .arg(MediumName())
                             .arg(session.RecordedBlocks)
                             .arg(session.Start);
    if (Kind == TWriteKind::ImageBurn) {
        QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kApplicationTitle),
                        what + QStringLiteral("\n\nAn image is written only onto a blank disc: insert a blank disc%1.")
                                   .arg(Report.Space.Erasable ? QStringLiteral(", or erase this one first (Q.Erase)")
                                                              : QString()),
                        QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("DiscProblem"));
        box.exec();
        return false;
    }
    QMessageBox box(QMessageBox::Question, QStringLiteral("Close the unfinished session ?"),
                    what + QStringLiteral("\n\nA new session can follow it only once it is closed. Close it and burn "
                                          "the new session behind it? What the failed burn wrote stays unreadable."),
                    QMessageBox::Yes | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("UnfinishedQuestion"));
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Close It and Burn"));
    box.setDefaultButton(QMessageBox::Cancel);
    if (box.exec() != QMessageBox::Yes) return false;
    kestrel->CloseUnfinishedSession = true;
    return true;
}

bool TForm1::AskOverwrite(const TDiscReport& Report, TWriteKind Kind) {
    if (!Report.HoldsFiles) return true;
    // With the disc's session imported, its files go into the new one.
    if (Kind == TWriteKind::Burn && Options.SessionNo != 0) return true;
    const QString text =
        Kind == TWriteKind::Burn
            ? QStringLiteral("The %1 in the drive holds files, and \"Import Session\" is off: this burn replaces "
                             "them, and the disc will show only the new files.\n\nReplace the files on the disc?")
            : QStringLiteral("The %1 in the drive holds files: the image is written over them.\n\n"
                             "Overwrite the disc?");
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Replace the files on the disc ?"), text.arg(MediumName()),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("OverwriteQuestion"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString TForm1::MediumName() const {
    if (running_ == TRunning::ImageBuild) return QStringLiteral("Image");
    const uint8_t type = report_.Space.Type;
    return type == 0 ? QStringLiteral("CD") : Text(MediumTypeName(type));
}

void TForm1::SetUnmounter(std::unique_ptr<TDiscUnmounter> Unmounter) { unmounter_ = std::move(Unmounter); }

}  // namespace kestrel::app
