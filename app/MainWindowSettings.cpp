// The main window's part of the settings file: the options read at start,
// the "Save path" box's own key, and the window's size and splitters.
#include <QCheckBox>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QSplitter>

#include "app/FileBrowser.h"
#include "app/KestrelIni.h"
#include "app/LogView.h"
#include "app/MainWindow.h"
#include "app/SettingsKeys.h"

namespace kestrel::app {

namespace {

constexpr const char* kOptions = kOptionsSection;

}  // namespace

// Reads the keys in the order the settings dialog's file defines; a key
// that is missing keeps the value set before.
void TForm1::LoadSettings() {
    const TKestrelIni& ini = *ini_;
    Options.ArchiveFiles = ini.ReadBool(kOptions, "ArchiveFiles", Options.ArchiveFiles);
    Options.ImportSession = ini.ReadBool(kOptions, "ImportSession", Options.ImportSession);
    // Setting a state other than the initial grayed one writes the key back.
    SetSavePathState(SavePathFromText(ini.ReadString(kOptions, "SavePath", "")));
    kestrel->FinalizeDisc = ini.ReadBool(kOptions, "CloseDisc", kestrel->FinalizeDisc);
    kestrel->JolietFileSystem = ini.ReadBool(kOptions, "JolietFS", kestrel->JolietFileSystem);
    // Files written before Rock Ridge existed have no key: it stays on.
    kestrel->RockRidge = ini.ReadBool(kOptions, "RockRidge", kestrel->RockRidge);
    kestrel->TestWrite = ini.ReadBool(kOptions, "TestWrite", kestrel->TestWrite);
    kestrel->PerformOPC = ini.ReadBool(kOptions, "PerformOPC", kestrel->PerformOPC);
    Options.QuickSaveISO = ini.ReadBool(kOptions, "QuickSaveISO", Options.QuickSaveISO);
    Options.SessionNo = 0;
    if (ini.ReadBool(kOptions, "ImportSession", false)) {
        const long long session = ini.ReadInteger(kOptions, "SessionNo", 0);
        if (session < -128 || session > 127) {
            // One bad value does not cost the user the keys read after it.
            Log("Kestrel.ini: SessionNo " + std::to_string(session) +
                " is outside -128..127; no session will be imported");
        } else {
            Options.SessionNo = static_cast<int8_t>(session);
        }
    }
    Options.EjectDisc = ini.ReadBool(kOptions, "EjectDisc", Options.EjectDisc);
    Options.ShowFiles = ini.ReadBool(kOptions, "ShowFiles", Options.ShowFiles);
    Options.ImportSession = ini.ReadBool(kOptions, "ImportSession", Options.ImportSession);
    kestrel->BootImageFile = ini.ReadString(kOptions, "BootImage", kestrel->BootImageFile);
    kestrel->Bootable = ini.ReadBool(kOptions, "Bootable", kestrel->Bootable);
    LoadBootChoices(ini);
    kestrel->IdVolume = ini.ReadString(kOptions, "VolumeLable", kestrel->IdVolume);
    const long long cache = ini.ReadInteger(kOptions, "CacheSize", kestrel->CacheSize());
    kestrel->SetCacheSize(static_cast<int32_t>(std::clamp<long long>(cache, 0, INT32_MAX)));
    // Files written before the read-back existed have no key: it stays off.
    kestrel->VerifyAfterWrite = ini.ReadBool(kOptions, "VerifyWrittenData", kestrel->VerifyAfterWrite);
}

// The boot choices beyond the BIOS image; a load size the entry cannot
// hold is logged and the default used.
void TForm1::LoadBootChoices(const TKestrelIni& Ini) {
    kestrel->BootNoEmulation = Ini.ReadBool(kOptions, kBootNoEmulationKey, kestrel->BootNoEmulation);
    const long long loadSize = Ini.ReadInteger(kOptions, kBootLoadSizeKey, kestrel->BootLoadSize);
    if (loadSize < 0 || loadSize > 65535)
        Log("Kestrel.ini: BootLoadSize " + std::to_string(loadSize) + " is outside 0..65535; the default is used");
    else
        kestrel->BootLoadSize = static_cast<int32_t>(loadSize);
    kestrel->BootInfoTable = Ini.ReadBool(kOptions, kBootInfoTableKey, kestrel->BootInfoTable);
    kestrel->EfiBootImageFile = Ini.ReadString(kOptions, kUefiBootImageKey, kestrel->EfiBootImageFile);
    kestrel->EfiBootable = Ini.ReadBool(kOptions, kUefiBootKey, kestrel->EfiBootable);
}

void TForm1::cPathInfoClick() {
    try {
        ini_->WriteString(kOptions, "SavePath", SavePathName(SavePathState()));
    } catch (const TIniWriteError& e) {
        QMessageBox::warning(this, QString::fromUtf8(kApplicationTitle), QString::fromUtf8(e.what()));
    }
}

// ---- Window size and splitters, kept beside the settings file ---------------

QString TForm1::StateFile() {
    return QString::fromStdString((TKestrelIni::DefaultPath().parent_path() / "window.ini").string());
}

void TForm1::RestoreWindowState() {
    QSettings state(StateFile(), QSettings::IniFormat);
    if (!state.contains("Window/Geometry") || !restoreGeometry(state.value("Window/Geometry").toByteArray())) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
    if (state.contains("Window/LogSplitter")) mainSplitter_->restoreState(state.value("Window/LogSplitter").toByteArray());
    if (state.contains("Window/PaneSplitter"))
        panesSplitter_->restoreState(state.value("Window/PaneSplitter").toByteArray());
    if (state.contains("Window/BrowserSplitter"))
        pDrivesDir->Splitter()->restoreState(state.value("Window/BrowserSplitter").toByteArray());
    pDrivesDir->SetShowHidden(state.value("View/ShowHiddenFiles", false).toBool());
    Memo1->SetShowDeviceLines(state.value("View/ShowDeviceCommands", false).toBool());
}

void TForm1::SaveWindowState() {
    QSettings state(StateFile(), QSettings::IniFormat);
    state.setValue("Window/Geometry", saveGeometry());
    state.setValue("Window/LogSplitter", mainSplitter_->saveState());
    state.setValue("Window/PaneSplitter", panesSplitter_->saveState());
    state.setValue("Window/BrowserSplitter", pDrivesDir->Splitter()->saveState());
    state.setValue("View/ShowHiddenFiles", pDrivesDir->ShowHidden());
    state.setValue("View/ShowDeviceCommands", Memo1->ShowDeviceLines());
}

}  // namespace kestrel::app
