#include "support.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

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

} // namespace

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

result run(const char* path, std::string_view input, stdoutmode mode, const char* stdinpath) {
    tempfile in, out, err;
    writeall(in.fd, input);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(
        &actions, 0, stdinpath != nullptr ? stdinpath : in.path.c_str(), O_RDONLY, 0);
    int pipefd[2] = {-1, -1};
    switch (mode) {
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

    char* argv[] = {const_cast<char*>(path), nullptr};
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid;
    const int failed = posix_spawn(&pid, path, &actions, &attributes, argv, environ);
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

} // namespace testing_support
