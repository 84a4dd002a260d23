#include "LoadPlot.h"

#include <plplot.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "Junit.h"

namespace tessel::call {

namespace {

// Colours of map 0: the background, the axes and text, then one per series.
enum Colour : PLINT { kBackground = 0, kInk = 1, kP50 = 2, kP99 = 3, kRate = 4, kBars = 5 };

// A folder of its own for PLplot to write into, removed with what it holds.
class ScratchFolder {
public:
    ScratchFolder()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessel-plot-XXXXXX";
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a scratch folder for the chart in " + pattern);
        path_ = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// One PLplot stream from plinit to plend.
class PlotStream {
public:
    PlotStream(const std::string& device, const std::string& file)
    {
        plsdev(device.c_str());
        plsfnam(file.c_str());
        plspage(0, 0, 1000, 1250, 0, 0);
        plscol0(kBackground, 255, 255, 255);
        plscol0(kInk, 0, 0, 0);
        plscol0(kP50, 31, 119, 180);
        plscol0(kP99, 214, 39, 40);
        plscol0(kRate, 44, 160, 44);
        plscol0(kBars, 110, 110, 190);
        plssub(1, 3);
        plinit();
    }
    ~PlotStream() { plend(); }
    PlotStream(const PlotStream&) = delete;
    PlotStream& operator=(const PlotStream&) = delete;
};

bool DriverPresent(const std::string& device)
{
    // plgDevs fills arrays of the size given; 64 entries is more than PLplot has devices.
    std::vector<const char*> menuRoom(64), nameRoom(64);
    const char** menus = menuRoom.data();
    const char** names = nameRoom.data();
    int count = static_cast<int>(nameRoom.size());
    plgDevs(&menus, &names, &count);
    for (int i = 0; i < count; ++i)
        if (names[i] && device == names[i])
            return true;
    return false;
}

// Axes over [x0, x1] × [y0, y1] on the next chart, with labels; the ranges
// widened when they are empty. `logX`: x is log10 of the value.
void Axes(double x0, double x1, double y0, double y1, bool logX, const char* x, const char* y, const char* title)
{
    if (!(x1 > x0))
        x1 = x0 + 1;
    if (!(y1 > y0))
        y1 = y0 + 1;
    plcol0(kInk);
    plschr(0, 1.1);
    plenv(x0, x1, y0, y1, 0, logX ? 12 : 2);
    pllab(x, y, title);
}

void Line(const std::vector<double>& xs, const std::vector<double>& ys, PLINT colour)
{
    plcol0(colour);
    plwidth(2);
    if (xs.size() == 1)
        plpoin(1, const_cast<double*>(xs.data()), const_cast<double*>(ys.data()), 17);
    else if (!xs.empty())
        plline(static_cast<PLINT>(xs.size()), xs.data(), ys.data());
    plwidth(1);
}

// A legend entry at the chart's top left, `row` lines down.
void Key(const char* text, PLINT colour, int row)
{
    plcol0(colour);
    plmtex("lv", -1.0, 0.95 - 0.08 * row, 0.0, text);
}

}  // namespace

std::string PlotDevice(const std::string& path)
{
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".png" ? "pngcairo" : ext == ".svg" ? "svgcairo" : "";
}

void PlotLoad(const LoadResult& r, const std::string& title, const std::string& path)
{
    const std::string device = PlotDevice(path);
    if (device.empty())
        throw std::runtime_error("the chart " + path + " must end in .png or .svg");
    if (!DriverPresent(device))
        throw std::runtime_error("PLplot has no " + device + " device: install plplot-driver-cairo");
    const ScratchFolder scratch;
    const std::string file = scratch.path() + "/chart" + std::filesystem::path(path).extension().string();
    {
        const PlotStream stream(device, file);

        // Latency over time.
        std::vector<double> t, p50, p99, rate;
        double from = 0, top = 0, rateTop = 0;
        for (const SecondStats& s : r.seconds) {
            t.push_back(s.end);
            p50.push_back(static_cast<double>(s.p50) / 1000);
            p99.push_back(static_cast<double>(s.p99) / 1000);
            const double span = s.end - from;
            rate.push_back(span > 0 ? static_cast<double>(s.calls) / span : 0);
            from = s.end;
            top = std::max(top, p99.back());
            rateTop = std::max(rateTop, rate.back());
        }
        const double end = t.empty() ? 1 : t.back();
        Axes(0, end, 0, top * 1.15, false, "seconds since the start", "latency (ms)",
             ("Latency over time: " + title).c_str());
        Line(t, p50, kP50);
        Line(t, p99, kP99);
        Key("p50", kP50, 0);
        Key("p99", kP99, 1);

        // Calls a second over time.
        Axes(0, end, 0, rateTop * 1.15, false, "seconds since the start", "calls/s", "Calls per second");
        Line(t, rate, kRate);

        // The latency histogram, in bins of equal width on a log scale.
        const std::vector<Histogram::Bucket> buckets = r.total.latency.Buckets();
        if (buckets.empty()) {
            Axes(-1, 1, 0, 1, true, "latency (ms)", "calls", "Latency histogram (no calls)");
        } else {
            const double lo = std::log10(std::max(1.0, static_cast<double>(buckets.front().low)) / 1000);
            double hi = std::log10(std::max(1.0, static_cast<double>(buckets.back().high)) / 1000);
            if (hi - lo < 0.1)
                hi = lo + 0.1;
            constexpr int kBins = 60;
            std::vector<double> bins(kBins, 0);
            for (const Histogram::Bucket& b : buckets) {
                const double at = std::log10(std::max(1.0, static_cast<double>(b.low + b.high) / 2) / 1000);
                const int k = std::clamp(static_cast<int>((at - lo) / (hi - lo) * kBins), 0, kBins - 1);
                bins[static_cast<std::size_t>(k)] += static_cast<double>(b.count);
            }
            const double most = *std::max_element(bins.begin(), bins.end());
            Axes(lo, hi, 0, most * 1.15, true, "latency (ms)", "calls", "Latency histogram");
            const double w = (hi - lo) / kBins;
            plcol0(kBars);
            for (int k = 0; k < kBins; ++k) {
                if (bins[static_cast<std::size_t>(k)] == 0)
                    continue;
                const double x0 = lo + k * w, x1 = x0 + w * 0.9, y = bins[static_cast<std::size_t>(k)];
                double xs[] = {x0, x0, x1, x1};
                double ys[] = {0, y, y, 0};
                plfill(4, xs, ys);
            }
        }
    }
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty())
        throw std::runtime_error("PLplot wrote no chart for " + path);
    WriteFileReplacing(path, bytes);
}

}  // namespace tessel::call
