#include "app/StatusBarPackSink.h"

#include "app/StatusBarController.h"

#include <QMetaObject>
#include <QThread>

#include <utility>

namespace {

// Runs call(controller) on the controller's thread: now when this is that
// thread, else queued in order behind earlier calls.
template <typename Call>
void onGuiThread(Call call) {
    const std::shared_ptr<StatusBarController> controller = StatusBarController::instance();
    StatusBarController* target = controller.get();
    if (QThread::currentThread() == target->thread()) {
        call(*target);
        return;
    }
    QMetaObject::invokeMethod(
        target, [target, call = std::move(call)]() { call(*target); }, Qt::QueuedConnection);
}

} // namespace

void StatusBarPackSink::showMessage(const std::string& text, int milliseconds) {
    onGuiThread([text, milliseconds](StatusBarController& c) { c.showMessage(text, milliseconds); });
}

void StatusBarPackSink::setProgress(int value) {
    onGuiThread([value](StatusBarController& c) { c.setProgress(value); });
}

void StatusBarPackSink::advanceProgress(int n) {
    onGuiThread([n](StatusBarController& c) { c.advanceProgress(n); });
}
