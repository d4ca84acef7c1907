#include "app/dialogs/TreeViewDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QSplitter>
#include <QTableWidget>
#include <QTreeWidget>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <exception>

#include "app/DriveWorker.h"
#include "app/dialogs/CompilationTree.h"
#include "app/dialogs/ExtractTarget.h"
#include "burner/engine/KestrelBurner.h"

namespace kestrel::app {

void TStatusBarLabel::mousePressEvent(QMouseEvent* Event) {
    QLabel::mousePressEvent(Event);
    if (Event->button() == Qt::LeftButton) emit clicked();
}

namespace {

// How often the progress of a copy is shown.
constexpr int kProgressMs = 100;

}  // namespace

TfrmTree::TfrmTree(QWidget* Parent, TKestrelBurner& Burner, TDriveWorker& Worker, QString& Folder)
    : QDialog(Parent), kestrel_(Burner), worker_(Worker), folder_(Folder) {
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
    pExtract = new QProgressBar(this);
    pExtract->setObjectName(QStringLiteral("pExtract"));
    pExtract->setRange(0, 100);
    pExtract->setMaximumWidth(160);
    pExtract->setVisible(false);
    bCancel = new QPushButton(QStringLiteral("Cancel"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setToolTip(QStringLiteral("Stop extracting; the file being copied is not kept"));
    bCancel->setAutoDefault(false);
    bCancel->setVisible(false);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(Msg, 1);
    bottom->addWidget(pExtract);
    bottom->addWidget(bCancel);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(2, 2, 2, 2);
    column->addWidget(splitter, 1);
    column->addLayout(bottom);
    progressTimer_.setInterval(kProgressMs);
    connect(&progressTimer_, &QTimer::timeout, this, &TfrmTree::ShowExtractProgress);
    connect(bCancel, &QPushButton::clicked, this, &TfrmTree::CancelExtraction);

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

void TfrmTree::Extract1Click() {
    if (extracting_) return;
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
    StartExtraction({{entry, path, replace}});
}

void TfrmTree::MsgClick() {
    if (extracting_) return;
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
    std::vector<TCopy> copies;
    for (const auto& [entry, name] : targets) {
        const QString path = QDir(folder).filePath(name);
        if (!replace && taken.contains(name)) continue;
        // Two disc names made safe the same way must not replace each other.
        if (written.contains(name)) {
            Log(">>> SKIPPING " + entry->LongName + ": ANOTHER FILE OF THIS DIRECTORY WENT TO " + name.toStdString());
            continue;
        }
        written.insert(name);
        copies.push_back({entry, path, replace});
    }
    StartExtraction(std::move(copies));
}

// ---- Copying on the drive worker ----------------------------------------------

void TfrmTree::StartExtraction(std::vector<TCopy> Copies) {
    if (Copies.empty()) return;
    extracting_ = true;
    copy_ = std::make_shared<TCopyProgress>();
    tvDir->setEnabled(false);
    fl->setEnabled(false);
    pExtract->setValue(0);
    pExtract->setVisible(true);
    bCancel->setVisible(true);
    bCancel->setEnabled(true);
    progressTimer_.start();
    worker_.Run(
        [&burner = kestrel_, copy = copy_, Copies = std::move(Copies)] {
            burner.OnExtractProgress = [copy](uint64_t Copied, uint64_t Size) {
                copy->Copied = Copied;
                copy->Size = Size;
                return !copy->Cancel;
            };
            for (const TCopy& item : Copies) {
                if (copy->Cancel) break;
                {
                    std::lock_guard guard(copy->Lock);
                    copy->Name = QString::fromStdString(item.Entry->LongName);
                }
                copy->Copied = 0;
                copy->Size = static_cast<uint64_t>(std::max<int64_t>(item.Entry->ISOSize, 0));
                try {
                    (void)burner.ExtractFile(item.Entry, item.Path.toStdString(), item.Replace);
                } catch (const std::exception& e) {
                    burner.DebugMsg(">>> ERROR EXTRACTING FILE " + item.Entry->LongName + ": " + e.what(), mtFailure);
                }
            }
            burner.OnExtractProgress = nullptr;
            return bool(copy->Cancel);
        },
        [self = QPointer<TfrmTree>(this)](bool cancelled) {
            if (self) self->ExtractionDone(cancelled);
        });
    ShowExtractProgress();
}

void TfrmTree::ShowExtractProgress() {
    if (!copy_) return;
    const uint64_t size = copy_->Size, copied = copy_->Copied;
    pExtract->setValue(size == 0 ? 0 : int(copied * 100 / size));
    std::lock_guard guard(copy_->Lock);
    if (!copy_->Name.isEmpty()) Msg->setText(QStringLiteral("Extracting ") + copy_->Name);
}

void TfrmTree::CancelExtraction() {
    if (!copy_) return;
    copy_->Cancel = true;
    bCancel->setEnabled(false);
}

void TfrmTree::ExtractionDone(bool Cancelled) {
    progressTimer_.stop();
    ShowExtractProgress();
    if (Cancelled) Msg->setText(QStringLiteral("Extraction cancelled: the file being copied was not kept"));
    copy_.reset();
    extracting_ = false;
    tvDir->setEnabled(true);
    fl->setEnabled(true);
    pExtract->setVisible(false);
    bCancel->setVisible(false);
    if (closeWhenDone_) QDialog::reject();
}

// Esc and the close box: a running extraction is stopped first, after asking.
void TfrmTree::reject() {
    if (!extracting_) {
        QDialog::reject();
        return;
    }
    const auto answer = QMessageBox::question(this, windowTitle(),
                                              QStringLiteral("Files are being extracted. Stop and close?"),
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) return;
    if (!extracting_) {
        QDialog::reject();
        return;
    }
    closeWhenDone_ = true;
    CancelExtraction();
}

}  // namespace kestrel::app
