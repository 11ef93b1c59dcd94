#include "app/StatusBarPackSink.h"

#include "app/StatusBarController.h"

void StatusBarPackSink::showMessage(const std::string& text, int milliseconds) {
    StatusBarController::instance()->showMessage(text, milliseconds);
}

void StatusBarPackSink::setProgress(int value) { StatusBarController::instance()->setProgress(value); }

void StatusBarPackSink::advanceProgress(int n) { StatusBarController::instance()->advanceProgress(n); }
