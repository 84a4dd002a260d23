// service_bench: the local service as its clients see it, each figure beside
// a baseline measured in the same run, against a service started for it.
//   - the main description fetched through the toolkit, and by raw libcurl
//     without compression and with gzip
//   - tessel-call GetLogCount as a whole process (description, login, call,
//     logout), and one whole-process fetch of the description
//   - tessel-call GetVOContent of a 1 MiB content read before (its compressed
//     form kept by the service) and of one just put, and tessel-call GetLogCount
//   - a small SOAP POST on one kept-alive connection, and on a new one each time
//   - authenticated calls per second from 32 clients at once, and from one
//
//   service_bench [--seconds S] [--quick]
// --seconds: how long each calls-per-second run lasts (default 3);
// --quick: one or two rounds of everything, for a check that it runs.
#include <curl/curl.h>
#include <libxml/parser.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ProgramRun.h"
#include "ServiceProcess.h"
#include "Soap/Packager.h"
#include "Soap/Transport.h"
#include "TempHome.h"
#include "TesselClient.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// How many rounds a figure takes: `rounds`, fewer when they pass `budgetMs`
// (at least three), one or two with --quick.
struct Rounds {
    int rounds;
    double budgetMs;
};

bool quick = false;

// The median time of one round of f, in milliseconds.
double Median(const Rounds& r, const std::function<void()>& f)
{
    f();  // warm: connections, caches, the first page faults
    const int wanted = quick ? 2 : r.rounds;
    std::vector<double> times;
    const Clock::time_point all = Clock::now();
    while (static_cast<int>(times.size()) < wanted &&
           (times.size() < 3 || MillisecondsSince(all) < r.budgetMs || quick)) {
        const Clock::time_point start = Clock::now();
        f();
        times.push_back(MillisecondsSince(start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// ---------------------------------------------------------------------------
// Raw libcurl, the baselines

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
using Easy = std::unique_ptr<CURL, CurlDeleter>;
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

size_t Append(char* data, size_t size, size_t n, void* sink)
{
    static_cast<std::string*>(sink)->append(data, size * n);
    return size * n;
}

Easy NewEasy()
{
    Easy easy(curl_easy_init());
    if (!easy)
        throw std::runtime_error("curl_easy_init failed");
    return easy;
}

// Performs what `easy` is set up for; the reply body, or an error for a
// failure or a status other than 2xx (a fault's 500 passes when `faultOk`).
std::string Perform(CURL* easy, bool faultOk = false)
{
    std::string body;
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    const CURLcode rc = curl_easy_perform(easy);
    if (rc != CURLE_OK)
        throw std::runtime_error(std::string("libcurl: ") + curl_easy_strerror(rc));
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if ((status < 200 || status > 299) && !(faultOk && status == 500))
        throw std::runtime_error("HTTP " + std::to_string(status));
    return body;
}

// One GET on a new connection; `encoding` is what it accepts ("" asks for none).
std::string RawGet(const std::string& url, const char* encoding)
{
    const Easy easy = NewEasy();
    curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    if (*encoding)
        curl_easy_setopt(easy.get(), CURLOPT_ACCEPT_ENCODING, encoding);
    return Perform(easy.get());
}

// A small SOAP POST, on `easy` as it is (a kept connection or a new one).
class RawPost {
public:
    RawPost(std::string url, std::string body, const std::string& action)
        : url_(std::move(url)), body_(std::move(body))
    {
        headers_.reset(curl_slist_append(nullptr, "Content-Type: text/xml; charset=utf-8"));
        curl_slist_append(headers_.get(), ("SOAPAction: \"" + action + "\"").c_str());
    }
    std::string Send(CURL* easy) const
    {
        curl_easy_setopt(easy, CURLOPT_URL, url_.c_str());
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers_.get());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body_.c_str());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(body_.size()));
        return Perform(easy, true);
    }

private:
    std::string url_, body_;
    Slist headers_;
};

// ---------------------------------------------------------------------------
// Whole processes

// The processor time, user and system, of the children waited for so far, in milliseconds.
double ChildrenCpuMs()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(u.ru_utime) + ms(u.ru_stime);
}

// The processor time, user and system, that a running process has taken, in
// milliseconds (fields 14 and 15 of /proc/PID/stat); 0 when it cannot be read.
double ProcessCpuMs(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    const std::size_t end = stat.rfind(')');  // the command name may hold blanks
    if (end == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(end + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14)
            ticks += std::atof(field.c_str());
    return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Counts the processes run and the processor time they and the service took.
struct CpuPerRun {
    explicit CpuPerRun(pid_t service) : service_(service) {}
    int runs = 0;
    double Mean() const { return (ChildrenCpuMs() - start_) / std::max(runs, 1); }
    double ServiceMean() const { return (ProcessCpuMs(service_) - serviceStart_) / std::max(runs, 1); }

private:
    pid_t service_;
    double start_ = ChildrenCpuMs();
    double serviceStart_ = ProcessCpuMs(service_);
};

void Run(const std::vector<std::string>& argv, const std::vector<std::string>& env = {})
{
    const ProgramResult r = RunProgram(argv, env);
    if (r.status != 0)
        throw std::runtime_error(argv[0] + " exited " + std::to_string(r.status) + ": " + r.err.substr(0, 400));
}

// ---------------------------------------------------------------------------
// Clients at once

// Authenticated GetLogCount calls per second from `clients` logged-in
// clients calling at once for `seconds`.
double CallsPerSecond(const ServiceProcess& svc, int clients, double seconds)
{
    std::vector<std::unique_ptr<TesselClient>> logged;
    for (int i = 0; i < clients; ++i) {
        logged.push_back(std::make_unique<TesselClient>(svc.MainDescription()));
        if (!logged.back()->Login("tester", "tester"))
            throw std::runtime_error("a client could not log in");
    }
    std::atomic<bool> go{false}, stop{false};
    std::atomic<long> calls{0}, failures{0};
    std::vector<std::thread> threads;
    for (auto& client : logged)
        threads.emplace_back([&, c = client.get()] {
            while (!go)
                std::this_thread::yield();
            while (!stop) {
                try {
                    if (c->Call("GetLogCount", {}).validation == 0)
                        ++calls;
                    else
                        ++failures;
                } catch (const std::exception&) {
                    ++failures;
                }
            }
        });
    const Clock::time_point start = Clock::now();
    go = true;
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    for (std::thread& t : threads)
        t.join();
    const double elapsed = MillisecondsSince(start) / 1000.0;
    for (auto& client : logged)
        client->Logout();
    if (failures > 0)
        throw std::runtime_error(std::to_string(failures.load()) + " calls of " + std::to_string(clients) +
                                 " clients failed");
    return static_cast<double>(calls) / elapsed;
}

// ---------------------------------------------------------------------------
// The table

struct Row {
    std::string what;
    double figure;
    std::string unit;
    std::string baseline;
    double base;
    std::string target;  // empty: none
};

std::string Fixed(double v, int decimals)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

std::string Figure(double v, const std::string& unit)
{
    return Fixed(v, v < 10 ? 2 : (v < 100 ? 1 : 0)) + " " + unit;
}

void Print(const std::vector<Row>& rows)
{
    std::printf("%-50s %12s   %-36s %12s %8s  %s\n", "figure", "", "baseline (same run)", "", "ratio", "target");
    for (const Row& r : rows) {
        const double ratio = r.figure / r.base;
        std::string verdict;
        if (!r.target.empty()) {
            const double limit = std::atof(r.target.c_str() + 3);  // "<= N" or ">= N"
            const bool met = r.target[0] == '<' ? ratio <= limit : ratio >= limit;
            verdict = r.target + (met ? "  met" : "  MISSED");
        }
        std::printf("%-50s %12s   %-36s %12s %7.2fx  %s\n", r.what.c_str(), Figure(r.figure, r.unit).c_str(),
                    r.baseline.c_str(), Figure(r.base, r.unit).c_str(), ratio, verdict.c_str());
    }
}

// A content of `bytes` bytes that compresses about as a real document does.
std::string Content(std::size_t bytes)
{
    std::mt19937 random(23);
    const char* words[] = {"tessel", "content", "record", "value", "folio", "note", "entry", "order", "item"};
    std::string text = "<content>";
    while (text.size() < bytes - 10) {
        text += "<line n=\"" + std::to_string(random() % 100000) + "\">";
        for (int w = 0; w < 6; ++w)
            text += std::string(words[random() % 9]) + " ";
        text += "</line>";
    }
    text.resize(bytes - 10, ' ');
    return text + "</content>";
}

int Main(int argc, char** argv)
{
    double seconds = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--quick")
            quick = true;
        else if (a == "--seconds" && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else {
            std::cerr << "usage: service_bench [--seconds S] [--quick]\n";
            return 2;
        }
    }
    if (!(seconds > 0) || seconds > 600) {
        std::cerr << "service_bench: --seconds takes a number of seconds above 0, at most 600\n";
        return 2;
    }
    if (quick)
        seconds = std::min(seconds, 0.2);

    curl_global_init(CURL_GLOBAL_DEFAULT);
    xmlInitParser();
    const TempHome home;  // the key container of this process and the programs it runs
    const ServiceProcess svc;
    const std::string description = svc.MainDescription();
    std::vector<Row> rows;

    // The description: the toolkit against raw libcurl.
    std::string encoding;
    std::size_t bytes = 0;
    const double toolkitGet = Median({200, 3000}, [&] {
        const tessel::soap::HttpReply reply = tessel::soap::HttpGet(description);
        encoding = reply.Header("content-encoding");
        bytes = reply.body.size();
    });
    const double packagerLoad = Median({200, 3000}, [&] {
        tessel::soap::Packager p;
        if (!p.LoadServicesDescription(1, description))
            throw std::runtime_error(p.LastError());
    });
    const double rawIdentity = Median({200, 3000}, [&] { RawGet(description, ""); });
    const double rawGzip = Median({200, 3000}, [&] { RawGet(description, "gzip"); });
    const std::string kb = std::to_string((bytes + 512) / 1024) + " KB";
    const std::string enc = encoding.empty() ? "identity" : encoding;
    rows.push_back({"description " + kb + ", toolkit HttpGet (" + enc + ")", toolkitGet, "ms",
                    "raw libcurl, no compression", rawIdentity, "<= 3"});
    rows.push_back({"  the same toolkit HttpGet", toolkitGet, "ms", "raw libcurl, " + enc, encoding == "gzip" ? rawGzip : rawIdentity, ""});
    rows.push_back({"description " + kb + ", raw libcurl gzip", rawGzip, "ms", "raw libcurl, no compression",
                    rawIdentity, ""});
    rows.push_back({"description " + kb + ", Packager load (fetch, parse)", packagerLoad, "ms",
                    "raw libcurl, no compression", rawIdentity, ""});

    // Parsing the kept text, as each call of a tool does.
    tessel::soap::Packager loaded;
    loaded.LoadServicesDescription(1, description);
    const std::string text = loaded.GetDescriptionText();
    const double parse = Median({500, 2000}, [&] {
        tessel::soap::Packager p;
        p.LoadServicesDescription(2, text);
    });

    // Whole processes: tessel-call against one fetch of the description.
    const std::vector<std::string> call = {TESSEL_CALL_EXE, "--uri", description, "--user", "tester"};
    const std::vector<std::string> password = {"TESSEL_PASSWORD=tester"};
    auto Call = [&](std::vector<std::string> args) {
        std::vector<std::string> all = call;
        all.insert(all.end(), args.begin(), args.end());
        return all;
    };
#ifdef TESSEL_CURL_PROGRAM
    const std::string fetcher = "curl";
    const std::vector<std::string> fetch = {TESSEL_CURL_PROGRAM, "-sS", "-f", description};
#else
    const std::string fetcher = "service_bench_fetch";
    const std::vector<std::string> fetch = {TESSEL_FETCH_PROGRAM, description};
#endif
    CpuPerRun fetchCpu(svc.pid());
    const double wholeFetch = Median({15, 3000}, [&] { Run(fetch), ++fetchCpu.runs; });
    const double fetchCpuMs = fetchCpu.Mean();
    CpuPerRun callCpu(svc.pid());
    const double getLogCount = Median({15, 6000}, [&] { Run(Call({"GetLogCount"}), password), ++callCpu.runs; });
    const double callCpuMs = callCpu.Mean(), callServiceMs = callCpu.ServiceMean();
    rows.push_back({"tessel-call GetLogCount, whole process", getLogCount, "ms",
                    "one " + fetcher + " of the description", wholeFetch, "<= 3"});

    // 1 MiB of content, put once by a client of the library.
    {
        TesselClient putter(description);
        if (!putter.Login("tester", "tester"))
            throw std::runtime_error("could not log in to put the content");
        const CallResult put = putter.Call("PutVOContent", {{"name", "BenchMiB"}, {"content", Content(1u << 20)}});
        if (put.result.find("BenchMiB") == std::string::npos)
            throw std::runtime_error("PutVOContent answered " + put.result.substr(0, 200));
        putter.Logout();
    }
    CpuPerRun mibCpu(svc.pid());
    const double getMiB = Median({9, 8000}, [&] {
        ++mibCpu.runs;
        const ProgramResult r = RunProgram(Call({"GetVOContent", "name=BenchMiB"}), password);
        if (r.status != 0 || r.out.size() < (1u << 20))
            throw std::runtime_error("tessel-call GetVOContent: exit " + std::to_string(r.status) + ", " +
                                     std::to_string(r.out.size()) + " bytes: " + r.err.substr(0, 400));
    });
    const double mibCpuMs = mibCpu.Mean(), mibServiceMs = mibCpu.ServiceMean();
    rows.push_back({"tessel-call GetVOContent 1 MiB, whole process", getMiB, "ms", "tessel-call GetLogCount",
                    getLogCount, "<= 3"});
    // The first read of a content just put: the service compresses it for this
    // read (the reads above find its compressed form kept).
    std::vector<double> firstReads;
    {
        TesselClient putter(description);
        if (!putter.Login("tester", "tester"))
            throw std::runtime_error("could not log in to put the content");
        std::string content = Content(1u << 20);
        for (int i = 0; i < (quick ? 1 : 7); ++i) {
            content[20] = static_cast<char>('a' + i);  // a content not read before
            const std::string name = "BenchNew" + std::to_string(i);
            putter.Call("PutVOContent", {{"name", name}, {"content", content}});
            const Clock::time_point start = Clock::now();
            const ProgramResult r = RunProgram(Call({"GetVOContent", "name=" + name}), password);
            firstReads.push_back(MillisecondsSince(start));
            if (r.status != 0 || r.out.size() < (1u << 20))
                throw std::runtime_error("tessel-call GetVOContent of a new content: exit " + std::to_string(r.status));
            putter.Call("RemoveVOContent", {{"name", name}});
        }
        putter.Logout();
    }
    std::sort(firstReads.begin(), firstReads.end());
    rows.push_back({"  the same, first read of a content just put", firstReads[firstReads.size() / 2], "ms",
                    "tessel-call GetLogCount", getLogCount, ""});

    // A small POST: one kept connection against a new one each time.
    tessel::soap::Packager p;
    p.LoadServicesDescription(2, text);
    const std::string endpoint = std::get<tessel::soap::ServiceLocation>(p.GetCatalog(0).locations.at(0)).URI;
    p.SetMethodPayload(0, "", "GetLogCount", p.GetMethodTemplate("GetLogCount", 0));
    const RawPost post(endpoint, p.GetPayload(0), p.SoapAction("GetLogCount"));
    if (post.Send(NewEasy().get()).find("Envelope") == std::string::npos)
        throw std::runtime_error("the small POST was not answered with an envelope");
    const Easy kept = NewEasy();
    long opened = -1;  // connections the kept handle opened after its first POST
    const double keepAlive = Median({300, 2000}, [&] {
        post.Send(kept.get());
        long n = 0;
        curl_easy_getinfo(kept.get(), CURLINFO_NUM_CONNECTS, &n);
        opened += n;
    });
    const double fresh = Median({300, 2000}, [&] { post.Send(NewEasy().get()); });
    rows.push_back({"small SOAP POST, kept-alive (" + std::to_string(opened) + " reconnects)", keepAlive, "ms",
                    "a new connection each time", fresh, "<= 2"});
    const std::string request = p.GetPayload(0), action = p.SoapAction("GetLogCount");
    const double toolkitPost = Median({300, 2000}, [&] {
        tessel::soap::Transport t;
        t.AddStandardHeaders(endpoint, "GetLogCount", request.size(), action);
        t.PostToURI(endpoint, request);
    });
    rows.push_back({"small SOAP POST, toolkit Transport (as a call)", toolkitPost, "ms", "raw, a new connection each time",
                    fresh, ""});

    // Clients at once.
    const double one = CallsPerSecond(svc, 1, seconds);
    const double many = CallsPerSecond(svc, 32, seconds);
    rows.push_back({"32 clients, authenticated calls", many, "calls/s", "1 client", one, ""});

    std::printf("service_bench: TesselServiceLocal on port %d, medians of repeated rounds%s\n", svc.port(),
                quick ? " (--quick: figures mean nothing)" : "");
    Print(rows);
    std::printf("processor time per run (user + system, mean): %s %.1f ms; tessel-call GetLogCount %.1f ms "
                "(service %.1f ms); tessel-call GetVOContent 1 MiB %.1f ms (service %.1f ms)\n",
                fetcher.c_str(), fetchCpuMs, callCpuMs, callServiceMs, mibCpuMs, mibServiceMs);
    std::printf("parse of the kept description text (a fresh Packager, as each call): %.3f ms\n", parse);
    curl_global_cleanup();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return Main(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "service_bench: " << e.what() << "\n";
        return 1;
    }
}
