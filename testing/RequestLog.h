// Reads the local service's request log: one JSON object per line.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

std::vector<nlohmann::json> ReadLog(const std::string& path);

// A parameter as the log lists it: its name, the first 256 characters of its
// value and the value's length in characters.
nlohmann::json LoggedParameter(const std::string& name, const std::string& value);
