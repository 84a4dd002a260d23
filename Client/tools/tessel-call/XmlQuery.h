// XPath over a call's result: the result parsed as an XML document with the
// limits of every reply (no network, no document type, bounded size and
// depth) and an XPath 1.0 expression
// evaluated over it with libxml2, the root element's namespace prefixes
// declared.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace tessel::call {

// What an expression gave: its string value, and the number of nodes when it
// selects a node set. `error` is set instead when the text is no XML or the
// expression cannot be evaluated ("the result is not XML: ...").
struct XPathValue {
    std::string text;
    std::optional<std::size_t> count;
    std::string error;
};

// Evaluates `expression` over `xml`. Raises nothing.
XPathValue EvaluateXPath(const std::string& xml, const std::string& expression);

// Why `expression` does not compile as XPath, or empty when it does.
std::string XPathSyntaxError(const std::string& expression);

}  // namespace tessel::call
