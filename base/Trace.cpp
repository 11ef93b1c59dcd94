#include "base/Trace.h"

#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

namespace {
// A sink together with the number of its calls still running, so that
// setSink can wait until the sink it replaced is no longer in use.
struct SinkSlot {
    Trace::Sink sink;
    int running = 0;
};

std::mutex g_mutex; // guards g_enabled, g_slot and the slots' counters
std::condition_variable g_idle;
bool g_enabled = true;
std::shared_ptr<SinkSlot> g_slot;
thread_local bool t_capturing = false;
thread_local std::vector<Trace::Entry> t_captured;
thread_local int t_inSink = 0;

// Console first (under the lock, so lines of several threads stay whole),
// then the sink, with the lock released: a sink may trace, take its own
// locks or wait for another thread that traces.
void write(Trace::Stream stream, const std::string& text) {
    std::shared_ptr<SinkSlot> slot;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_slot) {
            slot = g_slot;
            ++slot->running;
        }
        if (g_enabled) {
            FILE* f = stream == Trace::Out ? stdout : stderr;
            std::fwrite(text.data(), 1, text.size(), f);
            std::fflush(f);
        }
    }
    if (!slot)
        return;
    ++t_inSink;
    try {
        slot->sink(stream, text);
    } catch (...) {
        // A sink that throws loses this text; the caller goes on.
    }
    --t_inSink;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (--slot->running == 0)
        g_idle.notify_all();
}

void emit(Trace::Stream stream, const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n < 0)
        return;
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), fmt, args);
    std::string text(buf.data(), static_cast<size_t>(n));
    if (t_capturing)
        t_captured.push_back({stream, std::move(text)});
    else
        write(stream, text);
}
} // namespace

void Trace::out(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    emit(Out, fmt, args);
    va_end(args);
}

void Trace::err(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    emit(Err, fmt, args);
    va_end(args);
}

void Trace::setEnabled(bool enabled) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_enabled = enabled;
}

void Trace::setSink(Sink sink) {
    std::shared_ptr<SinkSlot> next;
    if (sink) {
        next = std::make_shared<SinkSlot>();
        next->sink = std::move(sink);
    }
    std::unique_lock<std::mutex> lock(g_mutex);
    std::shared_ptr<SinkSlot> previous = std::move(g_slot);
    g_slot = std::move(next);
    // Inside a sink call its own slot counts as running: waiting would never end.
    if (previous && t_inSink == 0)
        g_idle.wait(lock, [&previous] { return previous->running == 0; });
}

void Trace::beginCapture() {
    t_captured.clear();
    t_capturing = true;
}

std::vector<Trace::Entry> Trace::endCapture() {
    t_capturing = false;
    return std::move(t_captured);
}

void Trace::replay(const std::vector<Entry>& entries) {
    for (const Entry& e : entries)
        write(e.stream, e.text);
}
