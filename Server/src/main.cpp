// TesselServiceLocal: a local TesselService on loopback.
#include <pthread.h>
#include <signal.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "AnswerLog.h"
#include "GuardedServer.h"
#include "Service.h"
#include "TesselKitVersion.h"

using namespace tessel::server;

namespace {

constexpr char kUsage[] =
    "usage: TesselServiceLocal [options]\n"
    "  --port N                 listen on 127.0.0.1:N (default 8080; 0 picks a free port)\n"
    "  --user NAME:PASSWORD     a user who may log in (repeatable; default tester:tester)\n"
    "  --compress-threshold N   send results longer than N characters compressed (default 1024)\n"
    "  --encrypt-results        send the other results encrypted\n"
    "  --html-error OPERATION   answer OPERATION with an HTML error page (repeatable)\n"
    "  --timestamp-window S     accept client time stamps within S seconds (default 300)\n"
    "  --log FILE               write one JSON line per answer to FILE (passwords masked);\n"
    "                           SIGHUP reopens FILE\n"
    "  --request-timeout S      a request's header and body must arrive within S seconds (default 10)\n"
    "  --store-limit MB         keep at most MB megabytes in the store; puts beyond fail (default 256)\n"
    "  --ticket-ttl S           a ticket must open its session within S seconds (default 300)\n"
    "  --session-idle S         close a session not used for S seconds (default 1800)\n"
    "  -h, --help               print this text\n"
    "  --version                print the kit's version\n";

[[noreturn]] void Usage(const std::string& problem)
{
    std::cerr << "TesselServiceLocal: " << problem << "\n" << kUsage;
    std::exit(2);
}

long Number(const std::string& option, const std::string& value, long min, long max)
{
    std::size_t used = 0;
    long n = 0;
    try {
        n = std::stol(value, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != value.size() || n < min || n > max)
        Usage(option + " wants a number from " + std::to_string(min) + " to " + std::to_string(max) + ", not \"" +
              value + "\"");
    return n;
}

// The host the client used, if it is a plain host[:port]; otherwise ours.
std::string BaseUrl(const std::string& host, int port)
{
    bool plain = !host.empty() && host.size() < 256;
    for (const char c : host)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']'))
            plain = false;
    return "http://" + (plain ? host : "127.0.0.1:" + std::to_string(port));
}

}  // namespace

int main(int argc, char** argv)
{
    ServiceOptions options;
    HttpLimits limits;
    std::string logFile;
    long port = 8080;
    bool usersGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                Usage(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--port")
            port = Number(arg, value(), 0, 65535);
        else if (arg == "--user") {
            const std::string v = value();
            const auto colon = v.find(':');
            if (colon == std::string::npos || colon == 0)
                Usage("--user wants NAME:PASSWORD");
            if (!usersGiven)
                options.users.clear();
            usersGiven = true;
            options.users.emplace_back(v.substr(0, colon), v.substr(colon + 1));
        } else if (arg == "--compress-threshold")
            options.compressThreshold = static_cast<std::size_t>(Number(arg, value(), 0, 1L << 30));
        else if (arg == "--encrypt-results")
            options.encryptResults = true;
        else if (arg == "--html-error")
            options.htmlErrorOperations.insert(value());
        else if (arg == "--timestamp-window")
            options.timestampWindowSeconds = Number(arg, value(), 1, 1L << 30);
        else if (arg == "--log")
            logFile = value();
        else if (arg == "--request-timeout")
            limits.requestTimeout = std::chrono::seconds(Number(arg, value(), 1, 3600));
        else if (arg == "--store-limit")
            options.storeLimit = static_cast<std::size_t>(Number(arg, value(), 1, 1L << 20)) << 20;
        else if (arg == "--ticket-ttl")
            options.ticketTtlSeconds = Number(arg, value(), 1, 1L << 30);
        else if (arg == "--session-idle")
            options.sessionIdleSeconds = Number(arg, value(), 1, 1L << 30);
        else if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--version") {
            std::cout << tessel::KitVersionLine("TesselServiceLocal");
            return 0;
        } else
            Usage("unknown option " + arg);
    }

    // SIGINT and SIGTERM stop the server and SIGHUP reopens the log; they
    // are taken here, by the main thread, and by no other.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    try {
        std::optional<AnswerLog> log;
        if (!logFile.empty())
            log.emplace(logFile);
        options.noteCalls = log.has_value();
        Service service(options);
        limits.bodyLimit = options.bodyLimit;
        int bound = 0;
        GuardedServer::Observer observer;
        if (log)
            observer = [&log](const HttpRequest& req, const HttpAnswer& answer) { log->Write(req, answer); };
        GuardedServer server(limits, [&](const HttpRequest& req) {
            const std::string base = BaseUrl(req.host, bound);
            if (req.method == "GET" || req.method == "HEAD")
                return service.Get(req.path, base);
            if (req.method == "POST")
                return service.Post(req.path, req.body, base);
            return HttpAnswer{405, "text/html; charset=utf-8",
                              HtmlPage(405, "Method Not Allowed", "This service takes GET and POST requests."),
                              {{"Allow", "GET, HEAD, POST"}}};
        }, observer);
        bound = server.Bind("127.0.0.1", static_cast<int>(port));
        if (bound <= 0) {
            std::cerr << "TesselServiceLocal: cannot listen on 127.0.0.1:" << port << " (is the port in use?)\n";
            return 1;
        }
        // The first line is printed once the server accepts connections.
        if (!server.Start()) {
            std::cerr << "TesselServiceLocal: cannot serve on 127.0.0.1:" << bound << "\n";
            return 1;
        }
        std::cout << "listening on http://127.0.0.1:" << bound << "/" << std::endl;
        for (int sig = 0; sigwait(&signals, &sig) == 0 && sig == SIGHUP;) {
            if (!log)
                continue;
            if (log->Reopen())
                std::cerr << "TesselServiceLocal: reopened the log " << log->Path() << std::endl;
            else
                std::cerr << "TesselServiceLocal: cannot reopen the log " << log->Path()
                          << "; writing on to the file it had" << std::endl;
        }
        server.Stop();
        std::cout << "stopped" << std::endl;
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "TesselServiceLocal: " << e.what() << "\n";
        return 1;
    }
}
