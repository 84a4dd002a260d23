// How the tools show a text that may hold the user's password: every
// occurrence of it, as typed and as XML escapes it, becomes kPasswordMask.
#pragma once

#include <string>

namespace tessel::client {

inline constexpr char kPasswordMask[] = "********";

// `text` with every occurrence of `secret` (as it is, and with &, <, > and,
// in either form, " and ' escaped as XML escapes them) replaced by
// kPasswordMask. An empty secret masks nothing.
std::string Masked(std::string text, const std::string& secret);

}  // namespace tessel::client
