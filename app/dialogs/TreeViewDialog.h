#pragma once
// "File and Directories Viewer and Extractor": the tree of the session the
// burner imported last, the entries of the selected directory, and copying
// files from the disc: one file by a double click, every file of the
// directory by a click on the status bar.
#include <QDialog>
#include <QLabel>
#include <QTimer>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "burner/iso/Entries.h"

class QProgressBar;
class QPushButton;
class QTableWidget;
class QTreeWidget;

namespace kestrel {
class TKestrelBurner;
}

namespace kestrel::app {

class TDriveWorker;

// A status bar that reports a click.
class TStatusBarLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* Event) override;
};

class TfrmTree : public QDialog {
    Q_OBJECT
public:
    // Folder is where extracted files go; empty until the user chose it.
    // Files are copied on Worker, with progress and Cancel.
    TfrmTree(QWidget* Parent, TKestrelBurner& Burner, TDriveWorker& Worker, QString& Folder);

    void FormShow();
    void tvdirClick();
    void Extract1Click();
    void MsgClick();

    // The entry of a grid row (0 = the first row below the header); null
    // for the blank row of an empty directory.
    TFEntry* RowEntry(int Row) const;

    // Stops the running extraction: the file being copied is not kept.
    void CancelExtraction();
    // True while files are being copied.
    bool Extracting() const { return extracting_; }

    QTreeWidget* tvDir;
    QTableWidget* fl;
    TStatusBarLabel* Msg;
    QProgressBar* pExtract;   // the bytes copied of the file being copied
    QPushButton* bCancel;     // stops the extraction

protected:
    void showEvent(QShowEvent* Event) override;
    void reject() override;

private:
    // One file to copy: the entry, the local path, whether it may replace a file.
    struct TCopy {
        const TFEntry* Entry;
        QString Path;
        bool Replace;
    };
    // What the extraction on the worker has done so far.
    struct TCopyProgress {
        std::atomic<bool> Cancel{false};
        std::atomic<uint64_t> Copied{0};
        std::atomic<uint64_t> Size{0};
        std::mutex Lock;
        QString Name;  // of the file being copied
    };
    void BuildControls();
    void StartExtraction(std::vector<TCopy> Copies);
    void ShowExtractProgress();
    void ExtractionDone(bool Cancelled);
    // The folder for this dialog: asked once; empty when the user cancelled.
    QString ChooseFolder();
    // The folder a bare name goes to: the chosen one, else the default.
    QString FolderForNames() const;
    void Log(const std::string& Line);

    TKestrelBurner& kestrel_;
    TDriveWorker& worker_;
    QString& folder_;
    std::vector<TFEntry*> rows_;
    bool shown_ = false;
    bool extracting_ = false;
    bool closeWhenDone_ = false;
    std::shared_ptr<TCopyProgress> copy_;
    QTimer progressTimer_;
};

}  // namespace kestrel::app
