#pragma once

#include <QWidget>
#include <memory>

class QLabel;
class QPlainTextEdit;
class SimSession;
class SimSpreadsheet;

// The window that stands for the simulated spreadsheet. Key presses made in it are translated to
// Mac key codes and modifier flags and typed into the session, so they pass through the session's
// event taps before the spreadsheet sees them, exactly as on a Mac. It lists what was typed (and
// whether a tap swallowed it) and the spreadsheet's own log of received keys and pressed elements.
//
// Closing the window quits the simulated spreadsheet. Main thread only.
class SimSpreadsheetWindow : public QWidget {
    Q_OBJECT
public:
    SimSpreadsheetWindow(SimSession& session, std::shared_ptr<SimSpreadsheet> spreadsheet, QWidget* parent = nullptr);
    ~SimSpreadsheetWindow() override;

    std::shared_ptr<SimSpreadsheet> spreadsheet() const { return m_spreadsheet; }

    // What was typed, one line per event: "⌥ down — swallowed", "H — passed".
    QStringList typedLines() const;
    // The spreadsheet's log as shown.
    QStringList logLines() const;
    QString workbookTitleText() const;

    // The modifier flags held down now, as typed into the session.
    quint64 heldFlags() const { return m_heldFlags; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // True when the key event was typed into the session.
    bool typeKey(const QKeyEvent& event, bool press);
    void releaseHeldModifiers();
    void addTyped(const QString& what, bool reached);
    void refresh();

    SimSession& m_session;
    std::shared_ptr<SimSpreadsheet> m_spreadsheet;
    quint64 m_heldFlags = 0;
    qint64 m_shownLogLines = 0;
    QLabel* m_title = nullptr;
    QLabel* m_state = nullptr;
    QPlainTextEdit* m_typed = nullptr;
    QPlainTextEdit* m_log = nullptr;
};
