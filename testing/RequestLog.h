// Reads the local service's request log: one JSON object per line.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

std::vector<nlohmann::json> ReadLog(const std::string& path);
