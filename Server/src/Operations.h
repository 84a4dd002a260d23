// Every operation the local service offers, with its parameters in order.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tessel::server {

enum class Interface { Main, Admin };

struct OperationSpec {
    std::string name;
    std::vector<std::string> params;  // the operation's own parameters, between "user" and "reskey"
    Interface iface = Interface::Main;
};

// The authenticated operations, in a stable order.
const std::vector<OperationSpec>& Operations();
const OperationSpec* FindOperation(std::string_view name);

// The session messages and their parameters.
struct SessionMessage {
    std::string name;
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;  // "result" first
};
const std::vector<SessionMessage>& SessionMessages();
const SessionMessage* FindSessionMessage(std::string_view name);

enum class DescriptionStyle { RpcEncoded, DocumentLiteral };

// The WSDL 1.1 description of an interface whose endpoint is `endpoint`.
// `include`, when given, picks the operations it holds (for descriptions that
// lack some methods).
std::string Description(Interface iface, DescriptionStyle style, const std::string& endpoint,
                        const std::function<bool(const std::string&)>& include = {});

}  // namespace tessel::server
