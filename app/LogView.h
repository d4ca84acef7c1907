#pragma once
// The log pane: one line per message, fixed-pitch, no wrapping, with a
// context menu holding "Clear Log" (F8).
#include <QPlainTextEdit>

class QAction;

namespace kestrel::app {

class TLogView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TLogView(QWidget* Parent = nullptr);

    void AppendLine(const QString& Line);
    // Every line, joined with newlines.
    QStringList Lines() const;
    // Selects the whole text and puts it on the clipboard.
    void CopyAll();

    QAction* ClearAction() const { return clearAction_; }

protected:
    void contextMenuEvent(QContextMenuEvent* Event) override;

private:
    QAction* clearAction_;
};

}  // namespace kestrel::app
