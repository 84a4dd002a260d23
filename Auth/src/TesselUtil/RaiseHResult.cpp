#include "RaiseHResult.h"

namespace tessel {

namespace {
thread_local const char* lastOperation = "";
}

HRESULT HResultFromError(std::uint32_t code) noexcept
{
    if (code == 0)
        return kE_FAIL;
    if ((code & 0x1FFF0000u) == 0 && static_cast<std::int32_t>(code) > 0)
        return static_cast<HRESULT>(0x80070000u | (code & 0xFFFFu));
    return static_cast<HRESULT>(code);
}

void RaiseHResult(std::uint32_t code, const char* operation)
{
    lastOperation = operation ? operation : "";
    throw HResultError(HResultFromError(code));
}

const char* LastRaisingOperation() noexcept
{
    return lastOperation;
}

}  // namespace tessel
