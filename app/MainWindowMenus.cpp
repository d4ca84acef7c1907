// The main window's menus, icons and projects: File (projects and Quit),
// Compilation (adding and removing entries) and View (hidden files, device
// commands, Refresh), the desktop's icons on the main buttons, and moving
// the list and its options into and out of a project.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLayout>
#include <QListView>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

#include "app/AppIcons.h"
#include "app/CompilationActions.h"
#include "app/CompilationList.h"
#include "app/DiscWatcher.h"
#include "app/FileBrowser.h"
#include "app/LogView.h"
#include "app/MainWindow.h"
#include "app/ProjectSession.h"

namespace kestrel::app {

namespace {

void SetIcon(QPushButton* Button, const char* Theme, QStyle::StandardPixmap Fallback) {
    Button->setIcon(ThemeIcon(Theme, Fallback));
}

// Extra room beside the text of a drop-down list: its arrow and frame.
constexpr int kDropDownChrome = 48;
// Longer drive lines than this are cut in the box (the list and the hint show them whole).
constexpr int kLongestDriveLine = 64;

}  // namespace

void TForm1::BuildMenus() {
    ConnectProjects();
    quitAction_ = new QAction(ThemeIcon("application-exit", QStyle::SP_DialogCloseButton), QStringLiteral("&Quit"), this);
    quitAction_->setObjectName(QStringLiteral("Quit"));
    quitAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quitAction_->setShortcutContext(Qt::WindowShortcut);
    connect(quitAction_, &QAction::triggered, this, &QWidget::close);

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("FileMenu"));
    file->addAction(projects_->NewAction());
    file->addAction(projects_->OpenAction());
    file->addMenu(projects_->RecentMenu());
    file->addAction(projects_->SaveAction());
    file->addAction(projects_->SaveAsAction());
    file->addSeparator();
    file->addAction(quitAction_);

    QMenu* compilation = menuBar()->addMenu(QStringLiteral("&Compilation"));
    compilation->setObjectName(QStringLiteral("CompilationMenu"));
    compilation->addAction(listActions_->AddFilesAction());
    compilation->addAction(listActions_->AddFolderAction());
    compilation->addAction(clBox->RemoveAction());

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("ViewMenu"));
    view->addAction(pDrivesDir->ShowHiddenAction());
    view->addAction(Memo1->ShowDeviceAction());
    view->addSeparator();
    view->addAction(pDrivesDir->RefreshAction());
    // The menu bar's actions are the window's: their keys work wherever the focus is.
    for (QAction* action : {pDrivesDir->ShowHiddenAction(), pDrivesDir->RefreshAction(), quitAction_}) addAction(action);
    connect(pDrivesDir->RefreshAction(), &QAction::triggered, discWatcher_, &TDiscWatcher::Refresh);
}

void TForm1::SetIcons() {
    SetIcon(bBurn, "media-optical-burn", QStyle::SP_DriveDVDIcon);
    SetIcon(bDisc, "media-optical", QStyle::SP_DriveCDIcon);
    SetIcon(bAdvance, "preferences-system", QStyle::SP_FileDialogDetailedView);
    SetIcon(bQErase, "edit-clear", QStyle::SP_TrashIcon);
    SetIcon(bCErase, "edit-delete", QStyle::SP_TrashIcon);
    SetIcon(bLoad, "go-down", QStyle::SP_ArrowDown);
    SetIcon(bEject, "media-eject", QStyle::SP_ArrowUp);
    SetIcon(bReady, "dialog-question", QStyle::SP_MessageBoxQuestion);
    SetIcon(bSaveISO, "document-save", QStyle::SP_DialogSaveButton);
    SetIcon(bBurnISO, "media-optical-burn", QStyle::SP_DriveCDIcon);
    SetIcon(bClear, "edit-clear-all", QStyle::SP_DialogResetButton);
    SetIcon(bAbort, "process-stop", QStyle::SP_BrowserStop);
}

// The drive box is wide enough for each drive's whole line, and its list
// opens as wide as the longest; the window grows to fit when it must.
void TForm1::FitDriveBox() {
    int widest = 0;
    for (int i = 0; i < cbDrives->count(); ++i)
        widest = std::max(widest, cbDrives->fontMetrics().horizontalAdvance(cbDrives->itemText(i)));
    const int cap = cbDrives->fontMetrics().horizontalAdvance(QString(kLongestDriveLine, QLatin1Char('M')));
    cbDrives->view()->setMinimumWidth(widest + kDropDownChrome);
    cbDrives->setMinimumWidth(std::min(widest, cap) + kDropDownChrome);
    // Applied now, so the window has its final size once it is shown.
    centralWidget()->layout()->activate();
    layout()->activate();
}

// ---- Projects ------------------------------------------------------------------------------

void TForm1::ConnectProjects() {
    projects_ = new TProjectSession(
        this, [this] { return CaptureProject(); }, [this](const TProject& project) { ApplyProject(project); },
        StateFile());
    connect(projects_, &TProjectSession::TitleChanged, this, [this](const QString& title, bool modified) {
        setWindowTitle(title);
        setWindowModified(modified);
    });
    connect(clBox, &TCompilationList::Edited, projects_, &TProjectSession::UpdateSoon);
    connect(cPathInfo, &QCheckBox::stateChanged, projects_, &TProjectSession::UpdateSoon);
}

TProject TForm1::CaptureProject() const {
    TProject project;
    project.Entries = clBox->Entries();
    TProjectOptions& o = project.Options;
    o.SavePath = SavePathState();
    o.VolumeLabel = kestrel->IdVolume;
    o.JolietFS = kestrel->JolietFileSystem;
    o.Bootable = kestrel->Bootable;
    o.BootImage = kestrel->BootImageFile;
    o.BootNoEmulation = kestrel->BootNoEmulation;
    o.BootLoadSize = kestrel->BootLoadSize;
    o.BootInfoTable = kestrel->BootInfoTable;
    o.UefiBoot = kestrel->EfiBootable;
    o.UefiBootImage = kestrel->EfiBootImageFile;
    o.CloseDisc = kestrel->FinalizeDisc;
    o.ArchiveFiles = Options.ArchiveFiles;
    o.ImportSession = Options.ImportSession;
    o.SessionNo = Options.SessionNo;
    return project;
}

void TForm1::ApplyProject(const TProject& Project) {
    const TProjectOptions& o = Project.Options;
    kestrel->IdVolume = o.VolumeLabel;
    kestrel->JolietFileSystem = o.JolietFS;
    kestrel->Bootable = o.Bootable;
    kestrel->BootImageFile = o.BootImage;
    kestrel->BootNoEmulation = o.BootNoEmulation;
    kestrel->BootLoadSize = o.BootLoadSize;
    kestrel->BootInfoTable = o.BootInfoTable;
    kestrel->EfiBootable = o.UefiBoot;
    kestrel->EfiBootImageFile = o.UefiBootImage;
    kestrel->FinalizeDisc = o.CloseDisc;
    Options.ArchiveFiles = o.ArchiveFiles;
    Options.ImportSession = o.ImportSession;
    Options.SessionNo = o.ImportSession ? static_cast<int8_t>(o.SessionNo) : int8_t{0};
    // The list only: a running write keeps the burner's compilation.
    clBox->clear();
    for (const TListEntry& entry : Project.Entries) clBox->AddEntry(QString::fromStdString(entry.Path), entry.Recursive);
    SetSavePathState(o.SavePath);
}

void TForm1::SetProjectCommandsEnabled(bool Enabled) {
    // A running write reads the options a project would change.
    for (QAction* action : {projects_->NewAction(), projects_->OpenAction()}) action->setEnabled(Enabled);
    projects_->RecentMenu()->setEnabled(Enabled);
}

void TForm1::OpenArguments(const QStringList& Arguments) {
    QStringList sources;
    bool opened = false;
    for (const QString& argument : Arguments) {
        const bool project = argument.endsWith(QStringLiteral(".") + QString::fromUtf8(kProjectSuffix)) &&
                             QFileInfo(argument).isFile();
        if (project && !opened)
            opened = projects_->OpenProject(argument);
        else
            sources.append(argument);
    }
    AddSources(sources);
}

}  // namespace kestrel::app
