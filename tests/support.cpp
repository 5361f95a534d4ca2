#include "support.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace testing_support {

namespace {

// A temporary file, removed when done.
struct tempfile {
    std::string path;
    int fd;
    tempfile() {
        char name[] = "/tmp/tabjd-test-XXXXXX";
        fd = ::mkstemp(name);
        if (fd < 0) throw std::runtime_error("mkstemp failed");
        path = name;
    }
    ~tempfile() {
        ::close(fd);
        ::unlink(path.c_str());
    }
    tempfile(const tempfile&) = delete;
    tempfile& operator=(const tempfile&) = delete;
};

void writeall(int fd, std::string_view s) {
    while (!s.empty()) {
        const ssize_t n = ::write(fd, s.data(), s.size());
        if (n <= 0) throw std::runtime_error("write to temporary file failed");
        s.remove_prefix(static_cast<std::size_t>(n));
    }
}

// Whether a write that crosses the file size limit writes up to it, as on
// Linux, rather than failing whole.
bool writesuptolimit() {
    tempfile f;
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    rlimit lowered = limit;
    lowered.rlim_cur = 10;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &lowered);
    const ssize_t n = ::write(f.fd, "0123456789abcdefghij", 20);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, previous);
    return n == 10;
}

} // namespace

const char* lacks(stdoutmode mode) {
    static const bool devfull = ::access("/dev/full", W_OK) == 0;
    static const bool cut = writesuptolimit();
    if (mode == stdoutmode::devfull && !devfull) return "no /dev/full on this system";
    if (mode == stdoutmode::limited && !cut)
        return "a write past the file size limit is refused whole here, not cut at it";
    return nullptr;
}

std::string slurp(const std::string& path) {
    std::string s;
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) throw std::runtime_error("cannot open " + path);
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        s.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return s;
}

int spawn(pid_t& pid, const char* path, const posix_spawn_file_actions_t* actions,
          const posix_spawnattr_t* attributes, std::span<const char* const> args) {
    std::vector<char*> argv;
#if defined(TABJD_EMULATOR)
    // The emulator's words, found on PATH, then the program.
    std::string words = TABJD_EMULATOR;
    for (char* w = std::strtok(words.data(), " "); w != nullptr; w = std::strtok(nullptr, " "))
        argv.push_back(w);
#endif
    argv.push_back(const_cast<char*>(path));
    for (const char* a : args)
        argv.push_back(const_cast<char*>(a));
    argv.push_back(nullptr);
    return posix_spawnp(&pid, argv[0], actions, attributes, argv.data(), environ);
}

result run(const char* path, std::string_view input, stdoutmode mode, const char* stdinpath,
           std::span<const char* const> args, std::size_t skip) {
    tempfile in, out, err;
    writeall(in.fd, input);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The child's standard input shares this descriptor's offset.
    if (::lseek(in.fd, static_cast<off_t>(skip), SEEK_SET) < 0)
        throw std::runtime_error("lseek failed");
    if (stdinpath != nullptr)
        posix_spawn_file_actions_addopen(&actions, 0, stdinpath, O_RDONLY, 0);
    else
        posix_spawn_file_actions_adddup2(&actions, in.fd, 0);
    int pipefd[2] = {-1, -1};
    rlimit limit{};
    switch (mode) {
    case stdoutmode::limited:
        // The child inherits the soft limit, set here until it has started.
        ::getrlimit(RLIMIT_FSIZE, &limit);
        [[fallthrough]];
    case stdoutmode::file:
        posix_spawn_file_actions_addopen(&actions, 1, out.path.c_str(), O_WRONLY | O_TRUNC, 0);
        break;
    case stdoutmode::devfull:
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/full", O_WRONLY, 0);
        break;
    case stdoutmode::closed: posix_spawn_file_actions_addclose(&actions, 1); break;
    case stdoutmode::brokenpipe:
        // A pipe whose reader has already gone.
        if (::pipe(pipefd) != 0) throw std::runtime_error("pipe failed");
        ::close(pipefd[0]);
        posix_spawn_file_actions_adddup2(&actions, pipefd[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipefd[1]);
        break;
    }
    posix_spawn_file_actions_addopen(&actions, 2, err.path.c_str(), O_WRONLY | O_TRUNC, 0);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid;
    if (mode == stdoutmode::limited) {
        rlimit lowered = limit;
        lowered.rlim_cur = outputlimit;
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    const int failed = spawn(pid, path, &actions, &attributes, args);
    if (mode == stdoutmode::limited) ::setrlimit(RLIMIT_FSIZE, &limit);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (pipefd[1] >= 0) ::close(pipefd[1]);
    if (failed != 0) throw std::runtime_error(std::string("cannot start ") + path);
    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0) {
    }
    result r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    r.out = slurp(out.path);
    r.err = slurp(err.path);
    return r;
}

namespace {

// The child's peak resident set in KiB (VmHWM), read once it has taken all
// that was written into the pipe and sleeps waiting for more: what is left
// then is to read the end of the input and exit. ru_maxrss from wait4 will
// not do: a child started by posix_spawn shares this process's memory until
// it execs, and inherits its peak from there.
long peakwhenidle(pid_t pid, int pipefd) {
    const std::string proc = "/proc/" + std::to_string(pid);
    for (int i = 0; i < 20000; ++i) {
        int pending = 0;
        ::ioctl(pipefd, FIONREAD, &pending);
        const std::string stat = slurp(proc + "/stat");
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos || stat.compare(close, 4, ") Z ") == 0)
            throw std::runtime_error("the program ended before its input did");
        if (pending == 0 && stat.compare(close, 4, ") S ") == 0) {
            const std::string status = slurp(proc + "/status");
            const std::size_t at = status.find("VmHWM:");
            if (at != std::string::npos) return std::strtol(status.c_str() + at + 6, nullptr, 10);
        }
        ::usleep(500);
    }
    throw std::runtime_error("the program did not go idle");
}

} // namespace

measured runfed(const char* path, const std::function<void(int fd)>& feed) {
    tempfile out, err;
    int pipefd[2];
    if (::pipe(pipefd) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipefd[0], 0);
    posix_spawn_file_actions_addclose(&actions, pipefd[0]);
    posix_spawn_file_actions_addclose(&actions, pipefd[1]);
    posix_spawn_file_actions_addopen(&actions, 1, out.path.c_str(), O_WRONLY | O_TRUNC, 0);
    posix_spawn_file_actions_addopen(&actions, 2, err.path.c_str(), O_WRONLY | O_TRUNC, 0);
    pid_t pid;
    const int failed = spawn(pid, path, &actions);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipefd[0]);
    if (failed != 0) {
        ::close(pipefd[1]);
        throw std::runtime_error(std::string("cannot start ") + path);
    }
    // A child that stops reading early must not kill this process.
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    feed(pipefd[1]);
    std::signal(SIGPIPE, previous);
    measured m;
    m.peakkb = peakwhenidle(pid, pipefd[1]);
    ::close(pipefd[1]);
    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0) {
    }
    m.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    m.out = slurp(out.path);
    m.err = slurp(err.path);
    return m;
}

} // namespace testing_support
