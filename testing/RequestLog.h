// Reads the local service's request log: one JSON object per line, a line per answer.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

// The lines of the SOAP calls (those that name an operation).
std::vector<nlohmann::json> ReadLog(const std::string& path);
// Every line: one per answer, with its method, path and status.
std::vector<nlohmann::json> ReadAnswers(const std::string& path);

// A parameter as the log lists it: its name, the first 256 characters of its
// value and the value's length in characters.
nlohmann::json LoggedParameter(const std::string& name, const std::string& value);
