#include "app/StatusBarController.h"

#include "base/SharedInstance.h"

#include <algorithm>

std::shared_ptr<StatusBarController> StatusBarController::instance() {
    static std::mutex mutex;
    static std::shared_ptr<StatusBarController> shared;
    return sharedInstance(shared, mutex, [] { return new StatusBarController(); });
}

StatusBarController::StatusBarController() {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &StatusBarController::clearMsg);
}

void StatusBarController::setWidgets(QStatusBar* statusBar, QLabel* messageLabel, QLabel* secondLabel,
                                     QProgressBar* progressBar) {
    m_statusBar = statusBar;
    m_messageLabel = messageLabel;
    m_secondLabel = secondLabel;
    m_progressBar = progressBar;
}

void StatusBarController::showMessage(const std::string& text, int milliseconds) {
    if (m_messageLabel)
        m_messageLabel->setText(QString::fromLocal8Bit(text.c_str(), int(text.size())));
    m_timer.stop();
    m_timer.setInterval(milliseconds);
    m_timer.setSingleShot(true);
    m_timer.start();
}

void StatusBarController::clearMsg() {
    if (m_messageLabel)
        m_messageLabel->setText(QString());
}

void StatusBarController::setProgress(int value) {
    m_progress = value;
    if (m_progressBar)
        m_progressBar->setValue(value);
}

void StatusBarController::advanceProgress(int n) {
    m_progress = std::min(m_progress + n, 100);
    if (m_progressBar)
        m_progressBar->setValue(m_progress);
    if (m_progress == 100)
        m_progress = 0;
}
