#include "AnswerLog.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <stdexcept>

namespace tessel::server {

AnswerLog::AnswerLog(std::string path) : path_(std::move(path)), out_(path_, std::ios::app)
{
    if (!out_)
        throw std::runtime_error("cannot write the log file " + path_);
}

void AnswerLog::Write(const HttpRequest& request, const HttpAnswer& answer)
{
    nlohmann::json line = answer.logged.is_object() ? answer.logged : nlohmann::json::object();
    line["time"] = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
    line["method"] = CutText(request.method, 16).first;
    line["path"] = CutText(request.path, kLoggedCharacters).first;
    line["status"] = answer.status;
    const std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    const std::lock_guard<std::mutex> lock(mutex_);
    out_ << text << '\n';
    out_.flush();
}

bool AnswerLog::Reopen()
{
    std::ofstream next(path_, std::ios::app);
    if (!next)
        return false;
    const std::lock_guard<std::mutex> lock(mutex_);
    out_ = std::move(next);
    return true;
}

}  // namespace tessel::server
