#include "app/LogView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QMenu>
#include <QScrollBar>

namespace kestrel::app {

bool IsDeviceLine(const QString& Line, uint8_t) {
    // The report of a failed command: its name, CDB, data and sense.
    return Line.startsWith(QLatin1String("<<< "));
}

TLogView::TLogView(QWidget* Parent) : QPlainTextEdit(Parent) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setToolTip(QStringLiteral("Log"));
    clearAction_ = new QAction(QStringLiteral("Clear Log"), this);
    clearAction_->setObjectName(QStringLiteral("ClearAll1"));
    clearAction_->setShortcut(QKeySequence(Qt::Key_F8));
    connect(clearAction_, &QAction::triggered, this, &TLogView::ClearLog);
    copyAction_ = new QAction(QStringLiteral("Copy Log"), this);
    copyAction_->setObjectName(QStringLiteral("CopyLog"));
    copyAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    connect(copyAction_, &QAction::triggered, this, &TLogView::CopyAll);
    showDeviceAction_ = new QAction(QStringLiteral("Show device commands"), this);
    showDeviceAction_->setObjectName(QStringLiteral("ShowDeviceCommands"));
    showDeviceAction_->setCheckable(true);
    showDeviceAction_->setToolTip(QStringLiteral("Also show the drive's own lines: failed commands with their bytes "
                                                 "and sense data, for finding out what a drive did"));
    connect(showDeviceAction_, &QAction::toggled, this, &TLogView::SetShowDeviceLines);
}

void TLogView::ShowLine(const QString& Line) {
    appendPlainText(Line);
    // The newest line stays in view, also after a long line has brought the
    // horizontal scroll bar in and shortened the visible area.
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TLogView::AppendLine(const QString& Line, uint8_t Type) {
    const bool device = IsDeviceLine(Line, Type);
    lines_.push_back({Line, device});
    if (showDevice_ || !device) ShowLine(Line);
}

QStringList TLogView::Lines() const {
    if (document()->isEmpty()) return {};
    return toPlainText().split(QLatin1Char('\n'));
}

QStringList TLogView::AllLines() const {
    QStringList all;
    for (const TLine& line : lines_) all.append(line.Text);
    return all;
}

void TLogView::CopyAll() { QApplication::clipboard()->setText(toPlainText()); }

void TLogView::ClearLog() {
    lines_.clear();
    clear();
}

void TLogView::SetShowDeviceLines(bool Show) {
    if (showDeviceAction_->isChecked() != Show) {
        showDeviceAction_->setChecked(Show);  // comes back here through toggled
        return;
    }
    if (showDevice_ == Show) return;
    showDevice_ = Show;
    clear();
    QStringList shown;
    for (const TLine& line : lines_)
        if (showDevice_ || !line.Device) shown.append(line.Text);
    if (!shown.isEmpty()) ShowLine(shown.join(QLatin1Char('\n')));
}

void TLogView::contextMenuEvent(QContextMenuEvent* Event) {
    QMenu menu(this);
    menu.addAction(copyAction_);
    menu.addAction(clearAction_);
    menu.addSeparator();
    menu.addAction(showDeviceAction_);
    menu.exec(Event->globalPos());
}

}  // namespace kestrel::app
