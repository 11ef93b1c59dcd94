#pragma once
// Runs an outside program (the signing script's `node`, test helpers such as
// `unzip`) synchronously, with an argument vector and no shell in between,
// and a deadline past which the program is killed.

#include <string>
#include <vector>

struct ToolResult {
    bool started = false;  // false: the program could not be started (see error)
    int exitCode = -1;     // exit status; -1 when it did not exit normally
    std::string output;    // standard output and error together, at most kMaxOutput bytes
    std::string error;     // why it could not be started or did not exit normally
    bool timedOut = false; // killed because it ran past its deadline
    bool succeeded() const { return started && exitCode == 0; }
};

class ExternalTool {
public:
    static constexpr size_t kMaxOutput = 64 * 1024;
    static constexpr int kDefaultTimeoutMs = 10 * 60 * 1000;

    // Full path of the executable `name` found on the PATH of this process;
    // empty when PATH is unset or no folder of it holds an executable file of
    // that name. A name containing "/" is returned as is when executable.
    static std::string find(const std::string& name);

    // Runs args[0] (a path, not searched on PATH) with args[1..] and waits for
    // it to end, at most timeoutMs milliseconds (at least 1). The child
    // inherits the environment and the current folder and leads a process
    // group of its own; its output is captured (beyond kMaxOutput it is read
    // and dropped). Past the deadline the whole group is killed (SIGKILL) and
    // reaped: timedOut is set, exitCode is -1 and error says
    // "timed out after <n> s, killed". Empty `args` gives started == false.
    // Never throws but std::bad_alloc.
    static ToolResult run(const std::vector<std::string>& args, int timeoutMs = kDefaultTimeoutMs);
};
