#include "TesselInspect.h"

#include <cstdio>
#include <exception>

#include "ClientMACImpl.h"
#include "RaiseHResult.h"

namespace tessel::inspect {

namespace {

OptText In(const std::string& utf8)
{
    return Utf8ToText(utf8);
}

std::string Out(const OptText& text)
{
    return text ? TextToUtf8(*text) : std::string();
}

std::string Hex(HRESULT hr)
{
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

std::string Count(std::size_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Runs an engine step; the HRESULT it raised, or 0.
template <class Step>
HRESULT Run(Step&& step)
{
    try {
        step();
        return 0;
    } catch (const HResultError& e) {
        return e.code();
    } catch (const std::bad_alloc&) {
        return kE_OUTOFMEMORY;
    } catch (const std::exception&) {
        return kE_FAIL;
    }
}

void SetSlots(ClientMACImpl& engine, const std::vector<Slot>& slots)
{
    for (std::size_t i = 0; i < slots.size(); ++i)
        engine.SetTokenData(static_cast<std::uint32_t>(i), TOKEN_DATA_PLAIN, In(slots[i].name), In(slots[i].value));
}

std::vector<Record> Records(const std::vector<RecordReport>& reports, const std::vector<Slot>& slots)
{
    std::vector<Record> records;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const RecordReport& r = reports[i];
        Record out;
        out.index = i;
        out.name = i < slots.size() ? slots[i].name : std::string();
        out.kind = r.kind;
        out.plainLength = r.plainLength;
        out.valueLength = r.valueLength;
        if (r.converted) {
            out.convertedLength = r.converted->size();
            out.converted = TextToUtf8(std::u16string_view(*r.converted).substr(0, kShownCharacters));
        }
        records.push_back(std::move(out));
    }
    return records;
}

// "2026-12-08 15:30:12.345 UTC" of a 17-digit time stamp; empty when it is not one.
std::string DateOf(const std::string& timestamp)
{
    const std::optional<UtcTime> t = ParseTimestamp(Utf8ToText(timestamp));
    if (!t)
        return {};
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u UTC", t->year, t->month, t->day, t->hour,
                  t->minute, t->second, t->millisecond);
    return text;
}

std::string KindName(std::uint32_t kind)
{
    switch (kind) {
    case TOKEN_DATA_PLAIN: return "plain";
    case TOKEN_DATA_COMPRESSED: return "compressed";
    case TOKEN_DATA_ENCRYPTED: return "encrypted";
    case TOKEN_DATA_COMPRESSED_ENCRYPTED: return "compressed and encrypted";
    default: return "kind " + std::to_string(kind);
    }
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

std::string RecordCountOf(const std::string& records)
{
    return Count(records.size() / 16, "record", "records") + " (" +
           Count(records.size(), "hexadecimal digit", "hexadecimal digits") + ")";
}

void ExplainRequest(RequestToken& r, std::size_t slots, bool recordsMatch)
{
    switch (r.reached) {
    case Check::Token:
        r.problem = "cannot decode: the token is not one this session's key decrypts (" + Hex(r.hr) + ")";
        return;
    case Check::Fields: r.problem = "cannot decode: the token lacks its nonce, time stamp or hash"; return;
    case Check::RecordCount:
        r.problem = "cannot decode: the token carries " + RecordCountOf(r.recordDigits) +
                    " for " + Count(slots, "slot", "slots");
        return;
    case Check::Hash:
        r.problem = recordsMatch ? "it does not re-validate against the slots as sent: the token's hash " + r.hash +
                                       ", computed " + r.computedHash
                                 : "it does not re-validate: its records differ from the slots as sent";
        return;
    default: r.problem = "cannot decode (" + Hex(r.hr) + ")"; return;
    }
}

std::string SlotsHashed(const std::vector<Slot>& slots)
{
    std::string text;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        text += (i == 0 ? "" : " and ") + std::string("slot ") + std::to_string(i) + " " + Quoted(slots[i].name);
        if (i > 0)
            text += " = " + Count(Utf8ToText(slots[i].value).size(), "character", "characters") + " as received";
    }
    return text;
}

void ExplainReply(ReplyToken& r, const std::vector<Slot>& slots, bool requestDecoded)
{
    switch (r.reached) {
    case Check::Token:
        r.failedCheck = "the session key does not decrypt it";
        r.problem = "cannot decode: the reply token is not one this session's key decrypts (" + Hex(r.hr) + ")";
        return;
    case Check::Fields:
        r.failedCheck = "a field is missing";
        r.problem = "cannot decode: the reply token lacks its nonce proof, time stamp or hash";
        return;
    case Check::TimeStamp:
        r.failedCheck = "time stamp differs";
        r.problem = requestDecoded ? "the echoed time stamp " + r.timestamp + " is not the request's " +
                                         r.expectedTimestamp
                                   : "the echoed time stamp " + r.timestamp +
                                         " cannot be checked: the request token cannot be decoded";
        return;
    case Check::NonceProof:
        r.failedCheck = "nonce proof differs";
        r.problem = "the nonce proof " + r.nonceProof + " is not the proof of the request's nonce: " + r.expectedProof;
        return;
    case Check::RecordCount:
        r.failedCheck = "record count differs";
        r.problem = "the reply token carries " + RecordCountOf(r.recordDigits) + " for " + Count(slots.size(), "slot", "slots");
        return;
    case Check::Records: {
        r.failedCheck = "a record cannot be decoded";
        if (r.records.empty()) {
            r.problem = "a record cannot be read (" + Hex(r.hr) + ")";
            return;
        }
        const Record& bad = r.records.back();
        std::string why = r.hr == kE_NOTIMPL ? "the library does not take " + KindName(bad.kind) + " in a reply"
                          : bad.kind == TOKEN_DATA_COMPRESSED
                              ? "its claimed plain length of " + std::to_string(bad.plainLength) +
                                    " bytes is not what the data holds"
                              : "its data cannot be decoded";
        r.problem = "record " + std::to_string(bad.index) + " (" + Quoted(bad.name) + ", " + KindName(bad.kind) +
                    ", " + Count(bad.valueLength, "character", "characters") + ") cannot be decoded: " + why + " (" +
                    Hex(r.hr) + ")";
        return;
    }
    case Check::Hash:
        r.failedCheck = "hash differs";
        r.problem = "hash differs: received " + r.hash + ", computed over " + SlotsHashed(slots) + ": " + r.computedHash;
        return;
    case Check::Done: return;
    }
}

}  // namespace

Inspection Inspect(const Session& session, const std::string& requestToken, const std::vector<Slot>& requestSlots,
                   const std::string& replyToken, const std::vector<Slot>& replySlots, bool withReply)
{
    Inspection out;
    ClientMACImpl engine(SystemEnvironment());
    const OptText scheme = session.scheme.empty() ? OptText(kDefaultScheme) : In(session.scheme);
    if (const HRESULT hr = Run([&] { engine.Initialize(scheme); }); hr != 0) {
        out.problem = "cannot decode: the scheme " + Quoted(session.scheme) + " cannot be used (" + Hex(hr) + ")";
        return out;
    }
    if (const HRESULT hr = Run([&] { engine.SetTokenSeed(In(session.seed)); }); hr != 0) {
        out.problem = "cannot decode: the seed cannot be read (" + Hex(hr) + ")";
        return out;
    }
    if (const HRESULT hr = Run([&] { engine.SetTokenItem(kItemSessionKey, In(session.sessionKey)); }); hr != 0) {
        out.problem = "cannot decode: the session key cannot be unwrapped with this user's key pair (" + Hex(hr) + ")";
        return out;
    }
    engine.SetTokenItem(kItemOpaque, In(session.opaque));

    // The request token, checked against the slots as they were sent.
    TokenReport request;
    RequestToken& q = out.request;
    q.hr = Run([&] {
        SetSlots(engine, requestSlots);
        engine.DecodeRequest(In(requestToken), request);
    });
    q.reached = static_cast<Check>(request.step);
    q.nonce = Out(request.first);
    q.timestamp = Out(request.timestamp);
    q.date = DateOf(q.timestamp);
    q.hash = Out(request.hash);
    q.opaque = Out(request.opaque);
    q.computedHash = Out(request.computedHash);
    q.records = Records(request.slots, requestSlots);
    q.recordDigits = Out(request.records);
    if (q.reached != Check::Done)
        ExplainRequest(q, requestSlots.size(), request.recordsMatch);

    if (!withReply)
        return out;
    // The reply token, validated as the library validates it, against the
    // request's nonce and time stamp.
    out.replyInspected = true;
    const bool requestDecoded = q.reached > Check::Fields;
    TokenReport reply;
    ReplyToken& r = out.reply;
    r.hr = Run([&] {
        engine.ExpectReplyTo(requestDecoded ? request.first : OptText(), requestDecoded ? request.timestamp : OptText());
        SetSlots(engine, replySlots);
        engine.Validate(In(replyToken), &reply);
    });
    r.reached = r.hr == 0 ? Check::Done : static_cast<Check>(reply.step);
    r.nonceProof = Out(reply.first);
    r.expectedProof = Out(reply.expectedProof);
    r.timestamp = Out(reply.timestamp);
    r.expectedTimestamp = Out(reply.expectedTimestamp);
    r.hash = Out(reply.hash);
    r.computedHash = Out(reply.computedHash);
    r.recordDigits = Out(reply.records);
    r.records = Records(reply.slots, replySlots);
    if (r.hr != 0)
        ExplainReply(r, replySlots, requestDecoded);
    return out;
}

namespace {

void DescribeRecords(std::string& text, const std::vector<Record>& records, bool reply)
{
    for (const Record& r : records) {
        text += "  slot " + std::to_string(r.index) + " " + Quoted(r.name) + ": " + KindName(r.kind) +
                ", plain length " + std::to_string(r.plainLength) + ", " +
                Count(r.valueLength, "character", "characters") + (reply ? " received" : " sent");
        if (r.kind != TOKEN_DATA_PLAIN && (r.convertedLength || !r.converted.empty()))
            text += std::string(reply ? ", decoded to " : ", converted to ") +
                    Count(r.convertedLength, "character", "characters");
        text += "\n";
    }
}

}  // namespace

std::string Describe(const Inspection& in)
{
    if (!in.problem.empty())
        return in.problem + "\n";
    const RequestToken& q = in.request;
    std::string text = "Request token: ";
    text += q.reached == Check::Done ? "decoded; it re-validates against the slots as sent\n" : q.problem + "\n";
    if (!q.nonce.empty())
        text += "  nonce " + q.nonce + "\n";
    if (!q.timestamp.empty())
        text += "  time stamp " + q.timestamp + (q.date.empty() ? "" : " (" + q.date + ")") + "\n";
    if (!q.hash.empty())
        text += "  hash " + q.hash + "\n";
    DescribeRecords(text, q.records, false);
    if (!in.replyInspected)
        return text + "Reply token: none was validated (no result came back: a fault, an error page or no reply)\n";
    const ReplyToken& r = in.reply;
    text += "Reply token: ";
    text += r.reached == Check::Done ? "valid\n" : "rejected: " + r.problem + "\n";
    if (!r.timestamp.empty())
        text += "  echoed time stamp " + r.timestamp + (r.timestamp == r.expectedTimestamp ? " (the request's)" : "") +
                "\n";
    if (!r.nonceProof.empty())
        text += "  nonce proof " + r.nonceProof +
                (r.nonceProof == r.expectedProof ? " (the proof of the request's nonce)" : "") + "\n";
    DescribeRecords(text, r.records, true);
    if (!r.hash.empty())
        text += "  hash " + r.hash + (r.hash == r.computedHash ? " (as computed)" : "") + "\n";
    return text;
}

}  // namespace tessel::inspect
