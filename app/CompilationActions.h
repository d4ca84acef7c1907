#pragma once
// Adding to the compilation list without dragging: "Add files…" and "Add
// folder…" open the desktop's file dialogs (starting in the folder the
// browser shows), and together with the list's "Remove" they form the small
// tool bar above the list and the top of its context menu.
#include <QObject>
#include <QStringList>

#include <functional>

class QAction;
class QToolBar;
class QWidget;

namespace kestrel::app {

class TCompilationList;

class TCompilationActions : public QObject {
    Q_OBJECT
public:
    using TStartFolder = std::function<QString()>;

    TCompilationActions(QWidget* Window, TCompilationList* List, TStartFolder StartFolder);

    QAction* AddFilesAction() const { return addFiles_; }
    QAction* AddFolderAction() const { return addFolder_; }
    // The row above the list: Add files…, Add folder…, Remove.
    QToolBar* MakeToolBar(QWidget* Parent);

    void AddFilesClick();
    void AddFolderClick();

signals:
    // Paths the user chose, to be added as if dropped from a file manager.
    void SourcesChosen(const QStringList& Paths);

private:
    QWidget* window_;
    TCompilationList* list_;
    TStartFolder startFolder_;
    QAction* addFiles_;
    QAction* addFolder_;
};

}  // namespace kestrel::app
