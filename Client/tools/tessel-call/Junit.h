// A JUnit XML report of a script run, as CI servers read it: one test suite,
// one test case per call, the failure or error with its message, and the
// call's envelopes in system-out.
#pragma once

#include <string>
#include <vector>

namespace tessel::call {

struct JunitCase {
    enum class Status { Passed, Failed, Error };
    std::string name;
    std::string classname;
    double seconds = 0;
    Status status = Status::Passed;
    std::string type;       // what failed: "fault", "token", "expectation", "transport", ...
    std::string message;    // the failure's first line
    std::string details;    // all of it
    std::string systemOut;  // the envelopes
};

struct JunitSuite {
    std::string name;
    std::string timestamp;  // ISO 8601, UTC, without a zone
    double seconds = 0;
    std::vector<JunitCase> cases;
};

// The report as an XML document. Text that XML cannot carry (bytes that are
// no UTF-8, control characters) is replaced by U+FFFD.
std::string JunitXml(const JunitSuite& suite);
// Several suites in one report (a suite a script, or a script's data row),
// under a <testsuites> named `name` that adds up their counts and times.
std::string JunitXml(const std::string& name, const std::vector<JunitSuite>& suites);

// Writes `text` to `path`. Nothing there or a regular file: through a new
// temporary file beside it (created exclusively, never through a link) that
// is then renamed over it, so a reader never sees half a report. A character
// device or a FIFO, or a link to one: written in place. Anything else (a link
// to a regular file or to nothing, a directory, a block device) is left as it
// is. Raises std::runtime_error "cannot write PATH: why" when it cannot write.
void WriteFileReplacing(const std::string& path, const std::string& text);

// The current time as JunitSuite::timestamp wants it.
std::string UtcTimestamp();

}  // namespace tessel::call
