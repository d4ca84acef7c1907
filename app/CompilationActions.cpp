#include "app/CompilationActions.h"

#include <QAction>
#include <QFileDialog>
#include <QToolBar>

#include "app/AppIcons.h"
#include "app/CompilationList.h"

namespace kestrel::app {

TCompilationActions::TCompilationActions(QWidget* Window, TCompilationList* List, TStartFolder StartFolder)
    : QObject(Window), window_(Window), list_(List), startFolder_(std::move(StartFolder)) {
    addFiles_ = new QAction(ThemeIcon("document-open", QStyle::SP_FileIcon), QStringLiteral("Add files\u2026"), this);
    addFiles_->setObjectName(QStringLiteral("AddFiles"));
    addFiles_->setToolTip(QStringLiteral("Choose files to add to the compilation"));
    addFolder_ = new QAction(ThemeIcon("folder", QStyle::SP_DirIcon), QStringLiteral("Add folder\u2026"), this);
    addFolder_->setObjectName(QStringLiteral("AddFolder"));
    addFolder_->setToolTip(QStringLiteral("Choose a folder to add to the compilation, with everything below it"));
    QAction* remove = list_->RemoveAction();
    remove->setIcon(ThemeIcon("list-remove", QStyle::SP_DialogDiscardButton));
    remove->setToolTip(QStringLiteral("Take the selected entries out of the compilation (Del)"));
    connect(addFiles_, &QAction::triggered, this, &TCompilationActions::AddFilesClick);
    connect(addFolder_, &QAction::triggered, this, &TCompilationActions::AddFolderClick);
    list_->SetMenuActions({addFiles_, addFolder_});
}

QToolBar* TCompilationActions::MakeToolBar(QWidget* Parent) {
    auto* bar = new QToolBar(Parent);
    bar->setObjectName(QStringLiteral("tbList"));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setIconSize(QSize(16, 16));
    bar->addAction(addFiles_);
    bar->addAction(addFolder_);
    bar->addAction(list_->RemoveAction());
    return bar;
}

void TCompilationActions::AddFilesClick() {
    QFileDialog chooser(window_, QStringLiteral("Add files"), startFolder_ ? startFolder_() : QString());
    chooser.setObjectName(QStringLiteral("dlgAddFiles"));
    chooser.setFileMode(QFileDialog::ExistingFiles);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return;
    emit SourcesChosen(chooser.selectedFiles());
}

void TCompilationActions::AddFolderClick() {
    QFileDialog chooser(window_, QStringLiteral("Add folder"), startFolder_ ? startFolder_() : QString());
    chooser.setObjectName(QStringLiteral("dlgAddFolder"));
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return;
    emit SourcesChosen(chooser.selectedFiles());
}

}  // namespace kestrel::app
