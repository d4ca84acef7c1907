// The main window's commands: the speed list, burning the compilation,
// building an image file, burning an image file, erasing, the unit commands
// and abort.
#include <QApplication>
#include <QComboBox>
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

#include "app/CompilationList.h"
#include "app/DiscWatcher.h"
#include "app/FileBrowser.h"
#include "app/Formats.h"
#include "app/MainWindow.h"
#include "app/SpeedCombo.h"
#include "app/dialogs/DiscLayoutDialog.h"

namespace kestrel::app {

namespace {

constexpr int kMaxFiles = 600000;
constexpr int kMaxDirs = 20000;
constexpr uint8_t kDVDRAM = 6;

// Shows what is already queued (log lines, painting) without taking user
// input, so a second click cannot start a command inside this one.
void LetPendingEventsRun() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

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

void TForm1::SetWriteSpeedFromList() {
    if (cbSpeed->currentIndex() < 0) cbSpeed->setCurrentIndex(0);
    kestrel->SetWriteSpeed(SpeedFromText(cbSpeed->currentText().toStdString(), SpeedUnit()));
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

bool TForm1::FillCompilation(const std::vector<TListEntry>& Entries, bool WithSession) {
    TFillOptions options;
    options.SavePath = SavePathState();
    options.ArchiveFiles = Options.ArchiveFiles;
    options.SessionNo = WithSession ? Options.SessionNo : 0;
    options.ImportSession = [this](int session) { kestrel->ImportDiscSession(session, kestrel->RootDir); };
    const TFillResult result = kestrel::FillCompilation(*kestrel, Entries, options);
    if (!result.Filled && result.Message == EmptyListMessage) {
        QMessageBox::information(this, QString::fromUtf8(kApplicationTitle), Text(result.Message));
        return false;
    }
    if (!result.Filled && !result.Message.empty()) Log(">>> " + result.Message);
    return result.Filled;
}

// ---- Running state ----------------------------------------------------------------

void TForm1::SetDeviceCommandsEnabled(bool Enabled) {
    pTop->setEnabled(Enabled && aspiOk_);
    pTop2->setEnabled(Enabled && aspiOk_);
    bBurnISO->setEnabled(Enabled && aspiOk_);
}

void TForm1::EnterRunning(TRunning Kind) {
    running_ = Kind;
    SetDeviceCommandsEnabled(false);
    SetProjectCommandsEnabled(false);
    bSaveISO->setEnabled(false);
    DriveCB->setEnabled(false);
}

void TForm1::LeaveRunning() {
    running_ = TRunning::None;
    SetDeviceCommandsEnabled(!erasing_);
    SetProjectCommandsEnabled(true);
    bSaveISO->setEnabled(true);
    DriveCB->setEnabled(true);
}

// ---- Burn ------------------------------------------------------------------------

void TForm1::bBurnClick() {
    if (OperationRunning()) return;
    uint32_t total = 0, blank = 0;
    kestrel->ReadBufferCapacity(total, blank);
    pHBuf->setMaximum(static_cast<int>(std::clamp<uint32_t>(total, 1, INT32_MAX)));
    SetWriteSpeedFromList();
    LetPendingEventsRun();

    std::vector<TListEntry> entries = clBox->Entries();
    if (!CheckListSources(entries)) return;
    kestrel->ClearAll(kMaxFiles, kMaxDirs);
    FillCompilation(entries, true);
    Log(">>> ADD FILES/DIRS TO CD DONE.");
    LetPendingEventsRun();
    if (kestrel->DirsCount() == 0 && kestrel->FilesCount() == 0) {
        Log(">>> NOTHING TO BURN, ABORTING ...");
        return;
    }
    if (Options.ShowFiles) {
        auto* layout = new TfrmDiscLayout(this, *kestrel);
        layout->setAttribute(Qt::WA_DeleteOnClose);
        layout->exec();
    }

    // A boot file the image cannot use, or an image too large to lay out,
    // ends the burn before anything is asked or written.
    try {
        kestrel->BuildLayout(false, nullptr);
    } catch (const std::exception& e) {
        Log(">>> " + std::string(e.what()));
        Log(">>> BURN NOT STARTED");
        Log(" ");
        return;
    }
    const int64_t sectors = kestrel->ImageSectors();
    pcd->setMaximum(static_cast<int>(std::min<int64_t>(sectors, INT32_MAX)));
    if (!ConfirmFit(sectors)) return;
    const auto answer = QMessageBox::question(
        this, QStringLiteral("Want to Burn the CD ?"),
        QStringLiteral("Start Writing %1 MB").arg(Text(FormatMB(sectors * 2048))), QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes) return;

    bAbort->setVisible(true);
    Timer1->start();
    Log(">>> STARTING BURNCD ON " + kestrel->CurrentDevice());
    EnterRunning(TRunning::Burn);
    if (!kestrel->BurnCD()) WriteNotStarted();
}

// The burner refused to start (another write of this process still runs)
// and raises no event: the window gives the controls back itself.
void TForm1::WriteNotStarted() {
    if (!erasing_) Timer1->stop();
    LeaveRunning();
    bAbort->setVisible(false);
    Log(">>> WRITE DID NOT START: ANOTHER WRITE IS STILL RUNNING");
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
    FillCompilation(entries, false);
    if (kestrel->DirsCount() == 0 && kestrel->FilesCount() == 0) {
        if (!erasing_) Timer1->stop();
        return;
    }
    Log(">>> ADD FILES/DIRS TO .ISO DONE.");
    LetPendingEventsRun();
    Log(">>> START BUILDING .ISO FILE");
    EnterRunning(TRunning::ImageBuild);

    try {
        kestrel->BuildLayout(true, nullptr);
    } catch (const std::exception& e) {
        kestrelWriteDone(e.what());  // no image file is created
        return;
    }
    const int64_t sectors = kestrel->ImageSectors();
    pcd->setMaximum(static_cast<int>(std::min<int64_t>(sectors, INT32_MAX)));
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
    if (OperationRunning()) return;
    QFileDialog od(this);
    od.setObjectName(QStringLiteral("od"));
    od.setOption(QFileDialog::DontUseNativeDialog);
    od.setFileMode(QFileDialog::ExistingFile);
    od.setAcceptMode(QFileDialog::AcceptOpen);
    od.setNameFilters({QStringLiteral(".ISO Files (*.iso *.ISO)"), QStringLiteral("All File (*)")});
    od.setDefaultSuffix(QStringLiteral("iso"));
    if (od.exec() != QDialog::Accepted || od.selectedFiles().isEmpty()) return;
    const std::string image = od.selectedFiles().first().toStdString();

    uint32_t total = 0, blank = 0;
    kestrel->ReadBufferCapacity(total, blank);
    pHBuf->setMaximum(static_cast<int>(std::clamp<uint32_t>(total, 1, INT32_MAX)));
    bAbort->setVisible(true);
    Timer1->start();
    Log(">>> STARTING BURN .ISO IMAGE ON " + kestrel->CurrentDevice());
    EnterRunning(TRunning::ImageBurn);
    SetWriteSpeedFromList();
    const bool started = kestrel->BurnISOImage(image);
    pcd->setMaximum(static_cast<int>(std::min<int64_t>(kestrel->ImageSectors(), INT32_MAX)));
    if (!started) WriteNotStarted();
}

// ---- Erase ----------------------------------------------------------------------------

namespace {

bool AskErase(QWidget* Parent, const QString& Title) {
    QMessageBox box(QMessageBox::Warning, Title, QStringLiteral("All Data on the CD will be lost"),
                    QMessageBox::Yes | QMessageBox::No, Parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace

void TForm1::bQEraseClick() {
    if (!kestrel->DiscIsErasable() && kestrel->GetDiscType() != kDVDRAM) {
        QMessageBox::information(this, QString::fromUtf8(kApplicationTitle), QStringLiteral("Disc is not Erasable"));
        return;
    }
    if (!AskErase(this, QStringLiteral("Want to Quick Erase the Disc ?"))) return;
    StartErase(true);
}

void TForm1::bCEraseClick() {
    if (!kestrel->DiscIsErasable()) {
        QMessageBox::information(this, QString::fromUtf8(kApplicationTitle), QStringLiteral("Disc is not Erasable"));
        return;
    }
    if (!AskErase(this, QStringLiteral("Want to Complete Erase the Disc ? (may take 10-70 mins)"))) return;
    StartErase(false);
}

void TForm1::StartErase(bool Quick) {
    Timer1->start();
    SetWriteSpeedFromList();
    erasing_ = true;
    SetDeviceCommandsEnabled(false);
    if (!kestrel->EraseDisc(Quick)) EraseNotStarted();
}

// EraseDisc refused without an event (the drive was not ready, say): the
// timer would otherwise run on until the next completion.
void TForm1::EraseNotStarted() {
    if (!erasing_) return;  // the completion event came after all
    if (!OperationRunning()) Timer1->stop();
    erasing_ = false;
    SetDeviceCommandsEnabled(!OperationRunning());
    pcd->setValue(0);
    Log(">>> ERASE DID NOT START" + (kestrel->LastError.empty() ? std::string() : ": " + kestrel->LastError));
    Log(" ");
}

// ---- Unit commands --------------------------------------------------------------------

void TForm1::bLoadClick() {
    if (kestrel->LoadEject(false)) Log(">>> LOAD MEDIUM COMMAND DONE.");
    discWatcher_->Refresh();
}

void TForm1::bEjectClick() {
    kestrel->SynchronizeCache(false, 300000);
    kestrel->AllowMediumRemoval(true);
    Log(kestrel->LoadEject(true) ? ">>> EJECT MEDIUM COMMAND DONE." : ">>> EJECT MEDIUM COMMAND FAILED.");
    discWatcher_->Refresh();
}

void TForm1::bReadyClick() {
    Log(kestrel->TestUnitReady(5000) ? ">>> DRIVE IS READY" : ">>> DRIVE IS NOT READY ");
    discWatcher_->Refresh();
}

void TForm1::bAbortClick() {
    kestrel->AbortWrite();
    bAbort->setVisible(false);
}

}  // namespace kestrel::app
