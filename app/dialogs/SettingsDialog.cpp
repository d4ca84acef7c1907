#include "app/dialogs/SettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/DriveWorker.h"
#include "app/KestrelIni.h"
#include "app/dialogs/SettingsFile.h"
#include "burner/engine/KestrelBurner.h"

namespace kestrel::app {

namespace {

constexpr int kMegabyte = 1048576;

QCheckBox* NewBox(const char* Name, const char* Caption, QWidget* Parent) {
    auto* box = new QCheckBox(QString::fromUtf8(Caption), Parent);
    box->setObjectName(QString::fromUtf8(Name));
    return box;
}

QPushButton* NewButton(const char* Name, const char* Caption, QWidget* Parent) {
    auto* button = new QPushButton(QString::fromUtf8(Caption), Parent);
    button->setObjectName(QString::fromUtf8(Name));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

TfrmSettings::TfrmSettings(QWidget* Parent, TKestrelBurner& Burner, TAppOptions& Options, TSavePathState SavePath,
                           std::filesystem::path SettingsFile, TDriveWorker* Worker)
    : QDialog(Parent),
      kestrel_(Burner),
      options_(Options),
      savePath_(SavePath),
      file_(std::move(SettingsFile)),
      worker_(Worker) {
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Advanced options"));
    BuildControls();
    FormShow();
}

void TfrmSettings::BuildControls() {
    eVolLabel = new QLineEdit(this);
    eVolLabel->setObjectName(QStringLiteral("eVolLabel"));
    eVolLabel->setMaxLength(16);
    cJoliet = NewBox("cJoliet", "Joliet File System", this);
    cJoliet->setToolTip(QStringLiteral("Long File Name"));
    cRockRidge = NewBox("cRockRidge", "Rock Ridge (permissions, links, long names)", this);
    cCloseDisc = NewBox("cCloseDisc", "Close Disc (Finalize)", this);
    cImportSession = NewBox("cImportSession", "Import Session", this);
    eSession = new QLineEdit(this);
    eSession->setObjectName(QStringLiteral("eSession"));
    eSession->setToolTip(QStringLiteral("Session Number to Import; for Last Session enter -1"));
    eSession->setEnabled(false);
    eSession->setMaximumWidth(60);
    lSessionHelp = new QLabel(QStringLiteral("0 = none, -1 = last, N = session N"), this);
    lSessionHelp->setObjectName(QStringLiteral("lSessionHelp"));
    lSessionHelp->setEnabled(false);
    cImportSession->setToolTip(QStringLiteral("Carry the files of a session already on the disc into the new one, "
                                              "so the disc keeps showing them"));
    cUnderrunProtection = NewBox("cUnderrunProtection", "Underrun Protection", this);
    cTestWrite = NewBox("cTestWrite", "Test Write", this);
    cEject = NewBox("cEject", "Eject after Write/Erase", this);
    cOPC = NewBox("cOPC", "Perform OPC", this);
    cQuickSaveISO = NewBox("cQuickSaveISO", "Quick Save .ISO", this);
    cBootable = NewBox("cBootable", "Bootable", this);
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setMinimumWidth(180);
    cbBootMode = new QComboBox(this);
    cbBootMode->setObjectName(QStringLiteral("cbBootMode"));
    cbBootMode->addItems({QStringLiteral("Floppy/hard-disk emulation (legacy)"), QStringLiteral("No emulation")});
    eBootLoadSize = new QSpinBox(this);
    eBootLoadSize->setObjectName(QStringLiteral("eBootLoadSize"));
    eBootLoadSize->setRange(0, 65535);
    eBootLoadSize->setSpecialValueText(QStringLiteral("Default"));
    eBootLoadSize->setToolTip(QStringLiteral("512-byte sectors the BIOS loads; Default: 4, or the whole file"));
    cBootInfoTable = NewBox("cBootInfoTable", "Boot info table", this);
    cBootInfoTable->setToolTip(QStringLiteral("Write the boot information table into the loader's copy"));
    cUefiBoot = NewBox("cUefiBoot", "UEFI boot image", this);
    lUefiImage = new QLabel(this);
    lUefiImage->setObjectName(QStringLiteral("lUefiImage"));
    lUefiImage->setMinimumWidth(180);
    cShowFiles = NewBox("cShowFiles", "Show files before burning", this);
    // The caption's "&&" shows as one ampersand.
    cArchiveOnly = NewBox("cArchiveOnly", "Archive files only && Clear Archive Bit", this);
    // Linux files carry no archive attribute; Kestrel keeps a mark of its own.
    cArchiveOnly->setToolTip(QStringLiteral(
        "For backups: from folders, take only files that are new or changed since Kestrel last burnt them, and "
        "mark the files of a successful burn as burnt.\nThe mark is Kestrel's own (the extended attribute "
        "user.kestrel.archived, holding the file's size and time); files on file systems without extended "
        "attributes always count as changed."));
    cVerify = NewBox("cVerify", "Verify written data", this);
    cVerify->setToolTip(QStringLiteral("After a burn, read the disc back and compare it with what was written; "
                                       "the files that differ or cannot be read are named"));
    cCloseDisc->setToolTip(QStringLiteral("Close the disc after this burn: nothing can be added to it later"));
    cTestWrite->setToolTip(QStringLiteral("Go through the whole burn with the laser off, to see whether it "
                                          "would succeed (CD-R/RW and DVD-R/RW only)"));
    cOPC->setToolTip(QStringLiteral("Let the drive calibrate its laser power on the disc before writing"));
    cQuickSaveISO->setToolTip(QStringLiteral("Build image files directly, without the read-ahead cache"));
    cShowFiles->setToolTip(QStringLiteral("Show the disc's layout before burning; files can still be left out "
                                          "there"));
    sCacheSize = new QSlider(Qt::Horizontal, this);
    sCacheSize->setObjectName(QStringLiteral("sCacheSize"));
    sCacheSize->setRange(2, 64);
    sCacheSize->setTickInterval(4);
    sCacheSize->setTickPosition(QSlider::TicksBelow);
    Label3 = new QLabel(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Button1 = NewButton("Button1", "OK", this);
    Button1->setDefault(true);
    Button2 = NewButton("Button2", "Cancel", this);
    Button3 = NewButton("Button3", "Close Track", this);

    auto* grid = new QGridLayout;
    int row = 0;
    grid->addWidget(new QLabel(QStringLiteral("Volume Label :"), this), row, 0);
    grid->addWidget(eVolLabel, row++, 1);
    grid->addWidget(cJoliet, row, 0);
    grid->addWidget(cCloseDisc, row++, 1);
    auto* session = new QHBoxLayout;
    session->addWidget(cImportSession);
    session->addWidget(eSession);
    session->addWidget(lSessionHelp);
    session->addStretch(1);
    grid->addLayout(session, row, 0);
    grid->addWidget(cUnderrunProtection, row++, 1);
    grid->addWidget(cTestWrite, row, 0);
    grid->addWidget(cEject, row++, 1);
    grid->addWidget(cOPC, row, 0);
    grid->addWidget(cQuickSaveISO, row++, 1);
    grid->addWidget(cBootable, row, 0);
    grid->addWidget(Label2, row++, 1);
    grid->addLayout(BuildBootControls(), row++, 0, 1, 2);
    grid->addWidget(cUefiBoot, row, 0);
    grid->addWidget(lUefiImage, row++, 1);
    grid->addWidget(cShowFiles, row, 0);
    grid->addWidget(cArchiveOnly, row++, 1);
    grid->addWidget(cRockRidge, row, 0);
    grid->addWidget(cVerify, row++, 1);
    auto* cache = new QHBoxLayout;
    cache->addWidget(new QLabel(QStringLiteral("Cache Size :"), this));
    cache->addWidget(sCacheSize, 1);
    cache->addWidget(Label3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button3);
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* column = new QVBoxLayout(this);
    column->addLayout(grid);
    column->addLayout(cache);
    column->addLayout(buttons);
    column->setSizeConstraint(QLayout::SetFixedSize);  // a fixed dialog border

    connect(Button1, &QPushButton::clicked, this, &TfrmSettings::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button3, &QPushButton::clicked, this, &TfrmSettings::Button3Click);
    connect(cBootable, &QCheckBox::clicked, this, &TfrmSettings::cBootableClick);
    connect(cUefiBoot, &QCheckBox::clicked, this, &TfrmSettings::cUefiBootClick);
    connect(cbBootMode, &QComboBox::currentIndexChanged, this, &TfrmSettings::cbBootModeChange);
    connect(cImportSession, &QCheckBox::toggled, this, &TfrmSettings::cImportSessionClick);
    connect(cImportSession, &QCheckBox::clicked, this, &TfrmSettings::cImportSessionTicked);
    connect(sCacheSize, &QSlider::valueChanged, this, &TfrmSettings::sCacheSizeChange);
}

QLayout* TfrmSettings::BuildBootControls() {
    auto* row = new QHBoxLayout;
    row->addSpacing(20);
    row->addWidget(cbBootMode);
    row->addWidget(new QLabel(QStringLiteral("Load sectors :"), this));
    row->addWidget(eBootLoadSize);
    row->addWidget(cBootInfoTable);
    row->addStretch(1);
    return row;
}

void TfrmSettings::FormShow() {
    cEject->setChecked(options_.EjectDisc);
    cShowFiles->setChecked(options_.ShowFiles);
    cImportSession->setChecked(options_.ImportSession);
    cImportSessionClick();
    cJoliet->setChecked(kestrel_.JolietFileSystem);
    cRockRidge->setChecked(kestrel_.RockRidge);
    cQuickSaveISO->setChecked(options_.QuickSaveISO);
    cCloseDisc->setChecked(kestrel_.FinalizeDisc);
    eVolLabel->setText(QString::fromStdString(kestrel_.IdVolume));
    cTestWrite->setChecked(kestrel_.TestWrite);
    cOPC->setChecked(kestrel_.PerformOPC);
    // Set without the click action: the boot image is asked for only when
    // the user turns the box on.
    cBootable->setChecked(kestrel_.Bootable);
    Label2->setText(QString::fromStdString(kestrel_.BootImageFile));
    cbBootMode->setCurrentIndex(kestrel_.BootNoEmulation ? 1 : 0);
    eBootLoadSize->setValue(kestrel_.BootLoadSize);
    cBootInfoTable->setChecked(kestrel_.BootInfoTable);
    cbBootModeChange();
    cUefiBoot->setChecked(kestrel_.EfiBootable);
    lUefiImage->setText(QString::fromStdString(kestrel_.EfiBootImageFile));
    eSession->setText(QString::number(options_.SessionNo));
    cArchiveOnly->setChecked(options_.ArchiveFiles);
    cVerify->setChecked(kestrel_.VerifyAfterWrite);
    cUnderrunProtection->setChecked(kestrel_.UnderrunProtection);
    cUnderrunProtection->setEnabled((kestrel_.Capabilities() & cap::UnderrunProtection) != 0);
    sCacheSize->setValue(kestrel_.CacheSize() / kMegabyte);
    sCacheSizeChange();
}

void TfrmSettings::cImportSessionClick() {
    eSession->setEnabled(cImportSession->isChecked());
    lSessionHelp->setEnabled(cImportSession->isChecked());
}

void TfrmSettings::cImportSessionTicked(bool Checked) {
    bool number = false;
    const int value = eSession->text().trimmed().toInt(&number);
    if (Checked && (!number || value == 0)) eSession->setText(QStringLiteral("-1"));
}

void TfrmSettings::sCacheSizeChange() {
    Label3->setText(QStringLiteral("%1 MB").arg(sCacheSize->value(), 2));
}

bool TfrmSettings::ChooseImage(QLabel* Shown, const QStringList& Filters) {
    QPointer<QFileDialog> chooser = new QFileDialog(this);
    dlg = chooser;
    chooser->setObjectName(QStringLiteral("dlg"));
    chooser->setOption(QFileDialog::DontUseNativeDialog);
    chooser->setFileMode(QFileDialog::ExistingFile);
    chooser->setNameFilters(Filters);
    chooser->setDefaultSuffix(QStringLiteral("Img"));
    if (!Shown->text().isEmpty()) {
        const QFileInfo current(Shown->text());
        chooser->setDirectory(current.absolutePath());
        chooser->selectFile(current.fileName());
    }
    const bool chosen = chooser->exec() == QDialog::Accepted && chooser && !chooser->selectedFiles().isEmpty();
    if (chosen) Shown->setText(chooser->selectedFiles().first());
    delete chooser;
    dlg = nullptr;
    return chosen;
}

void TfrmSettings::cBootableClick() {
    if (!cBootable->isChecked()) return;  // unchecking keeps the path
    if (!ChooseImage(Label2, {QStringLiteral("All Image Files (*.IMG *.IMA *.BIN *.img *.ima *.bin)"),
                              QStringLiteral("All Files (*)")}))
        cBootable->setChecked(false);
}

void TfrmSettings::cUefiBootClick() {
    if (!cUefiBoot->isChecked()) return;  // unchecking keeps the path
    if (!ChooseImage(lUefiImage, {QStringLiteral("EFI System Partition Images (*.img *.IMG *.bin *.BIN)"),
                                  QStringLiteral("All Files (*)")}))
        cUefiBoot->setChecked(false);
}

void TfrmSettings::cbBootModeChange() {
    const bool noEmulation = cbBootMode->currentIndex() == 1;
    eBootLoadSize->setEnabled(noEmulation);
    cBootInfoTable->setEnabled(noEmulation);
}

void TfrmSettings::Button3Click() {
    if (!worker_) {
        kestrel_.CloseTrackSession(false, false, false);
        return;
    }
    // The drive may take minutes to close the session: the dialog stays
    // usable, and the button comes back once the drive is done.
    Button3->setEnabled(false);
    QPointer<TfrmSettings> self(this);
    worker_->Run([&burner = kestrel_] { burner.CloseTrackSession(false, false, false); },
                 [self] {
                     if (self) self->Button3->setEnabled(true);
                 });
}

bool TfrmSettings::TakeSessionNumber() {
    const QString text = eSession->text().trimmed();
    bool number = false;
    const int value = text.toInt(&number);
    if (cImportSession->isChecked() && number && value == 0)
        QMessageBox::information(this, windowTitle(),
                                 QStringLiteral("Session to import; Zero means not to import any session"));
    if (!cImportSession->isChecked()) {
        options_.SessionNo = 0;
        return true;
    }
    if (!number) {
        QMessageBox::critical(this, windowTitle(), QStringLiteral("'%1' is not a valid integer value").arg(text));
        return false;
    }
    if (value < -128 || value > 127) {
        QMessageBox::critical(this, windowTitle(),
                              QStringLiteral("%1 is out of the session number range -128..127").arg(value));
        return false;
    }
    options_.SessionNo = static_cast<int8_t>(value);
    return true;
}

void TfrmSettings::Button1Click() {
    kestrel_.JolietFileSystem = cJoliet->isChecked();
    kestrel_.RockRidge = cRockRidge->isChecked();
    kestrel_.IdVolume = eVolLabel->text().toStdString();
    kestrel_.FinalizeDisc = cCloseDisc->isChecked();
    kestrel_.UnderrunProtection = cUnderrunProtection->isChecked();
    kestrel_.TestWrite = cTestWrite->isChecked();
    kestrel_.PerformOPC = cOPC->isChecked();
    kestrel_.SetCacheSize(sCacheSize->value() * kMegabyte);
    kestrel_.Bootable = cBootable->isChecked();
    kestrel_.BootImageFile = Label2->text().toStdString();
    kestrel_.BootNoEmulation = cbBootMode->currentIndex() == 1;
    kestrel_.BootLoadSize = eBootLoadSize->value();
    kestrel_.BootInfoTable = cBootInfoTable->isChecked();
    kestrel_.EfiBootable = cUefiBoot->isChecked();
    kestrel_.EfiBootImageFile = lUefiImage->text().toStdString();
    kestrel_.VerifyAfterWrite = cVerify->isChecked();

    options_.ArchiveFiles = cArchiveOnly->isChecked();
    options_.EjectDisc = cEject->isChecked();
    options_.ShowFiles = cShowFiles->isChecked();
    options_.ImportSession = cImportSession->isChecked();
    if (!TakeSessionNumber()) return;
    options_.QuickSaveISO = cQuickSaveISO->isChecked();

    try {
        WriteSettings(file_, SettingsValues(kestrel_, options_, savePath_, eSession->text().trimmed().toStdString()));
    } catch (const TIniWriteError& e) {
        QMessageBox::critical(this, windowTitle(), QString::fromStdString(e.what()));
        return;
    }
    accept();
}

}  // namespace kestrel::app
