#pragma once
// Where the pack pipeline reports progress and short status messages. The
// GUI connects it to the main window's status bar; tests record the calls;
// the core library itself never touches a widget.

#include <string>

class PackStatusSink {
public:
    virtual ~PackStatusSink() = default;
    // Shows `text` (local 8-bit code page) for `milliseconds`, replacing any
    // message still shown.
    virtual void showMessage(const std::string& text, int milliseconds) = 0;
    // Progress value 0..100 of the running pack.
    virtual void setProgress(int value) = 0;
    // Adds n to the progress value (the receiver limits it to 100).
    virtual void advanceProgress(int n) = 0;
};
