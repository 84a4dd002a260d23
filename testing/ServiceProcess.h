// Runs TesselServiceLocal on a free loopback port for a test, and stops it.
#pragma once

#include <signal.h>
#include <sys/prctl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

class ServiceProcess {
public:
    explicit ServiceProcess(std::vector<std::string> args = {})
    {
        int out[2];
        if (pipe(out) != 0)
            throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            // The service ends with the test, even when the test dies first.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            std::vector<std::string> all = {TESSEL_SERVICE_EXE, "--port", "0"};
            all.insert(all.end(), args.begin(), args.end());
            std::vector<char*> argv;
            for (std::string& a : all)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = fdopen(out[0], "r");
        char line[256] = {};
        if (!out_ || !fgets(line, sizeof line, out_))
            throw std::runtime_error("the service did not start");
        first_ = line;
        const std::string prefix = "listening on http://127.0.0.1:";
        if (first_.rfind(prefix, 0) != 0)
            throw std::runtime_error("unexpected first line: " + first_);
        port_ = std::stoi(first_.substr(prefix.size()));
    }
    ~ServiceProcess() { Stop(); }
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    // Sends the signal and returns the exit status (-1 when it did not exit normally).
    int Stop(int sig = SIGTERM)
    {
        if (pid_ <= 0)
            return status_;
        kill(pid_, sig);
        int status = 0;
        // A service that does not stop within ten seconds is killed, and the test sees -1.
        bool done = false;
        for (int i = 0; i < 1000 && !done; ++i) {
            done = waitpid(pid_, &status, WNOHANG) == pid_;
            if (!done)
                usleep(10000);
        }
        if (!done) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);  // killed: not a normal exit
        }
        pid_ = 0;
        if (out_)
            fclose(out_);
        out_ = nullptr;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_;
    }

    pid_t pid() const { return pid_; }
    int port() const { return port_; }
    const std::string& firstLine() const { return first_; }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    std::string MainDescription() const { return Url("/TesselService/TesselServiceCore.xml"); }
    std::string AdminDescription() const { return Url("/TesselService/TesselServiceCoreAdmin.xml"); }
    std::string Soap2Description() const { return Url("/TesselService2/TesselServiceCore.wsdl"); }

private:
    pid_t pid_ = 0;
    FILE* out_ = nullptr;
    int port_ = 0;
    int status_ = -1;
    std::string first_;
};
