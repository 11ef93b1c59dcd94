#include "pack/ExternalTool.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

bool isExecutableFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

using Clock = std::chrono::steady_clock;

int millisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : int(std::min<long long>(left, 60 * 1000));
}

// Reads the pipe until its end or the deadline, keeping at most `limit`
// bytes. False when the deadline passed first.
bool drainUntil(int fd, std::string& out, size_t limit, Clock::time_point deadline) {
    char buf[4096];
    for (;;) {
        struct pollfd p = {fd, POLLIN, 0};
        const int left = millisecondsLeft(deadline);
        if (left == 0)
            return false;
        const int ready = ::poll(&p, 1, left);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return true; // the pipe is unusable: go on to waiting for the child
        if (ready == 0)
            continue;    // deadline checked at the top
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return true;
        const size_t room = limit - std::min(limit, out.size());
        out.append(buf, std::min(room, static_cast<size_t>(n)));
    }
}

// Exit code of the child (-1 when it did not exit normally, with `error`);
// `exited` stays false when the deadline passed first.
int waitUntil(pid_t pid, Clock::time_point deadline, bool& exited, std::string& error) {
    exited = false;
    for (;;) {
        int status = 0;
        const pid_t got = ::waitpid(pid, &status, WNOHANG);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            exited = true;
            error = std::string("waitpid: ") + std::strerror(errno);
            return -1;
        }
        if (got == pid) {
            exited = true;
            if (WIFEXITED(status))
                return WEXITSTATUS(status);
            if (WIFSIGNALED(status))
                error = "terminated by signal " + std::to_string(WTERMSIG(status));
            return -1;
        }
        const int left = millisecondsLeft(deadline);
        if (left == 0)
            return -1;
        ::poll(nullptr, 0, std::min(left, 10)); // the child closed its output but still runs
    }
}

void killAndReap(pid_t pid) {
    ::kill(-pid, SIGKILL); // the child's whole process group
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

std::string ExternalTool::find(const std::string& name) {
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos)
        return isExecutableFile(name) ? name : std::string();
    const char* path = std::getenv("PATH");
    if (!path)
        return {};
    const std::string dirs = path;
    size_t start = 0;
    for (;;) {
        const size_t end = dirs.find(':', start);
        std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (dir.empty())
            dir = ".";
        const std::string candidate = dir + "/" + name;
        if (isExecutableFile(candidate))
            return candidate;
        if (end == std::string::npos)
            return {};
        start = end + 1;
    }
}

ToolResult ExternalTool::run(const std::vector<std::string>& args, int timeoutMs) {
    ToolResult r;
    const int limitMs = std::max(timeoutMs, 1);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    if (args.empty()) {
        r.error = "no program given";
        return r;
    }
    std::vector<char*> argv; // built before any descriptor is open, so nothing leaks if it throws
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        r.error = std::string("pipe: ") + std::strerror(errno);
        return r;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);

    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, args[0].c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        r.error = args[0] + ": " + std::strerror(rc);
        return r;
    }
    r.started = true;
    bool drained = false;
    try {
        drained = drainUntil(fds[0], r.output, kMaxOutput, deadline);
    } catch (...) { // out of memory while keeping output: no child or descriptor is left behind
        ::close(fds[0]);
        killAndReap(pid);
        throw;
    }
    ::close(fds[0]);
    bool exited = false;
    if (drained)
        r.exitCode = waitUntil(pid, deadline, exited, r.error);
    if (!exited) {
        killAndReap(pid);
        r.exitCode = -1;
        r.timedOut = true;
        r.error = "timed out after " + std::to_string((limitMs + 999) / 1000) + " s, killed";
    }
    return r;
}
