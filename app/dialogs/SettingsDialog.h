#pragma once
// "Advanced options": the burner's recording and image options and the
// program's own options, applied and written to the settings file on OK.
#include <QDialog>

#include <filesystem>

#include "app/AppOptions.h"
#include "burner/iso/FillCompilation.h"

class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;

namespace kestrel {
class TKestrelBurner;
}

namespace kestrel::app {

class TDriveWorker;

class TfrmSettings : public QDialog {
    Q_OBJECT
public:
    // SavePath is the main window's "Save path" state, written with the rest.
    // Close Track runs on Worker when there is one.
    TfrmSettings(QWidget* Parent, TKestrelBurner& Burner, TAppOptions& Options, TSavePathState SavePath,
                 std::filesystem::path SettingsFile, TDriveWorker* Worker = nullptr);

    void FormShow();
    void Button1Click();
    void cBootableClick();
    void cUefiBootClick();
    void cbBootModeChange();
    void Button3Click();
    void cImportSessionClick();
    // The user ticked or cleared "Import Session": a tick offers the last
    // session where no session is chosen yet.
    void cImportSessionTicked(bool Checked);
    void sCacheSizeChange();

    QLineEdit* eVolLabel;
    QCheckBox* cJoliet;
    QCheckBox* cRockRidge;
    QCheckBox* cCloseDisc;
    QCheckBox* cImportSession;
    QLineEdit* eSession;
    QLabel* lSessionHelp;  // what the session number means
    QCheckBox* cUnderrunProtection;
    QCheckBox* cTestWrite;
    QCheckBox* cEject;
    QCheckBox* cOPC;
    QCheckBox* cQuickSaveISO;
    QCheckBox* cBootable;
    QLabel* Label2;
    // The BIOS entry: "Floppy/hard-disk emulation (legacy)" or "No
    // emulation"; the load size (0 = "Default") and the boot information
    // table belong to the latter.
    QComboBox* cbBootMode;
    QSpinBox* eBootLoadSize;
    QCheckBox* cBootInfoTable;
    // The optional UEFI entry and its image's path.
    QCheckBox* cUefiBoot;
    QLabel* lUefiImage;
    QCheckBox* cShowFiles;
    QCheckBox* cArchiveOnly;
    QCheckBox* cVerify;  // read the disc back after a burn
    QSlider* sCacheSize;
    QLabel* Label3;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    // The boot image chooser; exists while it is open.
    QFileDialog* dlg = nullptr;

private:
    void BuildControls();
    QLayout* BuildBootControls();
    // Asks for an image file, starting at the path Shown shows; true with
    // the path in Shown when one was chosen.
    bool ChooseImage(QLabel* Shown, const QStringList& Filters);
    // Steps 3 and 4 of OK: false (and told) when the session number is not
    // a whole number in -128..127.
    bool TakeSessionNumber();

    TKestrelBurner& kestrel_;
    TAppOptions& options_;
    TSavePathState savePath_;
    std::filesystem::path file_;
    TDriveWorker* worker_;
};

}  // namespace kestrel::app
