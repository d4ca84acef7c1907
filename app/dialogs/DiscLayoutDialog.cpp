#include "app/dialogs/DiscLayoutDialog.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/DateText.h"
#include "app/dialogs/CompilationTree.h"
#include "burner/iso/Compilation.h"
#include "burner/iso/DateTime.h"

namespace kestrel::app {

QString LayoutDateTime(TDateTime Value, const QLocale& Locale) {
    const TDateParts p = DecodeDateTime(Value);
    return LocalDateTimeText(QDateTime(QDate(p.Year, p.Month, p.Day), QTime(p.Hour, p.Minute, p.Second)), Locale);
}

TfrmDiscLayout::TfrmDiscLayout(QWidget* Parent, TCompilation& Compilation) : QDialog(Parent), kestrel_(Compilation) {
    setObjectName(QStringLiteral("frmDiscLayout"));
    setWindowTitle(QStringLiteral("Remove files or directories"));
    resize(646, 369);
    BuildControls();
    FormShow();
}

QAction* TfrmDiscLayout::NewAction(QWidget* Owner, const char* Name, const char* Caption, QKeySequence Key) {
    auto* action = new QAction(QString::fromUtf8(Caption), Owner);
    action->setObjectName(QString::fromUtf8(Name));
    action->setShortcut(Key);
    action->setShortcutContext(Qt::WidgetShortcut);
    Owner->addAction(action);
    return action;
}

void TfrmDiscLayout::BuildControls() {
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    tvDir = new QTreeWidget(splitter);
    tvDir->setObjectName(QStringLiteral("tvDir"));
    tvDir->setHeaderHidden(true);
    tvDir->setContextMenuPolicy(Qt::ActionsContextMenu);
    fl = new QTableWidget(splitter);
    fl->setObjectName(QStringLiteral("fl"));
    SetUpGrid(fl, {QStringLiteral("File Name"), QStringLiteral("File Size"), QStringLiteral("    Date & Time ")},
              {254, 71, 141});
    fl->setContextMenuPolicy(Qt::ActionsContextMenu);
    splitter->setSizes({145, 501});
    splitter->setStretchFactor(1, 1);

    connect(NewAction(fl, "MenuItem1", "Delete", QKeySequence::Delete), &QAction::triggered, this,
            &TfrmDiscLayout::MenuItem1Click);
    connect(NewAction(fl, "Refresh2", "Refresh", Qt::Key_F5), &QAction::triggered, this,
            &TfrmDiscLayout::Refresh1Click);
    connect(NewAction(tvDir, "Delete1", "Delete", QKeySequence::Delete), &QAction::triggered, this,
            &TfrmDiscLayout::Delete1Click);
    connect(NewAction(tvDir, "Refresh1", "Refresh", Qt::Key_F5), &QAction::triggered, this,
            &TfrmDiscLayout::Refresh1Click);
    connect(tvDir, &QTreeWidget::currentItemChanged, this, [this] { tvdirClick(); });
    fl->installEventFilter(this);
    tvDir->installEventFilter(this);

    bClose = new QPushButton(QStringLiteral("Close"), this);
    bClose->setObjectName(QStringLiteral("bClose"));
    bClose->setAutoDefault(false);
    connect(bClose, &QPushButton::clicked, this, &QDialog::accept);
    auto* bar = new QHBoxLayout;
    bar->addStretch(1);
    bar->addWidget(bClose);
    auto* column = new QVBoxLayout(this);
    column->addWidget(splitter, 1);
    column->addLayout(bar);
}

bool TfrmDiscLayout::eventFilter(QObject* Watched, QEvent* Event) {
    if (Event->type() == QEvent::KeyPress && (Watched == fl || Watched == tvDir)) {
        const int key = static_cast<QKeyEvent*>(Event)->key();
        if (key == Qt::Key_Delete) {
            Watched == fl ? MenuItem1Click() : Delete1Click();
            return true;
        }
        if (key == Qt::Key_F5) {
            Refresh1Click();
            return true;
        }
    }
    return QDialog::eventFilter(Watched, Event);
}

void TfrmDiscLayout::FormShow() {
    const QSignalBlocker quiet(tvDir);
    FillDirTree(tvDir, kestrel_.RootDir);
    tvdirClick();
}

TDEntry* TfrmDiscLayout::SelectedDir() const { return NodeDir(tvDir->currentItem()); }

TFEntry* TfrmDiscLayout::RowEntry(int Row) const {
    return Row >= 0 && Row < static_cast<int>(rows_.size()) ? rows_[Row] : nullptr;
}

void TfrmDiscLayout::tvdirClick() {
    rows_ = DirEntries(SelectedDir());
    std::vector<QStringList> cells;
    for (const TFEntry* entry : rows_) {
        const QString name = QString::fromStdString(entry->LongName);
        cells.push_back(entry->Dir ? QStringList{name, SizeCell(*entry), QString()}
                                   : QStringList{name, SizeCell(*entry), LayoutDateTime(entry->DateTime)});
    }
    SetGridRows(fl, cells);
}

void TfrmDiscLayout::MenuItem1Click() {
    TFEntry* entry = RowEntry(fl->currentRow());
    TDEntry* dir = SelectedDir();
    if (!entry || !dir) return;
    if (entry->Dir) {
        QMessageBox::information(this, windowTitle(),
                                 QStringLiteral("You can not delete directory, %1 is a directory, use tree view to "
                                                "delete directory")
                                     .arg(QString::fromStdString(entry->LongName)));
        return;
    }
    kestrel_.RemoveFile(dir, entry);
    tvdirClick();
}

void TfrmDiscLayout::Delete1Click() {
    TDEntry* dir = SelectedDir();
    if (!dir || dir == kestrel_.RootDir) return;
    kestrel_.RemoveDir(dir);
    Refresh1Click();
}

void TfrmDiscLayout::Refresh1Click() { FormShow(); }

}  // namespace kestrel::app
