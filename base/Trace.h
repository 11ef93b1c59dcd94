#pragma once
// Console trace lines. Every line the program reports on its console goes
// through here so that the texts stay exact and can be silenced or captured
// in one place (tests install a sink to read them back).

#include <functional>
#include <string>
#include <vector>

class Trace {
public:
    enum Stream { Out, Err };
    using Sink = std::function<void(Stream, const std::string&)>;

    // printf-style; the text is written as given (callers supply their own newlines).
    static void out(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    static void err(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

    // false: nothing is printed (the sink, if any, still receives the text).
    static void setEnabled(bool enabled);
    // Receives every traced text; pass an empty function to remove it. The
    // sink is called without any lock of this class held, possibly from
    // several threads at once, so it must guard its own state; it may trace.
    // setSink returns once no call of the sink it replaces is still running
    // (except when called from inside a sink), so a sink's captured state may
    // be destroyed right after it is removed.
    static void setSink(Sink sink);

    // Deferred lines of worker threads: between beginCapture and endCapture
    // the calling thread's traced texts are kept instead of being written,
    // and replay later writes them (on any thread) as if traced then. Lets
    // parallel work report in the order a sequential run would.
    struct Entry {
        Stream stream;
        std::string text;
    };
    static void beginCapture();
    static std::vector<Entry> endCapture();
    static void replay(const std::vector<Entry>& entries);
};
