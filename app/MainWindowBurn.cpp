// Burning the compilation, burning an image file and building an image file.
// A burn goes step by step: the disc is checked (on the drive worker) and
// every question is asked before the compilation is filled and laid out (on
// the drive worker again: an imported session and the layout read the
// disc), and only then is the user asked to start writing.
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <exception>
#include <filesystem>
#include <utility>

#include "app/CompilationList.h"
#include "app/DiscWatcher.h"
#include "app/Formats.h"
#include "app/MainWindow.h"
#include "app/dialogs/DiscLayoutDialog.h"

namespace kestrel::app {

namespace {

constexpr int kMaxFiles = 600000;
constexpr int kMaxDirs = 20000;
// How many of the lines that tell why an import failed a message box shows.
constexpr size_t kReasonLines = 6;

QString Text(const std::string& Value) { return QString::fromStdString(Value); }

int ClampToInt(int64_t Value) { return static_cast<int>(std::clamp<int64_t>(Value, 1, INT32_MAX)); }

// What filling the compilation for a burn came to.
struct TBurnFill {
    TFillResult Result;
    int Session = 0;          // the session imported first; 0 none
    bool ImportFailed = false;
    std::vector<std::string> Reasons;  // the lines the failed import logged
};

}  // namespace

// ---- Burn ------------------------------------------------------------------------

void TForm1::bBurnClick() {
    if (!DriveFree()) return;
    std::vector<TListEntry> entries = clBox->Entries();
    if (!CheckListSources(entries)) return;
    if (entries.empty() && Options.SessionNo == 0) {
        // Nothing to check the disc for.
        kestrel->ClearAll(kMaxFiles, kMaxDirs);
        ShowFillResult({false, EmptyListMessage});
        Log(">>> ADD FILES/DIRS TO CD DONE.");
        Log(">>> NOTHING TO BURN, ABORTING ...");
        return;
    }
    bAbort->setVisible(true);
    Timer1->start();
    EnterRunning(TRunning::Burn);
    preparing_ = true;
    StartProgress(QStringLiteral("CD"), false);
    CheckDiscThen(TWriteKind::Burn, 0, [this, entries] { FillForBurn(entries); });
}

void TForm1::FillForBurn(std::vector<TListEntry> Entries) {
    // "Last" on a disc without a session has nothing to carry forward.
    const bool blank = report_.Space.State == TDiscSpace::TState::Blank;
    const int session = Options.SessionNo == -1 && blank ? 0 : Options.SessionNo;
    TFillOptions options = FillOptions(session);
    RunOnDrive(
        [this, Entries = std::move(Entries), options]() mutable {
            TBurnFill fill;
            fill.Session = options.SessionNo;
            options.ImportSession = [this, &fill](int number) {
                fill.Reasons = CaptureFailures(
                    [&] { fill.ImportFailed = !kestrel->ImportDiscSession(number, kestrel->RootDir); });
            };
            kestrel->ClearAll(kMaxFiles, kMaxDirs);
            fill.Result = kestrel::FillCompilation(*kestrel, Entries, options);
            return fill;
        },
        [this](const TBurnFill& fill) {
            if (PreparationCancelled()) return;
            if (fill.ImportFailed) {
                // A session without the old files would hide them from view.
                QStringList reasons;
                for (size_t i = 0; i < fill.Reasons.size() && i < kReasonLines; ++i) reasons << Text(fill.Reasons[i]);
                const QString session = fill.Session == -1 ? QStringLiteral("The last session")
                                                           : QStringLiteral("Session %1").arg(fill.Session);
                QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kApplicationTitle),
                                QStringLiteral("%1 of the disc could not be imported, so nothing was written.").arg(session),
                                QMessageBox::Ok, this);
                box.setObjectName(QStringLiteral("ImportFailed"));
                box.setInformativeText(
                    (reasons.isEmpty() ? QString() : reasons.join(QLatin1Char('\n')) + QStringLiteral("\n\n")) +
                    QStringLiteral("A new session without them would hide the files already on the disc. To write "
                                   "one anyway, turn \"Import Session\" off under Advance."));
                box.exec();
                EndPreparation(">>> NOTHING WRITTEN: THE SESSION COULD NOT BE IMPORTED");
                return;
            }
            ShowFillResult(fill.Result);
            Log(">>> ADD FILES/DIRS TO CD DONE.");
            if (kestrel->DirsCount() == 0 && kestrel->FilesCount() == 0) {
                Log(">>> NOTHING TO BURN, ABORTING ...");
                EndPreparation();
                return;
            }
            if (Options.ShowFiles) {
                auto* layout = new TfrmDiscLayout(this, *kestrel);
                layout->setAttribute(Qt::WA_DeleteOnClose);
                layout->exec();
            }
            LayOutForBurn();
        });
}

void TForm1::LayOutForBurn() {
    // A boot file the image cannot use, or an image too large to lay out,
    // ends the burn before anything is asked or written.
    RunOnDrive(
        [this]() -> std::pair<int64_t, std::string> {
            try {
                kestrel->BuildLayout(false, nullptr);
            } catch (const std::exception& e) {
                return {0, e.what()};
            }
            return {kestrel->ImageSectors(), {}};
        },
        [this](const std::pair<int64_t, std::string>& layout) {
            if (PreparationCancelled()) return;
            if (!layout.second.empty()) {
                Log(">>> " + layout.second);
                EndPreparation(">>> BURN NOT STARTED");
                Log(" ");
                return;
            }
            ConfirmBurn(layout.first);
        });
}

void TForm1::ConfirmBurn(int64_t Sectors) {
    pcd->setMaximum(ClampToInt(Sectors));
    if (!ConfirmFit(Sectors)) {
        EndPreparation();
        return;
    }
    const auto answer = QMessageBox::question(
        this, QStringLiteral("Want to Burn the CD ?"),
        QStringLiteral("Start Writing %1 MB").arg(Text(FormatMB(Sectors * 2048))), QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes || cancelPreparation_) {
        // The compilation stays filled until the next command clears it.
        EndPreparation();
        return;
    }
    Log(">>> STARTING BURNCD ON " + kestrel->CurrentDevice());
    RunOnDrive([this] { return kestrel->BurnCD(); },
               [this](bool started) {
                   preparing_ = false;
                   if (!started) WriteNotStarted();
               });
}

bool TForm1::PreparationCancelled() {
    if (!cancelPreparation_) return false;
    EndPreparation(">>> CANCELLED: NOTHING WAS WRITTEN");
    return true;
}

void TForm1::EndPreparation(const std::string& LogLine) {
    if (!LogLine.empty()) Log(LogLine);
    kestrel->CloseUnfinishedSession = false;
    if (!erasing_) Timer1->stop();
    LeaveRunning();
    bAbort->setVisible(false);
    if (!erasing_) ResetProgressLabels();
    if (closeWhenDone_ && !DriveCommandRunning()) close();
}

// The burner refused to start (another write of this process still runs)
// and raises no event: the window gives the controls back itself.
void TForm1::WriteNotStarted() {
    Log(">>> WRITE DID NOT START: ANOTHER WRITE IS STILL RUNNING");
    EndPreparation();
    Log(" ");
}

// ---- Build .ISO -------------------------------------------------------------------

namespace {

bool IsInside(const std::filesystem::path& File, const std::filesystem::path& Dir, bool Recursive) {
    const auto parent = File.parent_path();
    if (!Recursive) return parent == Dir;
    auto rel = File.lexically_relative(Dir);
    return !rel.empty() && *rel.begin() != "..";
}

std::filesystem::path Canonical(const std::string& Path) {
    std::error_code ec;
    auto path = std::filesystem::weakly_canonical(Path, ec);
    return ec ? std::filesystem::path(Path).lexically_normal() : path;
}

}  // namespace

std::string TForm1::AskImageFileName() {
    QInputDialog dialog(this);
    dialog.setObjectName(QStringLiteral("BuildISODialog"));
    dialog.setWindowTitle(QStringLiteral("Build ISO"));
    dialog.setLabelText(QStringLiteral("Enter ISO File Name to build"));
    dialog.setTextValue(Text(kestrel->ISOFileName));
    if (dialog.exec() != QDialog::Accepted) return {};
    const QString name = dialog.textValue().trimmed();
    if (name.isEmpty()) return {};
    const std::filesystem::path target = Canonical(name.toStdString());
    for (const TListEntry& entry : clBox->Entries()) {
        const std::filesystem::path source = Canonical(entry.Path);
        const bool isDir = !entry.Path.empty() && entry.Path.back() == '/';
        if (target == source || (isDir && IsInside(target, source, entry.Recursive))) {
            QMessageBox::warning(this, QStringLiteral("Build ISO"),
                                 QStringLiteral("\"%1\" is one of the sources of the compilation; "
                                                "choose another name for the image file.").arg(name));
            return {};
        }
    }
    if (QFileInfo::exists(name)) {
        const auto answer = QMessageBox::question(this, QStringLiteral("Build ISO"),
                                                  QStringLiteral("\"%1\" already exists. Replace it?").arg(name),
                                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) return {};
    }
    return name.toStdString();
}

void TForm1::bSaveISOClick() {
    if (OperationRunning()) return;
    const std::string fileName = AskImageFileName();
    if (fileName.empty()) return;
    std::vector<TListEntry> entries = clBox->Entries();
    if (!CheckListSources(entries)) return;

    Timer1->start();
    kestrel->ClearAll(kMaxFiles, kMaxDirs);
    // An image file never carries a disc's previous session.
    ShowFillResult(kestrel::FillCompilation(*kestrel, entries, FillOptions(0)));
    if (kestrel->DirsCount() == 0 && kestrel->FilesCount() == 0) {
        if (!erasing_) Timer1->stop();
        return;
    }
    Log(">>> ADD FILES/DIRS TO .ISO DONE.");
    Log(">>> START BUILDING .ISO FILE");
    EnterRunning(TRunning::ImageBuild);
    imageFile_ = QString::fromStdString(fileName);
    // An image build can be stopped like a burn.
    bAbort->setVisible(true);
    StartProgress(QStringLiteral("Image"), true);

    try {
        kestrel->BuildLayout(true, nullptr);
    } catch (const std::exception& e) {
        kestrelWriteDone(e.what());  // no image file is created
        return;
    }
    const int64_t sectors = kestrel->ImageSectors();
    pcd->setMaximum(ClampToInt(sectors));
    lSize->setText(Text(FormatMB(sectors * 2048) + " MB"));
    if (Options.QuickSaveISO)
        StartQuickSave(fileName);
    else
        kestrel->SaveToISOFile(fileName, false);
}

void TForm1::StartQuickSave(const std::string& FileName) {
    JoinQuickSave();
    // The quick save writes the whole image on the calling thread; it runs
    // on its own so the window stays responsive. Its end comes through
    // OnWriteDone, its failure as an exception.
    quickSave_ = std::thread([this, FileName] {
        try {
            kestrel->SaveToISOFile(FileName, true);
        } catch (const std::exception& e) {
            const std::string error = e.what();
            QMetaObject::invokeMethod(this, [this, error] { kestrelWriteDone(error); }, Qt::QueuedConnection);
        }
    });
}

void TForm1::JoinQuickSave() {
    if (quickSave_.joinable()) quickSave_.join();
}

// ---- Burn .ISO ----------------------------------------------------------------------

void TForm1::bBurnISOClick() {
    if (!DriveFree()) return;
    QFileDialog od(this);
    od.setObjectName(QStringLiteral("od"));
    od.setOption(QFileDialog::DontUseNativeDialog);
    od.setFileMode(QFileDialog::ExistingFile);
    od.setAcceptMode(QFileDialog::AcceptOpen);
    od.setNameFilters({QStringLiteral(".ISO Files (*.iso *.ISO)"), QStringLiteral("All File (*)")});
    od.setDefaultSuffix(QStringLiteral("iso"));
    if (od.exec() != QDialog::Accepted || od.selectedFiles().isEmpty()) return;
    const std::string image = od.selectedFiles().first().toStdString();

    bAbort->setVisible(true);
    Timer1->start();
    EnterRunning(TRunning::ImageBurn);
    preparing_ = true;
    StartProgress(QStringLiteral("CD"), false);
    CheckDiscThen(TWriteKind::ImageBurn, QFileInfo(QString::fromStdString(image)).size(),
                  [this, image] { StartImageBurn(image); });
}

void TForm1::StartImageBurn(const std::string& Image) {
    Log(">>> STARTING BURN .ISO IMAGE ON " + kestrel->CurrentDevice());
    const std::string speed = ChosenSpeedText();
    RunOnDrive(
        [this, Image, speed] {
            SetWriteSpeedFromText(speed);
            return kestrel->BurnISOImage(Image);
        },
        [this](bool started) {
            preparing_ = false;
            pcd->setMaximum(ClampToInt(kestrel->ImageSectors()));
            if (!started) WriteNotStarted();
        });
}

}  // namespace kestrel::app
