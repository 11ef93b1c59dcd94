#pragma once
// The widget application object that GUI tests need, created on first use and
// kept for the whole test executable.

class QApplication;

namespace testing_support {
QApplication& guiApp();
// Runs the event loop until pred() holds or maxMs milliseconds have passed;
// returns pred()'s final value.
template <class Pred>
bool spinUntil(Pred pred, int maxMs);
bool spinUntilImpl(bool (*pred)(void*), void* ctx, int maxMs);

template <class Pred>
bool spinUntil(Pred pred, int maxMs) {
    return spinUntilImpl([](void* p) { return (*static_cast<Pred*>(p))(); }, &pred, maxMs);
}
} // namespace testing_support
