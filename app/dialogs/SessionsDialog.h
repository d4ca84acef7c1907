#pragma once
// "Disc & Sessions Information": the medium in the drive, its size, used
// and free space, its status and one line per session; from a session line
// the file viewer opens on that session.
#include <QDialog>

#include <cstdint>

class QLabel;
class QListWidget;
class QPushButton;
class QToolButton;

namespace kestrel {
class TKestrelBurner;
}

namespace kestrel::app {

class TDriveWorker;

class TfrmSessions : public QDialog {
    Q_OBJECT
public:
    // The disc is read and sessions are imported on Worker.
    TfrmSessions(QWidget* Parent, TKestrelBurner& Burner, TDriveWorker& Worker);

    // Starts reading the disc; the labels and the session list are filled
    // when the drive has answered.
    void Fill();
    // True while the disc is read or a session imported.
    bool Reading() const { return reading_; }
    void SpeedButton1Click();
    void Button1Click();

    QLabel* lMedium;
    QLabel* lDiscSize;
    QLabel* lUsedSpace;
    QLabel* lFreeSpace;
    QToolButton* SpeedButton1;
    QListWidget* lb;
    QPushButton* Button1;

private:
    struct TRead;
    void BuildControls();
    void ShowRead(const TRead& Read);
    void SetReading(bool Reading);
    void OpenViewer();

    TKestrelBurner& kestrel_;
    TDriveWorker& worker_;
    bool reading_ = false;
    // Where the viewers opened from here put extracted files; asked once.
    QString extractFolder_;
};

// One line of the session list: number, start block and size in MB.
QString SessionLine(int Number, uint32_t Start, uint32_t Blocks);

}  // namespace kestrel::app
