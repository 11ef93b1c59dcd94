#include "pack/ExternalTool.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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

// Reads the pipe to its end, keeping at most `limit` bytes.
void drain(int fd, std::string& out, size_t limit) {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        const size_t room = limit - std::min(limit, out.size());
        out.append(buf, std::min(room, static_cast<size_t>(n)));
    }
}

int waitFor(pid_t pid, std::string& error) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            error = std::string("waitpid: ") + std::strerror(errno);
            return -1;
        }
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        error = "terminated by signal " + std::to_string(WTERMSIG(status));
    return -1;
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

ToolResult ExternalTool::run(const std::vector<std::string>& args) {
    ToolResult r;
    if (args.empty()) {
        r.error = "no program given";
        return r;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        r.error = std::string("pipe: ") + std::strerror(errno);
        return r;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);

    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        r.error = args[0] + ": " + std::strerror(rc);
        return r;
    }
    r.started = true;
    drain(fds[0], r.output, kMaxOutput);
    ::close(fds[0]);
    r.exitCode = waitFor(pid, r.error);
    return r;
}
