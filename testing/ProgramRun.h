// Runs a program of the kit for a test: no shell, its standard output and
// standard error captured apart, its exit status and peak memory, extra
// environment entries.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

struct ProgramResult {
    int status = -1;  // the exit status; -1 when a signal ended it
    std::string out, err;
    long peakRssKiB = 0;  // the most resident memory the program had
};

// `env` entries "NAME=VALUE" replace or add to the test's environment; an
// entry "NAME" removes it. A program still running after `timeoutSeconds` is
// killed (status -1): it only catches hangs.
inline ProgramResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                                int timeoutSeconds = 120)
{
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string& x : env)
            replaced = replaced || x.substr(0, x.find('=')) == name;
        if (!replaced)
            environment.push_back(entry);
    }
    for (const std::string& x : env)
        if (x.find('=') != std::string::npos)
            environment.push_back(x);
    std::vector<char*> args, envp;
    std::vector<std::string> argCopy = argv;
    for (std::string& a : argCopy)
        args.push_back(a.data());
    args.push_back(nullptr);
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        close(out[0]), close(out[1]), close(err[0]), close(err[1]);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    ProgramResult r;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&r.out, &r.err};
    int open = 2;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    bool killed = false;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(pid, SIGKILL);
            killed = true;
            break;
        }
        if (poll(fds, 2, static_cast<int>(left.count())) < 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buf[65536];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<std::size_t>(n));
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& f : fds)
        if (f.fd >= 0)
            close(f.fd);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    r.peakRssKiB = usage.ru_maxrss;
    r.status = !killed && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}
