// The charts of a load, drawn with PLplot's cairo devices: latency over time
// (p50 and p99 of each second), calls a second over time, and the histogram
// of every call's latency.
#pragma once

#include <string>

#include "Load.h"

namespace tessel::call {

// The PLplot device for a chart file: "pngcairo" for .png, "svgcairo" for
// .svg (in any case); empty for any other name.
std::string PlotDevice(const std::string& path);

// Draws the three charts, one above the other, into `path` (through
// WriteFileReplacing, so a reader never sees half a picture). Raises
// std::runtime_error saying why when it cannot: a name that is neither .png
// nor .svg, PLplot's cairo driver missing, a file that cannot be written.
// PLplot keeps one global state: call it from one thread at a time.
void PlotLoad(const LoadResult& r, const std::string& title, const std::string& path);

}  // namespace tessel::call
