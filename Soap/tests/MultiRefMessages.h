// Encoded SOAP messages for tests and benchmarks that lean on multi-reference
// values.
#pragma once

#include <string>

namespace tessel::soap::samples {

inline const char kEnvelopeOpen[] =
    "<?xml version=\"1.0\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\"><soap:Body>";
inline const char kEnvelopeClose[] = "</soap:Body></soap:Envelope>";

// A message whose wrapper holds `count` accessors, each referring by href to
// one of `values` multi-reference values after the wrapper.
inline std::string MultiRefMessage(const std::string& wrapper, int count, int values)
{
    std::string s = kEnvelopeOpen;
    s += "<m:" + wrapper + " xmlns:m=\"urn:test\">";
    for (int i = 0; i < count; ++i)
        s += "<a href=\"#v" + std::to_string(i % values) + "\"/>";
    s += "</m:" + wrapper + ">";
    for (int i = 0; i < values; ++i)
        s += "<v id=\"v" + std::to_string(i) + "\">" + std::to_string(i) + "</v>";
    return s + kEnvelopeClose;
}

// A message whose `count` accessors all refer to one value of `bytes` characters.
inline std::string SharedValueMessage(const std::string& wrapper, int count, std::size_t bytes)
{
    std::string s = kEnvelopeOpen;
    s += "<m:" + wrapper + " xmlns:m=\"urn:test\">";
    for (int i = 0; i < count; ++i)
        s += "<a href=\"#big\"/>";
    return s + "</m:" + wrapper + "><v id=\"big\">" + std::string(bytes, 'x') + "</v>" + kEnvelopeClose;
}

// A reply whose `length` accessors point into one cycle of `length` values.
inline std::string LongCycleReply(int length)
{
    std::string accessors, values;
    for (int i = 0; i < length; ++i) {
        accessors += "<a href=\"#c" + std::to_string(i) + "\"/>";
        values += "<v id=\"c" + std::to_string(i) + "\" href=\"#c" + std::to_string((i + 1) % length) + "\"/>";
    }
    return std::string(kEnvelopeOpen) + "<m:PingResponse xmlns:m=\"urn:test\">" + accessors + "</m:PingResponse>" +
           values + kEnvelopeClose;
}

}  // namespace tessel::soap::samples
