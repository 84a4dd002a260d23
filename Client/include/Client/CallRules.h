// The named rules by which an operation row departs from the common
// authenticated call, the same for both tool families and tessel-call: how a
// parameter's value is taken from its box, what the request carries for it
// after the token is built, and how the reply's slot 1 is read back. A row is
// checked against the catalog by one rule as well.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tessel::client {

// How a parameter's value is taken from its box, before the token is built.
enum class Take {
    AsTyped,          // the box's text
    CutTrailingCrLf,  // one trailing CR LF is first cut from the box itself; then the box's text
    JoinTrimmedLines, // as CutTrailingCrLf, then the statement and content building of the text
};

// What the request carries for the parameter, after the token is built.
enum class Send {
    Value,         // the value as taken (a box the take rule reads as it stands is read again)
    SlotReadBack,  // the parameter's token slot read back into a buffer as long as the value
};

// One parameter of a row: the box that supplies it and its rules. Its name
// (also its token slot's name) is the catalog's.
struct Param {
    Param(const char* boxName) : box(boxName) {}  // NOLINT: a plain box reads naturally in a table
    Param(std::string boxName, Take t = Take::AsTyped, Send s = Send::Value) : box(std::move(boxName)), take(t), send(s)
    {
    }
    std::string box;
    Take take = Take::AsTyped;
    Send send = Send::Value;
};

// How the reply's slot 1 is read back after validation and shown.
enum class Reply {
    // Read back into a buffer as long as the result; shown ("Result of" box
    // and result box) only when the result is not empty.
    ResultLength,
    // Read back into max(result length + 1, 1,048,576), cut to the length the
    // library returns; shown for every reply that is not empty.
    AtLeastOneMiB,
    // As AtLeastOneMiB, but a reply whose "reskey" is empty ends the call
    // without validating and without showing a result.
    AtLeastOneMiBUnlessNoReplyToken,
    // Validated against the first 1,024 characters of the result; nothing is
    // read back; the raw result is shown when it is not empty.
    RawAfterFirstKiB,
    // Validated against the result and read back whole (as far as the library
    // reads a slot); what a program that shows the whole result reads.
    Whole,
};

// The boxes a row's values come from, by name.
class Boxes {
public:
    virtual ~Boxes() = default;
    virtual std::string Text(const std::string& control) = 0;
    virtual void SetText(const std::string& control, const std::string& text) = 0;
};

// What is wrong with a row, added to `problems`: a method the catalog does
// not list, a parameter count that differs from the catalog's, a box that
// `declared` does not know.
void CheckRow(const std::string& button, const std::string& method, const std::vector<Param>& params,
              const std::function<bool(const std::string&)>& declared, std::vector<std::string>& problems);
// "NAME is declared N times" for every name counted more than once.
void CheckNamesOnce(const std::map<std::string, int>& counts, std::vector<std::string>& problems);

}  // namespace tessel::client
