#pragma once
// The window's project: which ".kestrel" file the list belongs to, whether
// it changed since it was saved, the File menu's project commands and the
// recently used projects.
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "app/ProjectFile.h"

class QAction;
class QMenu;
class QWidget;

namespace kestrel::app {

// The recently used projects, newest first, kept in a settings file of their own.
class TRecentProjects {
public:
    static constexpr int kMaxFiles = 8;

    explicit TRecentProjects(QString SettingsFile) : file_(std::move(SettingsFile)) {}

    QStringList Files() const;
    void Add(const QString& File);
    void Remove(const QString& File);

private:
    void Store(const QStringList& Files) const;

    QString file_;
};

class TProjectSession : public QObject {
    Q_OBJECT
public:
    // Capture makes a project of what the window holds; Apply puts a
    // project into the window.
    using TCapture = std::function<TProject()>;
    using TApply = std::function<void(const TProject&)>;

    TProjectSession(QWidget* Window, TCapture Capture, TApply Apply, const QString& RecentFile);

    QAction* NewAction() const { return new_; }
    QAction* OpenAction() const { return open_; }
    QAction* SaveAction() const { return save_; }
    QAction* SaveAsAction() const { return saveAs_; }
    QMenu* RecentMenu() const { return recentMenu_; }
    TRecentProjects& Recent() { return recent_; }

    // Each returns false when nothing happened (cancelled or failed; told).
    bool NewProject();
    bool OpenProject();
    bool OpenProject(const QString& File);
    bool Save();
    bool SaveAs();
    bool SaveTo(const QString& File);
    // Asks whether a changed project is to be saved first; false when the
    // user cancelled.
    bool MaybeSave();

    const QString& File() const { return file_; }
    bool Modified() const;
    // The window title: the caption, led by the project's name when there is one.
    QString Title() const;
    // Tells the window again whether the project changed.
    void Update();
    // The same, once the events queued now are handled: many edits in a
    // row (a large drop) compare the project once.
    void UpdateSoon();

signals:
    void TitleChanged(const QString& Title, bool Modified);

private:
    // Opens File without asking about the project open now.
    bool Load(const QString& File);
    void FillRecentMenu();
    void ReportMissing(const TProject& Project);
    void Fail(const QString& What, const QString& File, const TProjectError& Error);

    QWidget* window_;
    TCapture capture_;
    TApply apply_;
    TRecentProjects recent_;
    QString file_;
    std::optional<TProject> saved_;
    QAction* new_;
    QAction* open_;
    QAction* save_;
    QAction* saveAs_;
    QMenu* recentMenu_;
    bool updateQueued_ = false;
};

}  // namespace kestrel::app
