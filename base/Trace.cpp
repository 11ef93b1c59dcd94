#include "base/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {
std::mutex g_mutex;
bool g_enabled = true;
Trace::Sink g_sink;
thread_local bool t_capturing = false;
thread_local std::vector<Trace::Entry> t_captured;

void write(Trace::Stream stream, const std::string& text) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_sink)
        g_sink(stream, text);
    if (!g_enabled)
        return;
    FILE* f = stream == Trace::Out ? stdout : stderr;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fflush(f);
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
    std::lock_guard<std::mutex> lock(g_mutex);
    g_sink = std::move(sink);
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
