#pragma once
// "Advanced options": the burner's recording and image options and the
// program's own options, applied and written to the settings file on OK.
#include <QDialog>

#include <filesystem>

#include "app/AppOptions.h"
#include "burner/iso/FillCompilation.h"

class QCheckBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

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
    QCheckBox* cShowFiles;
    QCheckBox* cArchiveOnly;
    QSlider* sCacheSize;
    QLabel* Label3;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    // The boot image chooser; exists while it is open.
    QFileDialog* dlg = nullptr;

private:
    void BuildControls();
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
