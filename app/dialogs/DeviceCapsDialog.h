#pragma once
// "Device Capabilities": which media the current drive reads and writes,
// test writing, underrun protection and its top speeds, read-only, as the
// burner learned them when the drive was selected.
#include <QDialog>

#include <cstdint>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QWidget;

namespace kestrel {
class TSCSIDevice;
}

namespace kestrel::app {

class TForm2 : public QDialog {
    Q_OBJECT
public:
    TForm2(QWidget* Parent, const TSCSIDevice& Device);

    // One box per capability flag shown; the box's object name is the flag's.
    struct TFlagBox {
        uint32_t Flag;
        QCheckBox* Box;
    };
    const std::vector<TFlagBox>& FlagBoxes() const { return boxes_; }

    QLabel* Label1;
    QWidget* Panel1;
    QLabel* Label2;
    QLabel* Label3;
    QPushButton* Button1;

private:
    void BuildControls();
    void Fill(const TSCSIDevice& Device);

    std::vector<TFlagBox> boxes_;
};

}  // namespace kestrel::app
