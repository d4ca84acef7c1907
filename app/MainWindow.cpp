// The main window: its controls, start-up, drive choice, log, compilation
// list and drops. The commands are in MainWindowCommands.cpp, the progress
// display and completion events in MainWindowProgress.cpp, the settings file
// in MainWindowSettings.cpp, the menus and projects in MainWindowMenus.cpp.
#include "app/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/BrowserLists.h"
#include "app/CompilationActions.h"
#include "app/CompilationList.h"
#include "app/DiscUnmounter.h"
#include "app/DiscWatcher.h"
#include "app/DriveWorker.h"
#include "app/ExDragDrop.h"
#include "app/FileBrowser.h"
#include "app/FillMeter.h"
#include "app/ImageEstimate.h"
#include "app/KestrelIni.h"
#include "app/LogChannel.h"
#include "app/LogView.h"
#include "app/ProjectSession.h"
#include "app/QtDispatcher.h"
#include "app/SpeedCombo.h"
#include "app/dialogs/DeviceCapsDialog.h"
#include "app/dialogs/SessionsDialog.h"
#include "app/dialogs/SettingsDialog.h"
#include "burner/device/MountTable.h"

namespace kestrel::app {

namespace {

// Where the start-up error sends the user for help.
constexpr char kSupportAddress[] = "the README of Kestrel";

QPushButton* NewButton(const char* Name, const char* Caption, const char* Hint, QWidget* Parent) {
    auto* button = new QPushButton(QString::fromUtf8(Caption), Parent);
    button->setObjectName(QString::fromUtf8(Name));
    if (Hint) button->setToolTip(QString::fromUtf8(Hint));
    return button;
}

// A terse caption's hint, explained below its first line.
void Explain(QWidget* Control, const char* Explanation) {
    const QString hint = Control->toolTip();
    const QString more = QString::fromUtf8(Explanation);
    Control->setToolTip(hint.isEmpty() ? more : hint + QLatin1Char('\n') + more);
}

QProgressBar* NewBar(const char* Name, const char* Hint, QWidget* Parent) {
    auto* bar = new QProgressBar(Parent);
    bar->setObjectName(QString::fromUtf8(Name));
    if (Hint) bar->setToolTip(QString::fromUtf8(Hint));
    bar->setTextVisible(false);
    bar->setRange(0, 100);
    bar->setValue(0);
    return bar;
}

QHBoxLayout* NewRow(QWidget* Bar) {
    auto* row = new QHBoxLayout(Bar);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(4);
    return row;
}

}  // namespace

TForm1::TForm1(QWidget* Parent)
    : QMainWindow(Parent),
      MountPointOf([](const std::string& Node) { return FindMountPoint(Node); }),
      ini_(std::make_unique<TKestrelIni>()),
      unmounter_(std::make_unique<TDiscUnmounter>()) {
    setWindowTitle(QString::fromUtf8(kWindowCaption));
    driveWorker_ = new TDriveWorker(this);
    driveWorker_->setObjectName(QStringLiteral("DriveWorker"));
    resize(738, 460);
    BuildControls();
    CreateBurner();
    ConnectControls();
    BuildMenus();
    ConnectMeter();
    SetIcons();
    RestoreWindowState();
}

TForm1::~TForm1() {
    discWatcher_->Stop();
    // The drive commands still running use the burner: they end first.
    driveWorker_->Stop();
    // The list empties as it goes; nobody is to hear of that.
    QObject::disconnect(clBox, nullptr, nullptr, nullptr);
    QObject::disconnect(cPathInfo, nullptr, nullptr, nullptr);
    JoinQuickSave();
    // The burner joins its threads on destruction; its last lines and
    // events still find the controls alive.
    kestrel.reset();
}

void TForm1::CreateBurner() {
    kestrel = std::make_unique<TKestrelBurner>();
    kestrel->SetDispatcher(std::make_shared<TQtDispatcher>(this));
    kestrel->DoDebug = true;
    kestrel->UnderrunProtection = true;
    kestrel->FinalizeDisc = false;
    kestrel->TestWrite = false;
    kestrel->ReplaceFile = false;
    kestrel->PerformOPC = true;
    kestrel->WritePostGap = true;
    kestrel->SetCacheSize(8392704);
    kestrel->ISOFileName = (QDir::homePath() + QStringLiteral("/kestrel.iso")).toStdString();
    kestrel->ReadSpeed = 0;

    logChannel_ = new TLogChannel([this](const QString& line, uint8_t type) { Memo1->AppendLine(line, type); }, this);
    kestrel->OnDebugMessage = [this](TDebugLog*, const std::string& message, uint8_t type) {
        if (type != mtInfo && type != mtDevice) {
            std::lock_guard guard(captureLock_);
            if (capture_) capture_->push_back(message);
        }
        kestrelDebugMessage(message, type);
    };
    kestrel->OnFinalizingTrack = [this](TKestrelBurner*) { kestrelFinalizingTrack(); };
    kestrel->OnWriteDone = [this](TKestrelBurner*, const std::string& error) {
        // The quick save raises this on the thread that runs it.
        if (QThread::currentThread() == thread())
            kestrelWriteDone(error);
        else
            QMetaObject::invokeMethod(this, [this, error] { kestrelWriteDone(error); }, Qt::QueuedConnection);
    };
    kestrel->OnEraseDone = [this](TSCSIDevice*, bool withError) {
        // An erase that fails to start reports on the drive worker.
        if (QThread::currentThread() == thread())
            kestrelEraseDone(withError);
        else
            QMetaObject::invokeMethod(this, [this, withError] { kestrelEraseDone(withError); }, Qt::QueuedConnection);
    };
}

void TForm1::BuildControls() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(BuildTopBar());
    layout->addWidget(BuildSecondBar());

    mainSplitter_ = new QSplitter(Qt::Vertical, central);
    mainSplitter_->setObjectName(QStringLiteral("splitLog"));
    panesSplitter_ = new QSplitter(Qt::Horizontal, mainSplitter_);
    panesSplitter_->setObjectName(QStringLiteral("splitPanes"));
    panesSplitter_->addWidget(BuildDiscFilesPane());
    pDrivesDir = new TFileBrowser(panesSplitter_);
    pDrivesDir->setObjectName(QStringLiteral("pDrivesDir"));
    DriveCB = pDrivesDir->DriveCB();
    lbDir = pDrivesDir->DirList();
    lbFiles = pDrivesDir->FileList();
    panesSplitter_->setStretchFactor(0, 3);
    panesSplitter_->setStretchFactor(1, 2);
    Memo1 = new TLogView(mainSplitter_);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    mainSplitter_->setStretchFactor(0, 2);
    mainSplitter_->setStretchFactor(1, 1);
    mainSplitter_->setSizes({240, 120});
    layout->addWidget(mainSplitter_, 1);
    layout->addWidget(BuildStatusBar());
    setCentralWidget(central);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    stopRepeat_ = new QTimer(this);
    stopRepeat_->setInterval(100);
    connect(stopRepeat_, &QTimer::timeout, this, [this] { kestrel->AbortWrite(); });
    ExplorerDragDrop = new TExDragDrop(this);
    ExplorerDragDrop->setObjectName(QStringLiteral("ExplorerDragDrop"));
    ExplorerDragDrop->SetControl(clBox);
    for (QAction* action : {Memo1->ClearAction(), Memo1->CopyAction()}) {
        addAction(action);
        action->setShortcutContext(Qt::WindowShortcut);
    }
    discWatcher_ = new TDiscWatcher(*driveWorker_, this);
    discWatcher_->setObjectName(QStringLiteral("DiscWatcher"));
}

QWidget* TForm1::BuildTopBar() {
    pTop = new QWidget(this);
    pTop->setObjectName(QStringLiteral("pTop"));
    auto* row = NewRow(pTop);
    lDrive = new QLabel(QStringLiteral(" Drive :"), pTop);
    lDrive->setObjectName(QStringLiteral("lDrive"));
    cbDrives = new QComboBox(pTop);
    cbDrives->setObjectName(QStringLiteral("cbDrives"));
    cbDrives->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    cbDrives->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbDrives->setMinimumContentsLength(12);
    bCaps = NewButton("bCaps", "...", "Drive capabilities", pTop);
    bCaps->setMaximumWidth(32);
    cbSpeed = new TSpeedCombo(pTop);
    cbSpeed->setObjectName(QStringLiteral("cbSpeed"));
    cbSpeed->addItem(QStringLiteral("Max"));
    cbSpeed->setCurrentIndex(0);
    cbSpeed->setMinimumContentsLength(12);
    cbSpeed->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    bDisc = NewButton("bDisc", "Disc Info", "Disc & Session information (Extract file from any session)", pTop);
    bAdvance = NewButton("bAdvance", "Advance", nullptr, pTop);
    Explain(bAdvance, "Settings: volume label, file system, closing the disc, importing a session, "
                      "test write, cache size and more");
    bBurn = NewButton("bBurn", "Burn", "Start Burning", pTop);
    QFont bold = bBurn->font();
    bold.setBold(true);
    bBurn->setFont(bold);
    row->addWidget(lDrive);
    row->addWidget(cbDrives, 1);
    row->addWidget(bCaps);
    row->addWidget(cbSpeed);
    row->addWidget(bDisc);
    row->addWidget(bAdvance);
    row->addWidget(bBurn);
    return pTop;
}

QWidget* TForm1::BuildSecondBar() {
    pTop2 = new QWidget(this);
    pTop2->setObjectName(QStringLiteral("pTop2"));
    auto* row = NewRow(pTop2);
    bQErase = NewButton("bQErase", "Q.Erase", "Quick Erase", pTop2);
    bCErase = NewButton("bCErase", "C.Erase", "Full Erase (Normally not required)", pTop2);
    bLoad = NewButton("bLoad", "Load", "Load Medium", pTop2);
    bEject = NewButton("bEject", "Eject", "Eject Medium", pTop2);
    bReady = NewButton("bReady", "Ready", "Is Unit Ready ?", pTop2);
    Explain(bQErase, "Quick erase: blanks a rewritable disc (CD-RW, DVD-RW, DVD+RW) in a minute or two; "
                     "its old files can no longer be read");
    Explain(bCErase, "Complete erase: overwrites the whole rewritable disc, which takes as long as filling it; "
                     "a quick erase is enough to reuse a disc");
    Explain(bReady, "Asks the drive whether a disc is in and ready to use");
    // The link label shows no outside address: the program has none.
    Label1 = new QLabel(pTop2);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (QWidget* w : {static_cast<QWidget*>(bQErase), static_cast<QWidget*>(bCErase), static_cast<QWidget*>(bLoad),
                       static_cast<QWidget*>(bEject), static_cast<QWidget*>(bReady)})
        row->addWidget(w);
    row->addStretch(1);
    row->addWidget(Label1);
    return pTop2;
}

QWidget* TForm1::BuildDiscFilesPane() {
    pDiscFiles = new QWidget(this);
    pDiscFiles->setObjectName(QStringLiteral("pDiscFiles"));
    auto* column = new QVBoxLayout(pDiscFiles);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto* buttons = new QHBoxLayout;
    bSaveISO = NewButton("bSaveISO", "Build .ISO", "Build and Save .ISO Image", pDiscFiles);
    bBurnISO = NewButton("bBurnISO", "Burn .ISO", nullptr, pDiscFiles);
    Explain(bBurnISO, "Writes an existing .iso image file onto the disc");
    cPathInfo = new QCheckBox(QStringLiteral("Save path"), pDiscFiles);
    cPathInfo->setObjectName(QStringLiteral("cPathInfo"));
    cPathInfo->setToolTip(QStringLiteral("Preserve directory structure"));
    Explain(cPathInfo, "Cleared: files, and what is inside folders, go to the root of the disc.\n"
                       "Partly checked: each entry keeps its last folder: /home/me/docs/ gives docs/..., "
                       "/home/me/notes/a.txt gives notes/a.txt.\n"
                       "Checked: each entry keeps its whole path: home/me/docs/...");
    cPathInfo->setTristate(true);
    cPathInfo->setCheckState(Qt::PartiallyChecked);
    bClear = NewButton("bClear", "Clear", nullptr, pDiscFiles);
    Explain(bClear, "Empties the compilation list");
    buttons->addWidget(bSaveISO);
    buttons->addWidget(bBurnISO);
    buttons->addWidget(cPathInfo);
    buttons->addStretch(1);
    buttons->addWidget(bClear);
    column->addLayout(buttons);
    clBox = new TCompilationList(pDiscFiles);
    clBox->setObjectName(QStringLiteral("clBox"));
    listActions_ = new TCompilationActions(this, clBox, [this] { return pDrivesDir->CurrentDirectory(); });
    column->addWidget(listActions_->MakeToolBar(pDiscFiles));
    column->addWidget(clBox, 1);
    fillMeter_ = new TFillMeter(pDiscFiles);
    fillMeter_->setObjectName(QStringLiteral("pFillMeter"));
    column->addWidget(fillMeter_);
    return pDiscFiles;
}

QWidget* TForm1::BuildStatusBar() {
    pbottom = new QWidget(this);
    pbottom->setObjectName(QStringLiteral("pbottom"));
    auto* column = new QVBoxLayout(pbottom);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    lPhase = new QLabel(pbottom);
    lPhase->setObjectName(QStringLiteral("lPhase"));
    lPhase->setContentsMargins(4, 0, 4, 0);
    lPhase->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(lPhase);
    auto* bars = new QWidget(pbottom);
    column->addWidget(bars);
    auto* row = NewRow(bars);
    pcd = NewBar("pcd", nullptr, pbottom);
    lSize = new QLabel(QStringLiteral("Size"), pbottom);
    lSize->setObjectName(QStringLiteral("lSize"));
    lSize->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lSize->setMinimumWidth(150);
    bAbort = NewButton("bAbort", "Abort", "Abort write operation", pbottom);
    QPalette red = bAbort->palette();
    red.setColor(QPalette::ButtonText, Qt::red);
    bAbort->setPalette(red);
    bAbort->setVisible(false);
    // Each gauge says what it measures inside the bar.
    pBuf = NewBar("pBuf", "Software buffer status", pbottom);
    pBuf->setFormat(QStringLiteral("Read cache %p%"));
    pBuf->setTextVisible(true);
    pHBuf = NewBar("pHBuf", "Device buffer status", pbottom);
    pHBuf->setFormat(QStringLiteral("Drive buffer %p%"));
    pHBuf->setTextVisible(true);
    // A range of 0..0 would show Qt's busy animation; empty until a command
    // learns the drive's buffer size.
    pHBuf->setRange(0, 1);
    // Wide enough for their words at any fill.
    for (QProgressBar* gauge : {pBuf, pHBuf}) {
        gauge->setMinimumWidth(gauge->fontMetrics().horizontalAdvance(QStringLiteral("Drive buffer 100%")) + 16);
        gauge->setMaximumWidth(std::max(140, gauge->minimumWidth()));
    }
    lProgress = new QLabel(QStringLiteral(" CD Progress : "), pbottom);
    lProgress->setObjectName(QStringLiteral("lProgress"));
    row->addWidget(lProgress);
    row->addWidget(pcd, 1);
    row->addWidget(lSize);
    row->addWidget(bAbort);
    row->addSpacing(12);
    row->addWidget(new QLabel(QStringLiteral("Buffer : "), pbottom));
    row->addWidget(pBuf);
    row->addWidget(pHBuf);
    return pbottom;
}

void TForm1::ConnectControls() {
    connect(cbDrives, &QComboBox::activated, this, [this] { cbDrivesChange(); });
    cbSpeed->OnDropDown = [this] { cbSpeedDropDown(); };
    connect(bCaps, &QPushButton::clicked, this, &TForm1::bCapsClick);
    connect(bDisc, &QPushButton::clicked, this, &TForm1::bDiscClick);
    connect(bAdvance, &QPushButton::clicked, this, &TForm1::bCDHeaderClick);
    connect(bBurn, &QPushButton::clicked, this, &TForm1::bBurnClick);
    connect(bQErase, &QPushButton::clicked, this, &TForm1::bQEraseClick);
    connect(bCErase, &QPushButton::clicked, this, &TForm1::bCEraseClick);
    connect(bLoad, &QPushButton::clicked, this, &TForm1::bLoadClick);
    connect(bEject, &QPushButton::clicked, this, &TForm1::bEjectClick);
    connect(bReady, &QPushButton::clicked, this, &TForm1::bReadyClick);
    connect(bSaveISO, &QPushButton::clicked, this, &TForm1::bSaveISOClick);
    connect(bBurnISO, &QPushButton::clicked, this, &TForm1::bBurnISOClick);
    connect(bClear, &QPushButton::clicked, this, &TForm1::bClearClick);
    connect(bAbort, &QPushButton::clicked, this, &TForm1::bAbortClick);
    connect(cPathInfo, &QCheckBox::stateChanged, this, [this] { cPathInfoClick(); });
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    // One walk per entry gives the size column and the image estimate.
    clBox->SetMeasureFunction(&MeasureSource);
    clBox->OnBrowserDrop = [this](const QString& source) { clBoxDragDrop(source); };
    connect(pDrivesDir, &TFileBrowser::AddRequested, this, &TForm1::clBoxDragDrop);
    connect(listActions_, &TCompilationActions::SourcesChosen, this, &TForm1::AddSources);
    ExplorerDragDrop->OnDropped = [this](TExDragDrop* sender, int32_t count) { ExplorerDragDropDropped(sender, count); };
}

// ---- Start-up and drive choice -------------------------------------------

void TForm1::showEvent(QShowEvent* Event) {
    QMainWindow::showEvent(Event);
    if (shown_) return;
    shown_ = true;
    FormShow();
}

void TForm1::FormShow() {
    Log(std::string(">>> ") + kWindowCaption);
    kestrel->InitializeASPI(true, std::string());
    aspiOk_ = kestrel->ASPIInitialized();
    if (!aspiOk_) {
        pTop->setEnabled(false);
        pTop2->setEnabled(false);
        bBurnISO->setEnabled(false);
        QMessageBox::critical(this, QString::fromUtf8(kApplicationTitle),
                              QStringLiteral("Error initializing ASPI Layer, Please visit support page, %1 for more information")
                                  .arg(QString::fromUtf8(kSupportAddress)));
        return;
    }
    const std::vector<std::string> devices = kestrel->Devices();
    if (!devices.empty()) {
        for (const std::string& line : devices) cbDrives->addItem(QString::fromStdString(line));
        cbDrives->setCurrentIndex(0);
        cbDrivesChange();
    }
    LoadSettings();
    Log(" ");
    kestrel->SetCloseAfterCommand(true);
    FitDriveBox();
    discWatcher_->Start();
}

void TForm1::cbDrivesChange() {
    const QString entry = cbDrives->currentText();
    kestrel->SelectDevice(entry.toStdString());
    cbDrives->setToolTip(entry);
    discWatcher_->SetDrive(kestrel->HaId, kestrel->Target, kestrel->Lun);
    const std::string letter = kestrel->GetDriveLetter();
    lDrive->setText(letter.empty() ? QStringLiteral("  Drive :")
                                   : QStringLiteral("Drive %1:").arg(QString::fromStdString(letter)));
    UpdateBurnButton();
}

void TForm1::UpdateBurnButton() {
    const uint32_t caps = kestrel->Capabilities();
    bBurn->setEnabled((caps & (cap::WriteCDR | cap::WriteDVDR | cap::WriteDVDRAM)) != 0);
}

// ---- Log -----------------------------------------------------------------

void TForm1::Log(const std::string& Line) { kestrel->DebugMsg(Line, mtFailure); }

void TForm1::kestrelDebugMessage(const std::string& Message, uint8_t Type) {
    logChannel_->Add(QString::fromStdString(Message), Type);
}

void TForm1::kestrelFinalizingTrack() { Log(">>> FINALIZING TRACK"); }

void TForm1::ClearAll1Click() { Memo1->ClearLog(); }

void TForm1::CopyLogToClipboard() { Memo1->CopyAll(); }

// ---- Other windows ---------------------------------------------------------

void TForm1::bCDHeaderClick() {
    auto* dialog = new TfrmSettings(this, *kestrel, Options, SavePathState(), ini_->FileName(), driveWorker_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->exec();
    projects_->Update();
}
void TForm1::bDiscClick() {
    if (OperationRunning() || DriveCommandRunning()) return;
    TfrmSessions dialog(this, *kestrel, *driveWorker_);
    dialog.Fill();
    dialog.exec();
    kestrel->SetCloseAfterCommand(true);
}
void TForm1::bCapsClick() {
    TForm2 dialog(this, *kestrel);
    dialog.exec();
}
void TForm1::Label1Click() {}

// ---- Compilation list ------------------------------------------------------

void TForm1::clBoxDragDrop(const QString& SourceName) {
    if (SourceName == QLatin1String("lbDir")) {
        QString path = lbDir->CurrentDirectory();
        while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
        clBox->AddEntry(JoinPath(path, QString()), true);
    } else if (SourceName == QLatin1String("lbFiles")) {
        for (const QString& path : lbFiles->SelectedPaths()) clBox->AddEntry(path, false);
    }
}

void TForm1::ExplorerDragDropDropped(TExDragDrop* Sender, int32_t ItemsCount) {
    AddSources(Sender->Items().mid(0, ItemsCount));
}

void TForm1::AddSources(const QStringList& Paths) {
    for (const QString& path : Paths) {
        const TListEntry entry = MakeListEntry(path.toStdString());
        clBox->AddEntry(QString::fromStdString(entry.Path), entry.Recursive);
    }
}

void TForm1::bClearClick() {
    clBox->clear();
    // A running write still reads the burner's compilation; it is emptied
    // when the write ends.
    if (!OperationRunning()) kestrel->ClearAll(600000, 20000);
}

TSavePathState TForm1::SavePathState() const {
    switch (cPathInfo->checkState()) {
        case Qt::Checked: return TSavePathState::Checked;
        case Qt::PartiallyChecked: return TSavePathState::Grayed;
        default: return TSavePathState::Unchecked;
    }
}

void TForm1::SetSavePathState(TSavePathState State) {
    const Qt::CheckState check = State == TSavePathState::Checked  ? Qt::Checked
                                 : State == TSavePathState::Grayed ? Qt::PartiallyChecked
                                                                   : Qt::Unchecked;
    cPathInfo->setCheckState(check);
}

// ---- Window state ------------------------------------------------------------

void TForm1::closeEvent(QCloseEvent* Event) {
    if (OperationRunning() || DriveCommandRunning() || (erasing_ && !closeAnyway_)) {
        Event->ignore();
        if (closeWhenDone_) return;  // asked already: the window closes when the job has ended
        const QString why = running_ == TRunning::ImageBuild ? QStringLiteral("An image file is being built.")
                            : OperationRunning()             ? QStringLiteral("A burn is running.")
                            : erasing_                       ? QStringLiteral("The disc is being erased.")
                                                             : QStringLiteral("The drive is busy with a command.");
        if (!AskStopJob(why + QStringLiteral(" Closing the window stops it."))) return;
        if (erasing_ && !OperationRunning() && !DriveCommandRunning()) {
            // An erase goes on in the drive without the window.
            closeAnyway_ = true;
        } else {
            // The window closes once the job has ended; a write stops at the
            // next block, the drive finishes its command.
            closeWhenDone_ = true;
            if (preparing_) cancelPreparation_ = true;
            if (!preparing_) StopWrite();
            return;
        }
    }
    if (!projects_->MaybeSave()) {
        closeAnyway_ = false;
        Event->ignore();
        return;
    }
    SaveWindowState();
    QMainWindow::closeEvent(Event);
}

}  // namespace kestrel::app
