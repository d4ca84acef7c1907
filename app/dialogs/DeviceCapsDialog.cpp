#include "app/dialogs/DeviceCapsDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <iterator>

#include "burner/device/SCSIDevice.h"

namespace kestrel::app {

namespace {

struct TFlagCaption {
    const char* Name;
    const char* Caption;
    uint32_t Flag;
};

// Two columns: what the drive reads, what it writes.
constexpr TFlagCaption kLeftColumn[] = {
    {"ReadCDR", "Read CDR", cap::ReadCDR},          {"ReadCDRW", "Read CDRW", cap::ReadCDRW},
    {"ReadDVDR", "Read DVD-R", cap::ReadDVDR},      {"ReadDVDRW", "Read DVD-RW", cap::ReadDVDRW},
    {"ReadDVDRAM", "Read DVD-RAM", cap::ReadDVDRAM}, {"ReadDVDPR", "Read DVD+R", cap::ReadDVDPR},
    {"ReadDVDPRW", "Read DVD+RW", cap::ReadDVDPRW}, {"ReadDVD", "Read DVD", cap::ReadDVD},
};
constexpr TFlagCaption kRightColumn[] = {
    {"WriteCDR", "Write CDR", cap::WriteCDR},          {"WriteCDRW", "Write CDRW", cap::WriteCDRW},
    {"WriteDVDR", "Write DVD-R", cap::WriteDVDR},      {"WriteDVDRW", "Write DVD-RW", cap::WriteDVDRW},
    {"WriteDVDRAM", "Write DVD-RAM", cap::WriteDVDRAM}, {"WriteDVDPR", "Write DVD+R", cap::WriteDVDPR},
    {"WriteDVDPRW", "Write DVD+RW", cap::WriteDVDPRW}, {"WriteTest", "Write Test", cap::WriteTest},
};
// Blu-ray, below the CD and DVD rows.
constexpr TFlagCaption kBdLeft[] = {
    {"ReadBDR", "Read BD-R", cap::ReadBDR}, {"ReadBDRE", "Read BD-RE", cap::ReadBDRE}, {"ReadBD", "Read BD", cap::ReadBD}};
constexpr TFlagCaption kBdRight[] = {{"WriteBDR", "Write BD-R", cap::WriteBDR},
                                     {"WriteBDRE", "Write BD-RE", cap::WriteBDRE}};
constexpr TFlagCaption kUnderrun = {"UnderrunProtection", "Underrun Protection", cap::UnderrunProtection};

}  // namespace

TForm2::TForm2(QWidget* Parent, const TSCSIDevice& Device) : QDialog(Parent) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Device Capabilities"));
    BuildControls();
    Fill(Device);
}

void TForm2::BuildControls() {
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    // Disabled, so that nothing in it can be changed.
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setEnabled(false);
    auto* grid = new QGridLayout(Panel1);
    grid->setVerticalSpacing(0);
    const auto addBox = [this, grid](const TFlagCaption& Item, int Row, int Column, int Span) {
        auto* box = new QCheckBox(QString::fromUtf8(Item.Caption), Panel1);
        box->setObjectName(QString::fromUtf8(Item.Name));
        box->setLayoutDirection(Qt::RightToLeft);  // the text left of the box
        grid->addWidget(box, Row, Column, 1, Span);
        boxes_.push_back({Item.Flag, box});
        return box;
    };
    int row = 0;
    for (; row < 8; ++row) {
        addBox(kLeftColumn[row], row, 0, 1);
        addBox(kRightColumn[row], row, 1, 1);
    }
    for (size_t i = 0; i < std::size(kBdLeft); ++i, ++row) {
        addBox(kBdLeft[i], row, 0, 1);
        if (i < std::size(kBdRight)) addBox(kBdRight[i], row, 1, 1);
    }
    QCheckBox* underrun = addBox(kUnderrun, row++, 0, 2);
    QFont bold = underrun->font();
    bold.setBold(true);
    underrun->setFont(bold);
    Label2 = new QLabel(Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label3 = new QLabel(Panel1);
    Label3->setObjectName(QStringLiteral("Label3"));
    grid->addWidget(Label2, row++, 0, 1, 2);
    grid->addWidget(Label3, row, 0, 1, 2);

    // A cancel button out of sight: Esc closes the dialog.
    Button1 = new QPushButton(QStringLiteral("Close"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAutoDefault(false);
    Button1->setGeometry(-200, -200, 75, 25);
    connect(Button1, &QPushButton::clicked, this, &QDialog::reject);

    auto* column = new QVBoxLayout(this);
    column->addWidget(Label1);
    column->addWidget(Panel1);
    column->setSizeConstraint(QLayout::SetFixedSize);
}

void TForm2::Fill(const TSCSIDevice& Device) {
    const uint32_t flags = Device.Capabilities();
    for (const TFlagBox& item : boxes_) item.Box->setChecked((flags & item.Flag) != 0);
    Label1->setText(QStringLiteral("  ") + QString::fromStdString(Device.CurrentDevice()));
    Label2->setText(QStringLiteral("Max Write Speed : %1 KB/s").arg(Device.DeviceMaxWriteSpeed()));
    Label3->setText(QStringLiteral("Max Read Speed  : %1 KB/s").arg(Device.DeviceMaxReadSpeed()));
}

}  // namespace kestrel::app
