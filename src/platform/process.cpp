#include "platform/process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>

extern char** environ;

namespace platform {

std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> args;
    std::string cur;
    bool inArg = false, quoted = false;
    size_t i = 0;
    const size_t n = line.size();
    while (i < n) {
        char c = line[i];
        if (c == '\\') {
            size_t slashes = 0;
            while (i < n && line[i] == '\\')
                ++slashes, ++i;
            inArg = true;
            if (i < n && line[i] == '"') {
                cur.append(slashes / 2, '\\');
                if (slashes % 2) {
                    cur.push_back('"');
                    ++i;
                }
                // an even count leaves the quote to the next round, where it groups
            } else {
                cur.append(slashes, '\\');
            }
            continue;
        }
        if (c == '"') {
            inArg = true;
            quoted = !quoted;
            ++i;
            continue;
        }
        if ((c == ' ' || c == '\t') && !quoted) {
            if (inArg) args.push_back(cur);
            cur.clear();
            inArg = false;
            ++i;
            continue;
        }
        cur.push_back(c);
        inArg = true;
        ++i;
    }
    if (inArg) args.push_back(cur);
    return args;
}

std::string QuoteArgument(const std::string& arg) {
    std::string out = "\"";
    size_t slashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        if (c == '"') {
            out.append(slashes * 2 + 1, '\\');
        } else {
            out.append(slashes, '\\');
        }
        slashes = 0;
        out.push_back(c);
    }
    out.append(slashes * 2, '\\'); // they precede the closing quote
    out.push_back('"');
    return out;
}

std::string ProgramFolder() {
    char buf[4096];
    ssize_t len = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (len <= 0) return {};
    std::string exe(buf, static_cast<size_t>(len));
    auto slash = exe.rfind('/');
    if (slash == std::string::npos) return {};
    return exe.substr(0, slash);
}

namespace {

constexpr int kPipeBytes = 1 << 20; // the largest an unprivileged process may ask for

bool IsExecutableFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

void SleepMs(int ms) {
    struct timespec ts {
        ms / 1000, (ms % 1000) * 1000000L
    };
    nanosleep(&ts, nullptr);
}

} // namespace

std::string FindExecutable(const std::string& name) {
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
    std::string own = ProgramFolder();
    if (!own.empty() && IsExecutableFile(own + "/" + name)) return own + "/" + name;
    const char* path = getenv("PATH");
    if (!path) return {};
    std::string p(path);
    size_t start = 0;
    while (start <= p.size()) {
        size_t end = p.find(':', start);
        if (end == std::string::npos) end = p.size();
        std::string cand =
            (end > start ? p.substr(start, end - start) : std::string(1, '.')) + "/" + name;
        if (IsExecutableFile(cand)) return cand;
        start = end + 1;
    }
    return {};
}

bool SpawnWithStdinPipe(const std::string& program, const std::vector<std::string>& args,
                        ChildProcess& child, std::string* error) {
    auto fail = [&](const char* what, int err) {
        if (error) *error = std::string(what) + ": " + strerror(err);
        return false;
    };
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return fail("pipe", errno);

    posix_spawn_file_actions_t fa;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&fa);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_adddup2(&fa, fds[0], 0);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    // The child must not inherit our ignored SIGPIPE or any blocked signal.
    sigset_t def, mask;
    sigemptyset(&def);
    sigaddset(&def, SIGPIPE);
    sigaddset(&def, SIGXFSZ);
    sigemptyset(&mask);
    posix_spawnattr_setsigdefault(&attr, &def);
    posix_spawnattr_setsigmask(&attr, &mask);
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, program.c_str(), &fa, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    close(fds[0]);
    if (rc != 0) {
        close(fds[1]);
        return fail(program.c_str(), rc);
    }
    // Non-blocking, so a write never waits longer than the poll allows.
    fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
    // A roomy pipe (seconds of audio) lets an encoder fall behind for a moment
    // without the writer having to wait; the default 64 KiB is a third of a second.
    fcntl(fds[1], F_SETPIPE_SZ, kPipeBytes);
    child = ChildProcess{};
    child.pid = pid;
    child.stdinFd = fds[1];
    return true;
}

bool WriteToChild(ChildProcess& child, const void* data, size_t size, int timeoutMs) {
    if (child.stdinFd < 0) return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        struct pollfd pfd {
            child.stdinFd, POLLOUT, 0
        };
        int pr = poll(&pfd, 1, timeoutMs);
        if (pr < 0 && errno == EINTR) continue;
        if (pr <= 0) return false; // an encoder that stopped reading
        if (pfd.revents & (POLLERR | POLLNVAL)) return false;
        ssize_t w = write(child.stdinFd, p, size);
        if (w < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return false; // EPIPE: the reader is gone
        }
        p += w;
        size -= static_cast<size_t>(w);
    }
    return true;
}

bool ChildRunning(ChildProcess& child) {
    if (child.pid <= 0 || child.exited) return false;
    int status = 0;
    pid_t r = waitpid(child.pid, &status, WNOHANG);
    if (r == child.pid) {
        child.exited = true;
        child.status = status;
        return false;
    }
    return r == 0;
}

bool FinishChild(ChildProcess& child, int timeoutMs) {
    if (child.stdinFd >= 0) {
        close(child.stdinFd);
        child.stdinFd = -1;
    }
    if (child.pid <= 0) return false;
    for (int waited = 0; ChildRunning(child); waited += 10) {
        if (waited >= timeoutMs) {
            kill(child.pid, SIGKILL);
            int status = 0;
            if (waitpid(child.pid, &status, 0) == child.pid) child.status = status;
            child.exited = true;
            child.pid = -1;
            return false;
        }
        SleepMs(10);
    }
    child.pid = -1;
    return child.exited && WIFEXITED(child.status) && WEXITSTATUS(child.status) == 0;
}

void IgnoreSigPipe() {
    signal(SIGPIPE, SIG_IGN);
}

void IgnoreWriteSignals() {
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
}

} // namespace platform
