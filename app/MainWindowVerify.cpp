// The read-back after a burn in the main window: while the disc is read
// back, the progress bar and the size label say so; its result goes to the
// log and, once the write has ended, into a message box.
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>

#include <algorithm>

#include "app/AppTitle.h"
#include "app/Formats.h"
#include "app/MainWindow.h"
#include "app/WritePhaseCaption.h"

namespace kestrel::app {

namespace {

int SectorsOf(int64_t Bytes) { return static_cast<int>(std::clamp<int64_t>(Bytes / 2048, 0, INT32_MAX)); }

}  // namespace

bool TForm1::ShowVerifyProgress() {
    if (kestrel->WritePhase() != TWritePhase::Verifying) {
        pcd->resetFormat();
        return false;
    }
    const QString caption = WritePhaseCaption(TWritePhase::Verifying);
    const int64_t total = kestrel->VerifyTotalBytes(), done = kestrel->BytesVerified();
    pcd->setFormat(caption + QStringLiteral(" %p%"));
    pcd->setMaximum(std::max(1, SectorsOf(total)));
    pcd->setValue(std::min(SectorsOf(done), pcd->maximum()));
    lSize->setText(caption + " " + QString::fromStdString(FormatMB(done) + "/" + FormatMB(total) + " MB"));
    return true;
}

void TForm1::ReportVerification() {
    const TVerifyReport report = kestrel->LastVerification();
    if (report.Outcome == TVerifyOutcome::NotRun) return;
    // A failed read-back is the write's error, already in the log.
    if (report.Outcome == TVerifyOutcome::Verified) Log(">>> " + report.Summary());
    // A difference lists every finding, one a line.
    QString text = QString::fromStdString(report.Outcome == TVerifyOutcome::Differs
                                              ? "THE DISC DOES NOT HOLD WHAT WAS WRITTEN:"
                                              : report.Summary());
    if (report.Outcome == TVerifyOutcome::Differs)
        for (const auto& finding : report.Findings) text += "\n" + QString::fromStdString(finding.Text());
    const bool good = report.Outcome == TVerifyOutcome::Verified;
    // The box opens once the write's end has been handled.
    QMetaObject::invokeMethod(
        this,
        [this, text, good] {
            const QString title = QStringLiteral("Verify written data");
            if (good) QMessageBox::information(this, title, text);
            else QMessageBox::warning(this, title, text);
        },
        Qt::QueuedConnection);
}

}  // namespace kestrel::app
