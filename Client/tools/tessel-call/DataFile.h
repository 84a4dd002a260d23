// The rows of a data-driven run: a CSV file (RFC 4180: a header line of
// names, then one record a line, fields in double quotes where they hold a
// comma, a quote or a line break, a quote doubled inside them; CR LF or LF)
// or a JSON file (an array of objects whose values are strings, numbers,
// booleans or null). Each row's names become the script's variables.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessel::call {

// A data or variables file that does not parse; what() is "FILE:LINE: why".
class DataError : public std::runtime_error {
public:
    DataError(const std::string& file, std::size_t line, const std::string& why)
        : std::runtime_error(file + ":" + std::to_string(line) + ": " + why)
    {
    }
};

struct DataRow {
    std::size_t line = 0;  // where the row begins in its file
    std::vector<std::pair<std::string, std::string>> values;  // in the file's order
};

// The most bytes a data file may hold.
inline constexpr std::size_t kMaxDataFileBytes = 1u << 30;

// Parses CSV text; `file` names it in errors. A header without names, a name
// that is not a variable name (letters, digits and _, not "result") or is
// given twice, a record with more or fewer fields than the header, a quote
// that is not closed or text after a closing quote raise DataError. A blank
// last line is no record.
std::vector<DataRow> ParseCsv(std::string_view text, const std::string& file);

// Parses JSON text: an array of objects. Anything else, a value that is an
// array or an object, or a key that is no variable name raise DataError with
// the line of the fault.
std::vector<DataRow> ParseJsonRows(std::string_view text, const std::string& file);

// Reads the file and parses it by its extension (.csv, .json). Raises
// DataError for a file that cannot be read or has another extension.
std::vector<DataRow> ReadDataFile(const std::string& path);

// Parses NAME=VALUE lines: blank lines and lines beginning with # are left
// out, "export " before a name is allowed, a value in single or double quotes
// loses them. Raises DataError naming the line that is none of these.
std::vector<std::pair<std::string, std::string>> ParseEnvFile(std::string_view text, const std::string& file);

// Whether `name` may be a variable's name: letters, digits and _, not
// beginning with a digit.
bool IsVariableName(std::string_view name);

}  // namespace tessel::call
