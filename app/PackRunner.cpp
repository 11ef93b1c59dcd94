#include "app/PackRunner.h"

#include "app/StatusBarPackSink.h"
#include "base/ExceptionReason.h"
#include "base/Log.h"
#include "base/Trace.h"
#include "pack/PackController.h"
#include "scene/MainDataHolder.h"
#include "scene/ProjectSnapshot.h"

#include <QMetaObject>

#include <exception>
#include <system_error>

namespace {

constexpr int kStatusMs = 3000;

void refuse(const std::string& text) {
    Trace::out("%s\n", text.c_str());
    LOG_INFO("%s\n", text.c_str());
    StatusBarPackSink().showMessage(text, kStatusMs);
}

// The job on the worker thread; never throws.
bool runOnWorker(const PackRunner::Job& job) {
    try {
        StatusBarPackSink sink;
        return job(sink);
    } catch (...) {
        try {
            Trace::out("pack step runPack failed: %s\n", exceptionReason(std::current_exception()).c_str());
        } catch (...) {
        }
        return false;
    }
}

// Joins a finished or finishing worker; a join that fails (it cannot for a
// joinable thread other than this one) is traced, never thrown.
void joinWorker(std::thread& worker) {
    if (!worker.joinable())
        return;
    try {
        worker.join();
    } catch (const std::system_error& e) {
        Trace::err("PackRunner: cannot join the pack worker: %s\n", e.what());
    }
}

} // namespace

PackRunner::PackRunner(QObject* parent) : QObject(parent) {}

PackRunner::~PackRunner() { joinWorker(m_worker); }

bool PackRunner::start(std::shared_ptr<const ProjectSnapshot> project, int option) {
    if (!project && !m_running) {
        refuse("Nothing to pack!");
        return false;
    }
    Job job;
    try {
        job = [project, option](PackStatusSink& sink) {
            return PackController::forSnapshot(project, &sink).packProject(project->projectType, option);
        };
    } catch (...) {
        refuse("Pack not started: " + exceptionReason(std::current_exception()));
        return false;
    }
    return startJob(std::move(job));
}

bool PackRunner::startJob(Job job) {
    if (m_running) {
        refuse(kBusyMessage);
        return false;
    }
    joinWorker(m_worker); // a finished worker whose completion is still queued
    m_running = true;
    const unsigned generation = ++m_generation;
    try {
        m_worker = std::thread([this, job = std::move(job), generation] {
            m_workerResult = runOnWorker(job);
            QMetaObject::invokeMethod(this, [this, generation] { complete(generation); }, Qt::QueuedConnection);
        });
    } catch (...) {
        m_running = false;
        refuse("Pack not started: " + exceptionReason(std::current_exception()));
        return false;
    }
    emit started();
    return true;
}

bool PackRunner::packCurrentProject(int option) {
    if (m_running) {
        refuse(kBusyMessage);
        return false;
    }
    std::shared_ptr<const ProjectSnapshot> project;
    try {
        project = std::make_shared<const ProjectSnapshot>(ProjectSnapshot::capture(*MainDataHolder::instance()));
    } catch (...) {
        refuse("Pack not started: " + exceptionReason(std::current_exception()));
        return false;
    }
    return start(std::move(project), option);
}

void PackRunner::waitForFinished() {
    if (m_running)
        complete(m_generation);
}

void PackRunner::complete(unsigned generation) {
    if (generation != m_generation || !m_running)
        return; // already reported by waitForFinished
    joinWorker(m_worker);
    m_running = false;
    m_lastResult = m_workerResult;
    emit finished(m_lastResult);
}
