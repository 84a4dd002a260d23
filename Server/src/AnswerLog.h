// The service's request log: one JSON object a line for every answer it
// sends, whether a SOAP reply or an HTTP page of its own (404, 405, 408,
// 413, 503, ...). Reopened by path on request, so that a rotated file is
// let go and a new one begun.
#pragma once

#include <fstream>
#include <mutex>
#include <string>
#include <utility>

#include "GuardedServer.h"

namespace tessel::server {

class AnswerLog {
public:
    // Appends to `path`; raises std::runtime_error when it cannot.
    explicit AnswerLog(std::string path);

    // The line of one answer: the time, the request's method and path, the
    // status, and what the service noted of the SOAP call.
    void Write(const HttpRequest& request, const HttpAnswer& answer);
    // Opens the path again, for the next lines; false (and the old file
    // kept) when it cannot.
    bool Reopen();

    const std::string& Path() const { return path_; }

private:
    const std::string path_;
    std::mutex mutex_;
    std::ofstream out_;
};

}  // namespace tessel::server
