// The one table of the service's operations: every authenticated operation
// with the interface that offers it and its own parameters in call order, and
// the three session messages with theirs. The local service builds its
// descriptions and its dispatch from it; every tool names its operations and
// their parameters through it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessel::catalog {

// The request parameter that carries the request token (first), the one that
// carries the reply token (last, empty in the request) and the result.
inline constexpr char kRequestToken[] = "user";
inline constexpr char kReplyToken[] = "reskey";
inline constexpr char kResult[] = "result";

// The description an operation is declared in.
enum class Interface { Main, Admin };

struct Operation {
    std::string name;
    Interface iface = Interface::Main;
    // The operation's own parameters, between "user" and "reskey"; each is
    // also the name of its token data slot, numbered from 1.
    std::vector<std::string> params;
};

// Every authenticated operation, by interface group, in a stable order.
const std::vector<Operation>& Operations();
// The operation of that name, or null.
const Operation* Find(std::string_view name);

struct SessionMessage {
    std::string name;
    std::vector<std::string> inputs;   // in request order
    std::vector<std::string> outputs;  // "result" first
};

// "CreateTicket", "OpenSession" and "CloseSession".
const std::vector<SessionMessage>& SessionMessages();
const SessionMessage* FindSessionMessage(std::string_view name);

}  // namespace tessel::catalog
