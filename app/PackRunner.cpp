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

// The pack itself, on the worker thread; never throws.
bool packOnWorker(const std::shared_ptr<const ProjectSnapshot>& project, int option) {
    try {
        StatusBarPackSink sink;
        return PackController::forSnapshot(project, &sink).packProject(project->projectType, option);
    } catch (...) {
        try {
            Trace::out("pack step runPack failed: %s\n", exceptionReason(std::current_exception()).c_str());
        } catch (...) {
        }
        return false;
    }
}

} // namespace

PackRunner::PackRunner(QObject* parent) : QObject(parent) {}

PackRunner::~PackRunner() {
    if (m_worker.joinable())
        m_worker.join();
}

bool PackRunner::start(std::shared_ptr<const ProjectSnapshot> project, int option) {
    if (m_running) {
        refuse(kBusyMessage);
        return false;
    }
    if (!project) {
        refuse("Nothing to pack!");
        return false;
    }
    if (m_worker.joinable()) // a finished worker whose completion is still queued
        m_worker.join();
    m_running = true;
    const unsigned generation = ++m_generation;
    try {
        m_worker = std::thread([this, project, option, generation] {
            m_workerResult = packOnWorker(project, option);
            QMetaObject::invokeMethod(this, [this, generation] { complete(generation); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error& e) {
        m_running = false;
        refuse(std::string("Pack not started: ") + e.what());
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
    if (m_worker.joinable())
        m_worker.join();
    m_running = false;
    m_lastResult = m_workerResult;
    emit finished(m_lastResult);
}
