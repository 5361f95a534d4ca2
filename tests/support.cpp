#include "support.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
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

pid_t start(const char* path, std::array<int, 3> fds, std::initializer_list<int> closed,
            std::span<const char* const> args) {
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
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int i = 0; i < 3; ++i) {
        const int fd = fds[static_cast<std::size_t>(i)];
        fd < 0 ? posix_spawn_file_actions_addclose(&actions, i)
               : posix_spawn_file_actions_adddup2(&actions, fd, i);
    }
    for (const int fd : closed)
        posix_spawn_file_actions_addclose(&actions, fd);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid;
    const int failed = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) throw std::runtime_error(std::string("cannot start ") + path);
    return pid;
}

int waitfor(pid_t pid) {
    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0) {
    }
    return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
}

result run(const char* path, std::string_view input, stdoutmode mode, const char* stdinpath,
           std::span<const char* const> args, std::size_t skip) {
    tempfile in, out, err;
    writeall(in.fd, input);
    // The child's standard input shares this descriptor's offset.
    if (::lseek(in.fd, static_cast<off_t>(skip), SEEK_SET) < 0)
        throw std::runtime_error("lseek failed");
    // What the child's standard input and output are, and what is opened
    // here for them, to be closed once it has started.
    std::vector<int> opened;
    const auto open = [&](int fd) { return opened.push_back(fd), fd; };
    const int stdinfd = stdinpath != nullptr ? open(::open(stdinpath, O_RDONLY)) : in.fd;
    int stdoutfd = out.fd;
    if (mode == stdoutmode::devfull) stdoutfd = open(::open("/dev/full", O_WRONLY));
    if (mode == stdoutmode::closed) stdoutfd = -1;
    if (mode == stdoutmode::brokenpipe) {
        // A pipe whose reader has already gone.
        int pipefd[2];
        if (::pipe(pipefd) != 0) throw std::runtime_error("pipe failed");
        ::close(pipefd[0]);
        stdoutfd = open(pipefd[1]);
    }
    // The child inherits a soft limit on the file size, set here until it
    // has started.
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    rlimit lowered = limit;
    if (mode == stdoutmode::limited) lowered.rlim_cur = outputlimit;
    ::setrlimit(RLIMIT_FSIZE, &lowered);
    pid_t pid = -1;
    try {
        pid = start(path, {stdinfd, stdoutfd, err.fd}, {}, args);
    } catch (...) {
    }
    ::setrlimit(RLIMIT_FSIZE, &limit);
    for (const int fd : opened)
        ::close(fd);
    if (pid < 0) throw std::runtime_error(std::string("cannot start ") + path);
    result r;
    r.status = waitfor(pid);
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
    pid_t pid;
    try {
        pid = start(path, {pipefd[0], out.fd, err.fd}, {pipefd[0], pipefd[1]});
    } catch (...) {
        ::close(pipefd[0]);
        ::close(pipefd[1]);
        throw;
    }
    ::close(pipefd[0]);
    // A child that stops reading early must not kill this process.
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    feed(pipefd[1]);
    std::signal(SIGPIPE, previous);
    measured m;
    m.peakkb = peakwhenidle(pid, pipefd[1]);
    ::close(pipefd[1]);
    m.status = waitfor(pid);
    m.out = slurp(out.path);
    m.err = slurp(err.path);
    return m;
}

} // namespace testing_support
