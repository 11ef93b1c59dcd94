#pragma once
// Connects the pack pipeline's progress and messages to the main window's
// status bar through StatusBarController. Safe to call from any thread: off
// the status bar's (GUI) thread each call is queued to it and runs there in
// call order; on the GUI thread it runs at once.

#include "pack/PackStatusSink.h"

class StatusBarPackSink : public PackStatusSink {
public:
    void showMessage(const std::string& text, int milliseconds) override;
    void setProgress(int value) override;
    void advanceProgress(int n) override;
};
