// Names for the HRESULTs the token library returns, and the verdict on a
// reply's token in the words the tools and tessel-call show.
#pragma once

#include <cstdint>
#include <string>

namespace tessel::client {

// The code's symbolic name ("E_FAIL", "NTE_BAD_KEY", "S_OK"), or empty text
// for a code the library does not use.
std::string HResultName(std::int32_t hr);

// The code as eight upper-case hexadecimal digits after "0x".
std::string HResultHex(std::int32_t hr);

// The verdict on ValidateToken's result: "valid" for 0; otherwise
// "rejected: " + the code in hexadecimal, its name and, where the library's
// reason for that code is known, the reason in brackets, for example
// "rejected: 0x80004005 E_FAIL (time stamp, nonce proof or hash differs)".
// An unnamed code reads "rejected: 0x12345678".
std::string DescribeVerdict(std::int32_t hr);
// With the check a rejected reply failed, when the inspector named it:
// "rejected: hash differs (0x80004005 E_FAIL)".
std::string DescribeVerdict(std::int32_t hr, const std::string& failedCheck);

// GetTokenData's kind of a slot: "plain", "compressed", "encrypted",
// "compressed and encrypted"; another number reads "kind N".
std::string DescribeKind(std::int32_t kind);

}  // namespace tessel::client
