#pragma once
// Runs a pack of a project snapshot on a worker thread so the window stays
// responsive. Progress and messages reach the status bar through queued
// calls on the GUI thread (StatusBarPackSink); console lines and outputs are
// the same as a pack on the GUI thread.
//
// Use (GUI thread only, for every member):
//   runner.start(std::make_shared<const ProjectSnapshot>(
//                    ProjectSnapshot::capture(*MainDataHolder::instance())),
//                option);                // or runner.packCurrentProject(option)
//   connect(&runner, &PackRunner::started, ...)   // disable the pack buttons
//   connect(&runner, &PackRunner::finished, ...)  // enable them again
//   closeEvent: runner.waitForFinished();
//
// The worker runs PackController::forSnapshot(project, sink)
// .packProject(project->projectType, option): kind 2D when the project type
// has flag 1, else 3D; the bundle is named after the project; the pack traces
// "Pack 2d success!" / "Pack 2d failed!" (or "3d") when done. Nothing throws
// out of the runner or its worker.

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class PackStatusSink;
class ProjectSnapshot;

class PackRunner : public QObject {
    Q_OBJECT
public:
    // Status message shown (3000 ms) and traced when a start is refused
    // because a pack is running.
    static constexpr const char* kBusyMessage = "A pack is already running!";

    explicit PackRunner(QObject* parent = nullptr);
    // Waits for a running pack to end (see waitForFinished).
    ~PackRunner() override;

    // Starts packing `project` (not null; shared with the worker, which
    // keeps it alive) with pack option `option` (0 Auto, 1 Step 1, 2 Step 2).
    // Returns true and emits started() when the worker began. Returns false
    // without starting when a pack is running (kBusyMessage in the status
    // bar and on the console), when project is null, or when no thread could
    // be started (a status message and a console line say so).
    bool start(std::shared_ptr<const ProjectSnapshot> project, int option);
    // The worker part of any pack: runs job(sink) on the worker thread, sink
    // reaching the status bar through queued calls; job's result becomes
    // finished()'s. An exception thrown by job ends it with false. Refusals
    // and started() as for start().
    using Job = std::function<bool(PackStatusSink& sink)>;
    bool startJob(Job job);
    // start() with a snapshot of MainDataHolder::instance()'s current project,
    // taken here on the GUI thread. The 2D group relations must be up to date.
    bool packCurrentProject(int option);

    // True from a successful start() until finished() is emitted.
    bool isRunning() const { return m_running; }
    // Result of the last finished pack (false before any).
    bool lastResult() const { return m_lastResult; }

    // Blocks until the running pack has ended, then emits finished() if it
    // was not emitted yet. Returns at once when no pack runs. Status
    // messages the worker queued are shown when the event loop runs again.
    void waitForFinished();

signals:
    void started();
    // Emitted on the GUI thread once per started pack; ok: every step succeeded.
    void finished(bool ok);

private:
    // Joins the worker of pack `generation` and emits finished() once for it.
    void complete(unsigned generation);

    std::thread m_worker;
    std::atomic<bool> m_workerResult{false};
    unsigned m_generation = 0; // number of the latest started pack
    bool m_running = false;
    bool m_lastResult = false;
};
