#include "app/dialogs/SessionsDialog.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

#include "app/DriveWorker.h"
#include "app/Formats.h"
#include "app/dialogs/TreeViewDialog.h"
#include "burner/engine/KestrelBurner.h"

namespace kestrel::app {

namespace {

constexpr int kBlockBytes = 2048;

QString BlocksMB(uint32_t Blocks) {
    return QString::fromStdString(FormatMB(int64_t{Blocks} * kBlockBytes)) + QStringLiteral(" MB");
}

QString StatusText(int16_t Status) {
    if (Status == -1) return QStringLiteral("Disc Status unknown");
    if (Status == 2) return QStringLiteral("Disc Closed/Finalized");
    return QStringLiteral("Disc is Open");
}

QLabel* NewValueLabel(const char* Name, QWidget* Parent) {
    auto* label = new QLabel(Parent);
    label->setObjectName(QString::fromUtf8(Name));
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    return label;
}

}  // namespace

QString SessionLine(int Number, uint32_t Start, uint32_t Blocks) {
    const auto megabytes = static_cast<long long>(std::llround(Blocks / 512.0));
    return QStringLiteral("  %1    %2   %3 MB")
        .arg(Number, 3, 10, QLatin1Char('0'))
        .arg(static_cast<qulonglong>(Start), 8)
        .arg(megabytes, 4);
}

// What the disc told, read on the drive worker.
struct TfrmSessions::TRead {
    bool Ready = false;
    QStringList Lines;
    QString Medium, DiscSize, UsedSpace, FreeSpace;
};

TfrmSessions::TfrmSessions(QWidget* Parent, TKestrelBurner& Burner, TDriveWorker& Worker)
    : QDialog(Parent), kestrel_(Burner), worker_(Worker) {
    setObjectName(QStringLiteral("frmSessions"));
    setWindowTitle(QStringLiteral("Disc & Sessions Information"));
    BuildControls();
}

void TfrmSessions::BuildControls() {
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    lMedium = NewValueLabel("lMedium", this);
    lDiscSize = NewValueLabel("lDiscSize", this);
    lUsedSpace = NewValueLabel("lUsedSpace", this);
    lFreeSpace = NewValueLabel("lFreeSpace", this);
    auto* top = new QGridLayout;
    const std::pair<const char*, QLabel*> rows[] = {
        {"Medium  :", lMedium}, {"Disc Size  :", lDiscSize}, {"Used Space  :", lUsedSpace}, {"Free Space  :", lFreeSpace}};
    int row = 0;
    for (const auto& [caption, value] : rows) {
        top->addWidget(new QLabel(QString::fromUtf8(caption), this), row, 0);
        top->addWidget(value, row++, 1);
    }
    top->setColumnStretch(1, 1);

    auto* header = new QLabel(QStringLiteral(" Number     Start     Size"), this);
    header->setFont(fixed);
    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setText(QStringLiteral("Show Files"));
    auto* bar = new QHBoxLayout;
    bar->addWidget(header, 1);
    bar->addWidget(SpeedButton1);

    lb = new QListWidget(this);
    lb->setObjectName(QStringLiteral("lb"));
    lb->setFont(fixed);
    lb->setMinimumSize(360, 160);

    // The default button sits out of sight: Enter closes the dialog.
    Button1 = new QPushButton(QStringLiteral("Close"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button1->setGeometry(-200, -200, 75, 25);

    auto* column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addLayout(bar);
    column->addWidget(lb, 1);
    column->setSizeConstraint(QLayout::SetFixedSize);

    connect(SpeedButton1, &QToolButton::clicked, this, &TfrmSessions::SpeedButton1Click);
    connect(lb, &QListWidget::itemClicked, this, &TfrmSessions::SpeedButton1Click);
    connect(lb, &QListWidget::itemDoubleClicked, this, &TfrmSessions::Button1Click);
    connect(Button1, &QPushButton::clicked, this, &TfrmSessions::Button1Click);
}

void TfrmSessions::Fill() {
    lb->clear();
    lb->addItem(QStringLiteral("     Reading the disc ..."));
    SetReading(true);
    worker_.Run(
        [&burner = kestrel_] {
            TRead read;
            TDisc disc;
            burner.GetDiscInformation(disc);
            read.Ready = disc.Ready;
            if (!read.Ready) return read;
            const uint8_t type = burner.GetDiscType();
            const int sessions = std::min<int>(burner.GetSessionCount(), 255);
            for (int i = 1; i <= sessions; ++i) {
                const bool found = burner.ReadTrackInformation(static_cast<uint32_t>(i));
                const TTrackRecord& track = burner.TrackInformation;
                read.Lines << SessionLine(i, found ? track.TrackStart : 0, found ? track.TrackSize : 0);
            }
            read.FreeSpace = BlocksMB(burner.GetFreeBlocks()) + QStringLiteral(", ") + StatusText(burner.GetDiscStatus());
            read.Medium = QString::fromStdString(MediumTypeName(type));
            read.DiscSize = BlocksMB(burner.GetDiscCapacity());
            read.UsedSpace = BlocksMB(burner.GetUsedBlocks()) + QStringLiteral(",  Sessions : ") + QString::number(sessions);
            return read;
        },
        [self = QPointer<TfrmSessions>(this)](const TRead& read) {
            if (self) self->ShowRead(read);
        });
}

void TfrmSessions::ShowRead(const TRead& Read) {
    SetReading(false);
    lb->clear();
    if (!Read.Ready) {
        lb->addItem(QStringLiteral("     Error getting session information"));
        return;
    }
    lb->addItems(Read.Lines);
    lMedium->setText(Read.Medium);
    lDiscSize->setText(Read.DiscSize);
    lUsedSpace->setText(Read.UsedSpace);
    lFreeSpace->setText(Read.FreeSpace);
}

void TfrmSessions::SetReading(bool Reading) {
    reading_ = Reading;
    lb->setEnabled(!Reading);
    SpeedButton1->setEnabled(!Reading);
    setCursor(Reading ? Qt::BusyCursor : Qt::ArrowCursor);
}

void TfrmSessions::SpeedButton1Click() {
    if (reading_ || lb->count() == 0) return;
    if (lb->currentRow() < 0) {
        QMessageBox::information(this, windowTitle(), QStringLiteral("Select session from list"));
        return;
    }
    SetReading(true);
    const int session = lb->currentRow() + 1;
    worker_.Run(
        [&burner = kestrel_, session] {
            burner.ClearAll(65535, 8191);
            burner.ImportDiscSession(session, burner.RootDir);
        },
        [self = QPointer<TfrmSessions>(this)] {
            if (!self) return;
            self->SetReading(false);
            self->OpenViewer();
        });
}

void TfrmSessions::OpenViewer() {
    auto* viewer = new TfrmTree(this, kestrel_, worker_, extractFolder_);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->exec();
}

void TfrmSessions::Button1Click() { accept(); }

}  // namespace kestrel::app
