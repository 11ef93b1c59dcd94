#pragma once
// The one route to the main window's status bar: a short message that clears
// itself after a given time, and the progress bar of long operations.
// Any code that reports progress calls StatusBarController::instance() and
// needs no link to the main window. GUI thread only (first creation is safe
// from any thread).

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

#include <memory>
#include <string>

class StatusBarController : public QObject {
    Q_OBJECT
public:
    // The process-wide instance, created on first use; lives until exit.
    static std::shared_ptr<StatusBarController> instance();

    // Stores links to the main window's status bar widgets (not owned). Until
    // set, and after the widgets are destroyed, messages and progress values
    // are only remembered, nothing is shown.
    void setWidgets(QStatusBar* statusBar, QLabel* messageLabel, QLabel* secondLabel,
                    QProgressBar* progressBar);

    // Shows text (local 8-bit code page) in the message label and clears it
    // after `milliseconds`; a newer message replaces it and restarts the timer.
    void showMessage(const std::string& text, int milliseconds);
    // Stores the value and shows it in the progress bar.
    void setProgress(int value);
    // Adds n, limited to 100, and shows the result; a stored value of exactly
    // 100 then becomes 0, so the bar shows a full run and the next run counts
    // from 0.
    void advanceProgress(int n);

    int progress() const { return m_progress; }
    // The single-shot timer that clears the message (for inspection).
    const QTimer& messageTimer() const { return m_timer; }

public slots:
    // Empties the message label.
    void clearMsg();

private:
    StatusBarController();

    QTimer m_timer;
    int m_progress = 0;
    QPointer<QStatusBar> m_statusBar;
    QPointer<QLabel> m_messageLabel;
    QPointer<QLabel> m_secondLabel;
    QPointer<QProgressBar> m_progressBar;
};
