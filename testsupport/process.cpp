#include "process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace testsupport {
namespace {

struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() {
        if (pipe2(fd, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }
    ~Pipe() { closeRead(); closeWrite(); }
    void closeRead() { if (fd[0] >= 0) { ::close(fd[0]); fd[0] = -1; } }
    void closeWrite() { if (fd[1] >= 0) { ::close(fd[1]); fd[1] = -1; } }
};

[[noreturn]] void execChild(const std::vector<std::string>& argv, const RunOptions& options,
                            Pipe& in, Pipe& out, Pipe& err) {
    dup2(in.fd[0], 0);
    if (options.stdoutPath.empty()) {
        dup2(out.fd[1], 1);
    } else {
        int fd = ::open(options.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) _exit(126);
        dup2(fd, 1);
    }
    dup2(err.fd[1], 2);
    if (!options.workdir.empty() && chdir(options.workdir.c_str()) != 0) _exit(126);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

// Feeds the input and drains both output pipes until the child closes them.
void pump(const std::string& input, Pipe& in, Pipe& out, Pipe& err, RunResult& result) {
    size_t written = 0;
    if (input.empty()) in.closeWrite();
    char buf[65536];
    while (out.fd[0] >= 0 || err.fd[0] >= 0 || in.fd[1] >= 0) {
        pollfd fds[3];
        int n = 0;
        auto add = [&](int fd, short ev) { if (fd >= 0) fds[n++] = {fd, ev, 0}; };
        add(out.fd[0], POLLIN);
        add(err.fd[0], POLLIN);
        add(in.fd[1], POLLOUT);
        if (poll(fds, n, -1) < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("poll failed");
        }
        for (int k = 0; k < n; ++k) {
            if (!fds[k].revents) continue;
            int fd = fds[k].fd;
            if (fd == in.fd[1]) {
                ssize_t w = ::write(fd, input.data() + written, input.size() - written);
                if (w > 0) written += static_cast<size_t>(w);
                if (w < 0 || written == input.size()) in.closeWrite();
                continue;
            }
            ssize_t r = ::read(fd, buf, sizeof buf);
            if (r > 0) {
                (fd == out.fd[0] ? result.out : result.err).append(buf, static_cast<size_t>(r));
            } else if (r == 0 || errno != EINTR) {
                if (fd == out.fd[0]) out.closeRead(); else err.closeRead();
            }
        }
    }
}

}  // namespace

RunResult run(const std::vector<std::string>& argv, const RunOptions& options) {
    if (argv.empty()) throw std::invalid_argument("run: empty argument vector");
    // A child that stops reading must not kill the test with SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    Pipe in, out, err;
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) execChild(argv, options, in, out, err);
    in.closeRead();
    out.closeWrite();
    err.closeWrite();
    RunResult result;
    pump(options.input, in, out, err, result);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

}  // namespace testsupport
