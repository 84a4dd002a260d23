#include "Client/Masking.h"

namespace tessel::client {

namespace {

// In one pass, so that a text full of `what` costs no more than its length.
void ReplaceAll(std::string& text, const std::string& what, const std::string& with)
{
    if (what.empty() || text.find(what) == std::string::npos)
        return;
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, from)) {
        out.append(text, from, at - from);
        out += with;
        from = at + what.size();
    }
    out.append(text, from);
    text.swap(out);
}

// A text as XML may carry it: with &, < and > escaped and, when `quotes`, " and ' too.
std::string XmlEscaped(const std::string& text, bool quotes)
{
    std::string s;
    for (const char c : text) {
        switch (c) {
        case '&': s += "&amp;"; break;
        case '<': s += "&lt;"; break;
        case '>': s += "&gt;"; break;
        case '"': s += quotes ? "&quot;" : "\""; break;
        case '\'': s += quotes ? "&apos;" : "'"; break;
        default: s += c;
        }
    }
    return s;
}

}  // namespace

std::string Masked(std::string text, const std::string& secret)
{
    ReplaceAll(text, XmlEscaped(secret, true), kPasswordMask);
    ReplaceAll(text, XmlEscaped(secret, false), kPasswordMask);
    ReplaceAll(text, secret, kPasswordMask);
    return text;
}

}  // namespace tessel::client
