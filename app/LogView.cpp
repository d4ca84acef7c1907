#include "app/LogView.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QMenu>
#include <QScrollBar>

namespace kestrel::app {

TLogView::TLogView(QWidget* Parent) : QPlainTextEdit(Parent) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setToolTip(QStringLiteral("Log"));
    clearAction_ = new QAction(QStringLiteral("Clear Log"), this);
    clearAction_->setObjectName(QStringLiteral("ClearAll1"));
    clearAction_->setShortcut(QKeySequence(Qt::Key_F8));
    connect(clearAction_, &QAction::triggered, this, &QPlainTextEdit::clear);
}

void TLogView::AppendLine(const QString& Line) {
    appendPlainText(Line);
    // The newest line stays in view, also after a long line has brought the
    // horizontal scroll bar in and shortened the visible area.
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

QStringList TLogView::Lines() const {
    if (document()->isEmpty()) return {};
    return toPlainText().split(QLatin1Char('\n'));
}

void TLogView::CopyAll() {
    selectAll();
    copy();
}

void TLogView::contextMenuEvent(QContextMenuEvent* Event) {
    QMenu menu(this);
    menu.addAction(clearAction_);
    menu.exec(Event->globalPos());
}

}  // namespace kestrel::app
