#pragma once
// Connects the pack pipeline's progress and messages to the main window's
// status bar through StatusBarController.

#include "pack/PackStatusSink.h"

class StatusBarPackSink : public PackStatusSink {
public:
    void showMessage(const std::string& text, int milliseconds) override;
    void setProgress(int value) override;
    void advanceProgress(int n) override;
};
