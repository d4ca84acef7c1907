#pragma once
// The log pane: one line per message, fixed-pitch, no wrapping, with a
// context menu holding "Clear Log" (F8), "Copy Log" and "Show device
// commands". By default it shows what users need; the drive's own lines
// (failed commands with their bytes and sense) show only when asked for,
// but are kept either way.
#include <QPlainTextEdit>

#include <cstdint>
#include <vector>

class QAction;

namespace kestrel::app {

// Whether a log line is one of the device's own (a command and its reply)
// rather than a line for the user. The one place that decides it.
bool IsDeviceLine(const QString& Line, uint8_t Type);

class TLogView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TLogView(QWidget* Parent = nullptr);

    void AppendLine(const QString& Line, uint8_t Type = 0);
    // Every line shown, in order.
    QStringList Lines() const;
    // Every line kept, device lines included.
    QStringList AllLines() const;
    // Puts the lines shown on the clipboard.
    void CopyAll();
    // Empties the log (the kept device lines too).
    void ClearLog();

    void SetShowDeviceLines(bool Show);
    bool ShowDeviceLines() const { return showDevice_; }

    QAction* ClearAction() const { return clearAction_; }
    QAction* CopyAction() const { return copyAction_; }
    QAction* ShowDeviceAction() const { return showDeviceAction_; }

protected:
    void contextMenuEvent(QContextMenuEvent* Event) override;

private:
    struct TLine {
        QString Text;
        bool Device;
    };
    void ShowLine(const QString& Line);

    std::vector<TLine> lines_;
    bool showDevice_ = false;
    QAction* clearAction_;
    QAction* copyAction_;
    QAction* showDeviceAction_;
};

}  // namespace kestrel::app
