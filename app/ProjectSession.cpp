#include "app/ProjectSession.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

#include <filesystem>

#include "app/AppIcons.h"
#include "app/AppTitle.h"

namespace kestrel::app {

namespace {

constexpr char kRecentKey[] = "Projects/Recent";
const QString kFilter = QStringLiteral("Kestrel projects (*.kestrel)");

bool SameProject(const TProject& A, const TProject& B) {
    if (!(A.Options == B.Options) || A.Entries.size() != B.Entries.size()) return false;
    for (size_t i = 0; i < A.Entries.size(); ++i)
        if (A.Entries[i].Path != B.Entries[i].Path || A.Entries[i].Recursive != B.Entries[i].Recursive) return false;
    return true;
}

bool SourceExists(const std::string& Path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(Path, ec));
}

QAction* MakeAction(QObject* Owner, const char* Name, const QString& Caption, const QIcon& Icon,
                   QKeySequence::StandardKey Key) {
    auto* action = new QAction(Icon, Caption, Owner);
    action->setObjectName(QString::fromUtf8(Name));
    action->setShortcut(Key);
    return action;
}

}  // namespace

// ---- Recent projects ---------------------------------------------------------------

QStringList TRecentProjects::Files() const { return QSettings(file_, QSettings::IniFormat).value(kRecentKey).toStringList(); }

void TRecentProjects::Store(const QStringList& Files) const {
    QSettings settings(file_, QSettings::IniFormat);
    settings.setValue(kRecentKey, Files);
}

void TRecentProjects::Add(const QString& File) {
    QStringList files = Files();
    files.removeAll(File);
    files.prepend(File);
    Store(files.mid(0, kMaxFiles));
}

void TRecentProjects::Remove(const QString& File) {
    QStringList files = Files();
    if (files.removeAll(File) > 0) Store(files);
}

// ---- The session -------------------------------------------------------------------------

TProjectSession::TProjectSession(QWidget* Window, TCapture Capture, TApply Apply, const QString& RecentFile)
    : QObject(Window), window_(Window), capture_(std::move(Capture)), apply_(std::move(Apply)), recent_(RecentFile) {
    new_ = MakeAction(this, "ProjectNew", QStringLiteral("&New Project"),
                     ThemeIcon("document-new", QStyle::SP_FileIcon), QKeySequence::New);
    open_ = MakeAction(this, "ProjectOpen", QStringLiteral("&Open Project\u2026"),
                      ThemeIcon("document-open", QStyle::SP_DialogOpenButton), QKeySequence::Open);
    save_ = MakeAction(this, "ProjectSave", QStringLiteral("&Save Project"),
                      ThemeIcon("document-save", QStyle::SP_DialogSaveButton), QKeySequence::Save);
    saveAs_ = MakeAction(this, "ProjectSaveAs", QStringLiteral("Save Project &As\u2026"),
                        ThemeIcon("document-save-as", QStyle::SP_DialogSaveButton), QKeySequence::SaveAs);
    recentMenu_ = new QMenu(QStringLiteral("Open &Recent"), Window);
    recentMenu_->setObjectName(QStringLiteral("RecentProjects"));
    connect(new_, &QAction::triggered, this, [this] { NewProject(); });
    connect(open_, &QAction::triggered, this, [this] { OpenProject(); });
    connect(save_, &QAction::triggered, this, [this] { Save(); });
    connect(saveAs_, &QAction::triggered, this, [this] { SaveAs(); });
    connect(recentMenu_, &QMenu::aboutToShow, this, &TProjectSession::FillRecentMenu);
}

bool TProjectSession::Modified() const { return saved_ && !SameProject(*saved_, capture_()); }

QString TProjectSession::Title() const {
    return file_.isEmpty() ? QString::fromUtf8(kWindowCaption)
                           : QStringLiteral("%1[*] \u2014 %2").arg(QFileInfo(file_).fileName(),
                                                                  QString::fromUtf8(kWindowCaption));
}

void TProjectSession::Update() {
    updateQueued_ = false;
    emit TitleChanged(Title(), Modified());
}

void TProjectSession::UpdateSoon() {
    if (updateQueued_) return;
    updateQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        if (updateQueued_) Update();
    });
}

bool TProjectSession::NewProject() {
    if (!MaybeSave()) return false;
    TProject empty = capture_();
    empty.Entries.clear();
    apply_(empty);
    file_.clear();
    saved_.reset();
    Update();
    return true;
}

bool TProjectSession::OpenProject() {
    if (!MaybeSave()) return false;
    QFileDialog chooser(window_, QStringLiteral("Open Project"),
                        file_.isEmpty() ? QString() : QFileInfo(file_).path(), kFilter);
    chooser.setObjectName(QStringLiteral("dlgOpenProject"));
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setNameFilters({kFilter, QStringLiteral("All files (*)")});
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return false;
    return Load(chooser.selectedFiles().first());
}

bool TProjectSession::OpenProject(const QString& File) { return MaybeSave() && Load(File); }

bool TProjectSession::Load(const QString& File) {
    TProject project;
    try {
        project = LoadProjectFile(File.toStdString());
    } catch (const TProjectError& e) {
        if (!QFileInfo::exists(File)) recent_.Remove(File);
        Fail(QStringLiteral("Open Project"), File, e);
        return false;
    }
    apply_(project);
    file_ = QFileInfo(File).absoluteFilePath();
    saved_ = capture_();
    recent_.Add(file_);
    Update();
    ReportMissing(project);
    return true;
}

bool TProjectSession::Save() { return file_.isEmpty() ? SaveAs() : SaveTo(file_); }

bool TProjectSession::SaveAs() {
    QFileDialog chooser(window_, QStringLiteral("Save Project"), file_, kFilter);
    chooser.setObjectName(QStringLiteral("dlgSaveProject"));
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    chooser.setFileMode(QFileDialog::AnyFile);
    chooser.setDefaultSuffix(QString::fromUtf8(kProjectSuffix));
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return false;
    return SaveTo(chooser.selectedFiles().first());
}

bool TProjectSession::SaveTo(const QString& File) {
    const TProject project = capture_();
    try {
        SaveProjectFile(File.toStdString(), project);
    } catch (const TProjectError& e) {
        Fail(QStringLiteral("Save Project"), File, e);
        return false;
    }
    file_ = QFileInfo(File).absoluteFilePath();
    saved_ = project;
    recent_.Add(file_);
    Update();
    return true;
}

bool TProjectSession::MaybeSave() {
    if (!Modified()) return true;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Save Project"),
                    QStringLiteral("The project \"%1\" has changed. Save it?").arg(QFileInfo(file_).fileName()),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, window_);
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
        case QMessageBox::Save: return Save();
        case QMessageBox::Discard: return true;
        default: return false;
    }
}

void TProjectSession::FillRecentMenu() {
    recentMenu_->clear();
    const QStringList files = recent_.Files();
    for (int i = 0; i < files.size(); ++i) {
        const QString file = files[i];
        QAction* action = recentMenu_->addAction(
            QStringLiteral("&%1  %2  (%3)").arg(i + 1).arg(QFileInfo(file).fileName(), QFileInfo(file).path()));
        connect(action, &QAction::triggered, this, [this, file] { OpenProject(file); });
    }
    if (files.isEmpty()) recentMenu_->addAction(QStringLiteral("No recent projects"))->setEnabled(false);
}

void TProjectSession::ReportMissing(const TProject& Project) {
    QStringList missing;
    for (const TListEntry& entry : Project.Entries)
        if (!SourceExists(entry.Path)) missing.append(QString::fromStdString(entry.Path));
    if (missing.isEmpty()) return;
    QMessageBox::warning(window_, QStringLiteral("Open Project"),
                         QStringLiteral("These sources of the project are not there now:\n%1\n\nThey stay in the "
                                        "list, marked in red, until you remove them or they are back (a disc or a "
                                        "share that is not mounted, say).")
                             .arg(missing.join(QLatin1Char('\n'))));
}

void TProjectSession::Fail(const QString& What, const QString& File, const TProjectError& Error) {
    QString reason = QString::fromStdString(Error.what());
    if (Error.Line() > 0) reason += QStringLiteral(" (line %1)").arg(Error.Line());
    QMessageBox::critical(window_, What, QStringLiteral("\"%1\": %2").arg(File, reason));
}

}  // namespace kestrel::app
