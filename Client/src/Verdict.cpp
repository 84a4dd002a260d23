#include "Client/Verdict.h"

#include <array>
#include <cstdio>

namespace tessel::client {

namespace {

struct Known {
    std::uint32_t code;
    const char* name;
    const char* reason;  // why the library returns it from ValidateToken; null when it does not
};

// The codes the token library returns, with the cause each has when
// ValidateToken returns it (null where that code has no single cause).
constexpr std::array<Known, 30> kKnown{{
    {0x00000000u, "S_OK", nullptr},
    {0x80004001u, "E_NOTIMPL", "a slot kind the library does not decode"},
    {0x80004003u, "E_POINTER", nullptr},
    {0x80004005u, "E_FAIL", "time stamp, nonce proof or hash differs"},
    {0x8000FFFFu, "E_UNEXPECTED", "the handler has no session set up"},
    {0x80070006u, "E_HANDLE", "no such token handler"},
    {0x8007000Eu, "E_OUTOFMEMORY", "a compressed slot does not inflate"},
    {0x80070057u, "E_INVALIDARG", "the token is empty or malformed"},
    {0x80070005u, "E_ACCESSDENIED", nullptr},
    {0x80090001u, "NTE_BAD_UID", nullptr},
    {0x80090002u, "NTE_BAD_HASH", nullptr},
    {0x80090003u, "NTE_BAD_KEY", nullptr},
    {0x80090004u, "NTE_BAD_LEN", nullptr},
    {0x80090005u, "NTE_BAD_DATA", "the token does not decrypt with the session key"},
    {0x80090006u, "NTE_BAD_SIGNATURE", nullptr},
    {0x80090008u, "NTE_BAD_ALGID", nullptr},
    {0x80090009u, "NTE_BAD_FLAGS", nullptr},
    {0x8009000Au, "NTE_BAD_TYPE", nullptr},
    {0x8009000Bu, "NTE_BAD_KEY_STATE", nullptr},
    {0x8009000Cu, "NTE_BAD_HASH_STATE", nullptr},
    {0x8009000Du, "NTE_NO_KEY", nullptr},
    {0x8009000Eu, "NTE_NO_MEMORY", nullptr},
    {0x8009000Fu, "NTE_EXISTS", nullptr},
    {0x80090010u, "NTE_PERM", nullptr},
    {0x80090016u, "NTE_BAD_KEYSET", nullptr},
    {0x80090019u, "NTE_KEYSET_NOT_DEF", nullptr},
    {0x8009001Au, "NTE_KEYSET_ENTRY_BAD", nullptr},
    {0x8009001Bu, "NTE_PROV_TYPE_NO_MATCH", nullptr},
    {0x80090020u, "NTE_FAIL", nullptr},
    {0x80090021u, "NTE_SYS_ERR", nullptr},
}};

const Known* Find(std::int32_t hr)
{
    for (const Known& k : kKnown)
        if (k.code == static_cast<std::uint32_t>(hr))
            return &k;
    return nullptr;
}

}  // namespace

std::string HResultName(std::int32_t hr)
{
    const Known* k = Find(hr);
    return k ? k->name : "";
}

std::string HResultHex(std::int32_t hr)
{
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(static_cast<std::uint32_t>(hr)));
    return text;
}

std::string DescribeVerdict(std::int32_t hr)
{
    if (hr == 0)
        return "valid";
    std::string text = "rejected: " + HResultHex(hr);
    if (const Known* k = Find(hr)) {
        text += std::string(" ") + k->name;
        if (k->reason)
            text += std::string(" (") + k->reason + ")";
    }
    return text;
}

std::string DescribeVerdict(std::int32_t hr, const std::string& failedCheck)
{
    if (hr == 0 || failedCheck.empty())
        return DescribeVerdict(hr);
    const std::string name = HResultName(hr);
    return "rejected: " + failedCheck + " (" + HResultHex(hr) + (name.empty() ? "" : " " + name) + ")";
}

std::string DescribeKind(std::int32_t kind)
{
    switch (kind) {
    case 0: return "plain";
    case 1: return "compressed";
    case 2: return "encrypted";
    case 3: return "compressed and encrypted";
    default: return "kind " + std::to_string(kind);
    }
}

}  // namespace tessel::client
