#include "DataFile.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace tessel::call {

namespace {

std::size_t LineAt(std::string_view text, std::size_t offset)
{
    offset = std::min(offset, text.size());
    return 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

void CheckNames(const std::vector<std::string>& names, const std::string& file, std::size_t line)
{
    std::set<std::string> seen;
    for (const std::string& n : names) {
        if (!IsVariableName(n) || n == "result")
            throw DataError(file, line, "\"" + n + "\" is not a variable name (letters, digits and _, not \"result\")");
        if (!seen.insert(n).second)
            throw DataError(file, line, "the name " + n + " is given twice");
    }
}

// One CSV record from `i`; `i` moves past its line break. `line` counts the
// line breaks read, inside quotes too.
std::vector<std::string> CsvRecord(std::string_view text, std::size_t& i, std::size_t& line, const std::string& file)
{
    std::vector<std::string> fields(1);
    const std::size_t started = line;
    bool quotedField = false, afterQuote = false;
    while (i < text.size()) {
        const char c = text[i];
        if (quotedField) {
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') {
                    fields.back() += '"';
                    i += 2;
                    continue;
                }
                quotedField = false;
                afterQuote = true;
            } else {
                if (c == '\n')
                    ++line;
                fields.back() += c;
            }
            ++i;
            continue;
        }
        if (c == ',') {
            fields.emplace_back();
            afterQuote = false;
            ++i;
        } else if (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            i += c == '\r' ? 2 : 1;
            ++line;
            return fields;
        } else if (afterQuote) {
            throw DataError(file, line, "text after a closing quote (a quote inside a quoted field is doubled: \"\")");
        } else if (c == '"') {
            if (!fields.back().empty())
                throw DataError(file, line, "a quote inside an unquoted field (quote the whole field, doubling it)");
            quotedField = true;
            ++i;
        } else {
            fields.back() += c;
            ++i;
        }
    }
    if (quotedField)
        throw DataError(file, started, "a quoted field is not closed");
    return fields;
}

std::string JsonText(const nlohmann::ordered_json& v)
{
    if (v.is_string())
        return v.get<std::string>();
    if (v.is_null())
        return "";
    return v.dump();
}

}  // namespace

bool IsVariableName(std::string_view s)
{
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_'))
        return false;
    return std::all_of(s.begin(), s.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

std::vector<DataRow> ParseCsv(std::string_view text, const std::string& file)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::size_t i = 0, line = 1;
    if (text.empty())
        throw DataError(file, 1, "the file is empty: a CSV file begins with a header line of names");
    const std::vector<std::string> names = CsvRecord(text, i, line, file);
    CheckNames(names, file, 1);
    std::vector<DataRow> rows;
    while (i < text.size()) {
        const std::size_t at = line;
        std::vector<std::string> fields = CsvRecord(text, i, line, file);
        if (fields.size() == 1 && fields[0].empty() && i >= text.size())
            break;  // a blank last line
        if (fields.size() != names.size())
            throw DataError(file, at, "the record has " + std::to_string(fields.size()) + " fields and the header " +
                                          std::to_string(names.size()));
        DataRow row;
        row.line = at;
        row.values.reserve(names.size());
        for (std::size_t k = 0; k < names.size(); ++k)
            row.values.emplace_back(names[k], std::move(fields[k]));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<DataRow> ParseJsonRows(std::string_view text, const std::string& file)
{
    nlohmann::ordered_json doc;
    try {
        doc = nlohmann::ordered_json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::parse_error& e) {
        throw DataError(file, LineAt(text, e.byte == 0 ? 0 : e.byte - 1),
                        std::string("not JSON: ") + e.what());
    }
    if (!doc.is_array())
        throw DataError(file, 1, "the data is a JSON array of objects, one a row");
    // The line where each element of the array begins: the first character after "[" or a "," at depth 1.
    std::vector<std::size_t> lines;
    {
        int depth = 0;
        bool inString = false, expecting = false;
        std::size_t line = 1;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '\n')
                ++line;
            if (inString) {
                if (c == '\\')
                    ++i;
                else if (c == '"')
                    inString = false;
                continue;
            }
            if (expecting && c != ' ' && c != '\t' && c != '\r' && c != '\n') {
                lines.push_back(line);
                expecting = false;
            }
            if (c == '"') {
                inString = true;
            } else if (c == '[' || c == '{') {
                expecting = depth == 0 && c == '[';
                ++depth;
            } else if (c == ']' || c == '}') {
                --depth;
            } else if (c == ',' && depth == 1) {
                expecting = true;
            }
        }
    }
    std::vector<DataRow> rows;
    rows.reserve(doc.size());
    for (std::size_t k = 0; k < doc.size(); ++k) {
        const std::size_t line = k < lines.size() ? lines[k] : 1;
        const nlohmann::ordered_json& o = doc[k];
        if (!o.is_object())
            throw DataError(file, line, "row " + std::to_string(k + 1) + " is not an object");
        DataRow row;
        row.line = line;
        std::vector<std::string> names;
        for (auto it = o.begin(); it != o.end(); ++it) {
            if (it->is_array() || it->is_object())
                throw DataError(file, line, "the value of " + it.key() + " is " + (it->is_array() ? "an array" : "an object") +
                                                "; a row's values are strings, numbers, booleans or null");
            names.push_back(it.key());
            row.values.emplace_back(it.key(), JsonText(*it));
        }
        CheckNames(names, file, line);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<DataRow> ReadDataFile(const std::string& path)
{
    const std::string ext = std::filesystem::path(path).extension().string();
    std::string lower = ext;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (lower != ".csv" && lower != ".json")
        throw DataError(path, 1, "a data file is FILE.csv or FILE.json");
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec)
        throw DataError(path, 1, "cannot be read: " + ec.message());
    if (size > kMaxDataFileBytes)
        throw DataError(path, 1, "is larger than 1 GiB");
    std::ifstream in(path, std::ios::binary);
    std::string text(static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (static_cast<std::size_t>(in.gcount()) != text.size())
        throw DataError(path, 1, "cannot be read whole");
    return lower == ".csv" ? ParseCsv(text, path) : ParseJsonRows(text, path);
}

std::vector<std::pair<std::string, std::string>> ParseEnvFile(std::string_view text, const std::string& file)
{
    std::vector<std::pair<std::string, std::string>> values;
    std::size_t line = 0, start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view l = text.substr(start, end - start);
        start = end + 1;
        ++line;
        if (!l.empty() && l.back() == '\r')
            l.remove_suffix(1);
        const std::size_t first = l.find_first_not_of(" \t");
        if (first == std::string_view::npos || l[first] == '#')
            continue;
        l.remove_prefix(first);
        if (l.substr(0, 7) == "export ")
            l.remove_prefix(7);
        const std::size_t eq = l.find('=');
        if (eq == std::string_view::npos)
            throw DataError(file, line, "a line is NAME=VALUE, a # comment or blank");
        const std::string name(l.substr(0, eq));
        if (!IsVariableName(name))
            throw DataError(file, line, "\"" + name + "\" is not a variable name (letters, digits and _)");
        std::string value(l.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        else if (!value.empty() && (value.front() == '"' || value.front() == '\''))
            throw DataError(file, line, "a quote is not closed");
        values.emplace_back(name, std::move(value));
    }
    return values;
}

}  // namespace tessel::call
