#include "app/dialogs/TreeViewDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSet>
#include <QSplitter>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <exception>

#include "app/dialogs/CompilationTree.h"
#include "app/dialogs/ExtractTarget.h"
#include "burner/engine/KestrelBurner.h"

namespace kestrel::app {

void TStatusBarLabel::mousePressEvent(QMouseEvent* Event) {
    QLabel::mousePressEvent(Event);
    if (Event->button() == Qt::LeftButton) emit clicked();
}

TfrmTree::TfrmTree(QWidget* Parent, TKestrelBurner& Burner, QString& Folder)
    : QDialog(Parent), kestrel_(Burner), folder_(Folder) {
    setObjectName(QStringLiteral("frmTree"));
    setWindowTitle(QStringLiteral("File and Directories Viewer and Extractor (Double Click on a file name to extract)"));
    resize(625, 369);
    BuildControls();
}

void TfrmTree::BuildControls() {
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    tvDir = new QTreeWidget(splitter);
    tvDir->setObjectName(QStringLiteral("tvDir"));
    tvDir->setHeaderHidden(true);
    fl = new QTableWidget(splitter);
    fl->setObjectName(QStringLiteral("fl"));
    SetUpGrid(fl, {QStringLiteral("File Name"), QStringLiteral("File Size")}, {361, 71});
    fl->setToolTip(QStringLiteral("Double click on a file name to extract"));
    splitter->setSizes({150, 475});
    splitter->setStretchFactor(1, 1);
    Msg = new TStatusBarLabel(this);
    Msg->setObjectName(QStringLiteral("Msg"));
    Msg->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Msg->setMinimumHeight(20);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(2, 2, 2, 2);
    column->addWidget(splitter, 1);
    column->addWidget(Msg);

    connect(tvDir, &QTreeWidget::currentItemChanged, this, [this] { tvdirClick(); });
    connect(fl, &QTableWidget::cellDoubleClicked, this, [this] { Extract1Click(); });
    connect(Msg, &TStatusBarLabel::clicked, this, &TfrmTree::MsgClick);
}

void TfrmTree::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    if (shown_) return;
    shown_ = true;
    FormShow();
}

void TfrmTree::FormShow() {
    const QSignalBlocker quiet(tvDir);
    FillDirTree(tvDir, kestrel_.RootDir);
    tvdirClick();
}

void TfrmTree::tvdirClick() {
    rows_ = DirEntries(NodeDir(tvDir->currentItem()));
    std::vector<QStringList> cells;
    for (size_t r = 0; r < rows_.size(); ++r)
        cells.push_back({QStringLiteral("%1 ").arg(r + 1, 2) + QString::fromStdString(rows_[r]->LongName),
                         SizeCell(*rows_[r])});
    SetGridRows(fl, cells);
}

TFEntry* TfrmTree::RowEntry(int Row) const {
    return Row >= 0 && Row < static_cast<int>(rows_.size()) ? rows_[Row] : nullptr;
}

void TfrmTree::Log(const std::string& Line) { kestrel_.DebugMsg(Line, mtFailure); }

QString TfrmTree::FolderForNames() const { return folder_.isEmpty() ? DefaultExtractFolder() : folder_; }

QString TfrmTree::ChooseFolder() {
    if (!folder_.isEmpty()) return folder_;
    QFileDialog chooser(this, QStringLiteral("Extract all files to"), DefaultExtractFolder());
    chooser.setObjectName(QStringLiteral("dlgFolder"));
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly);
    if (chooser.exec() == QDialog::Accepted && !chooser.selectedFiles().isEmpty())
        folder_ = chooser.selectedFiles().first();
    return folder_;
}

bool TfrmTree::Extract(const TFEntry& Entry, const QString& Path, bool Replace) {
    try {
        return kestrel_.ExtractFile(&Entry, Path.toStdString(), Replace);
    } catch (const std::exception& e) {
        Log(">>> ERROR EXTRACTING FILE " + Entry.LongName + ": " + e.what());
        return false;
    }
}

void TfrmTree::Extract1Click() {
    const TFEntry* entry = RowEntry(fl->currentRow());
    if (!entry) return;
    if (entry->Dir) {
        QMessageBox::information(this, windowTitle(),
                                 QStringLiteral("You can not extract directory, %1 is a directory")
                                     .arg(QString::fromStdString(entry->LongName)));
        return;
    }
    const std::optional<QString> name = SafeLocalName(*entry);
    bool ok = false;
    const QString typed = QInputDialog::getText(this, QStringLiteral("Extract File"),
                                                QStringLiteral("Enter Filename and Path"), QLineEdit::Normal,
                                                name.value_or(QString()), &ok);
    if (!ok || typed.trimmed().isEmpty()) return;
    const QString path = ResolveInFolder(FolderForNames(), typed);
    bool replace = false;
    if (LocalPathTaken(path)) {
        const auto answer = QMessageBox::question(this, QStringLiteral("Extract File"),
                                                  QStringLiteral("%1 already exists. Replace it?").arg(path),
                                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) return;
        replace = true;
    }
    Extract(*entry, path, replace);
}

void TfrmTree::MsgClick() {
    std::vector<std::pair<const TFEntry*, QString>> targets;
    for (const TFEntry* entry : rows_) {
        if (!entry || entry->Dir) continue;
        if (const auto name = SafeLocalName(*entry))
            targets.emplace_back(entry, *name);
        else
            Log(">>> SKIPPING A FILE WHOSE NAME CANNOT BE A LOCAL FILE NAME: " + entry->LongName);
    }
    if (targets.empty()) return;
    const QString folder = ChooseFolder();
    if (folder.isEmpty()) return;

    QStringList taken;
    for (const auto& [entry, name] : targets)
        if (LocalPathTaken(QDir(folder).filePath(name))) taken << name;
    bool replace = false;
    if (!taken.isEmpty()) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Extract Files"),
                        QStringLiteral("%1 of these files already exist in %2:\n%3\n\nReplace them, skip them, or "
                                       "cancel?")
                            .arg(taken.size())
                            .arg(folder, taken.mid(0, 10).join(QLatin1Char('\n'))),
                        QMessageBox::YesToAll | QMessageBox::NoToAll | QMessageBox::Cancel, this);
        box.button(QMessageBox::YesToAll)->setText(QStringLiteral("Replace"));
        box.button(QMessageBox::NoToAll)->setText(QStringLiteral("Skip"));
        box.setDefaultButton(QMessageBox::Cancel);
        const int answer = box.exec();
        if (answer == QMessageBox::Cancel) return;
        replace = answer == QMessageBox::YesToAll;
    }
    QSet<QString> written;
    for (const auto& [entry, name] : targets) {
        const QString path = QDir(folder).filePath(name);
        if (!replace && taken.contains(name)) continue;
        // Two disc names made safe the same way must not replace each other.
        if (written.contains(name)) {
            Log(">>> SKIPPING " + entry->LongName + ": ANOTHER FILE OF THIS DIRECTORY WENT TO " + name.toStdString());
            continue;
        }
        written.insert(name);
        Msg->setText(QStringLiteral("Extracting ") + QString::fromStdString(entry->LongName));
        Msg->repaint();
        Extract(*entry, path, replace);
    }
}

}  // namespace kestrel::app
