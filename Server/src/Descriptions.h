// The service's WSDL 1.1 descriptions, built from the operation catalog.
#pragma once

#include <functional>
#include <string>

#include "Catalog/Catalog.h"

namespace tessel::server {

using catalog::Interface;

enum class DescriptionStyle { RpcEncoded, DocumentLiteral };

// The description of an interface whose endpoint is `endpoint`: the session
// messages (main interface only) and the interface's operations, each taking
// "user", its own parameters and "reskey" and returning "result" and "reskey".
// `include`, when given, picks the operations it holds (for descriptions that
// lack some methods).
std::string Description(Interface iface, DescriptionStyle style, const std::string& endpoint,
                        const std::function<bool(const std::string&)>& include = {});

}  // namespace tessel::server
