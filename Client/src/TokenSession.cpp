#include "Client/TokenSession.h"

#include <algorithm>
#include <limits>

namespace tessel::client {

std::int32_t CapacityOf(std::size_t length)
{
    return static_cast<std::int32_t>(
        std::min<std::size_t>(length, static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() - 1)));
}

std::int32_t AtLeastOneMiB(std::size_t resultLength)
{
    return std::max(CapacityOf(resultLength) + 1, kReplyBufferMin);
}

TokenSession::Setup TokenSession::Acquire()
{
    Setup s;
    library_.AcquireTokenHandler("", s.handle);
    s.scheme = library_.GetTokenScheme(s.handle, kSchemeCapacity).text;
    s.seed = library_.GetTokenSeed(s.handle, kSchemeCapacity).text;
    library_.SetTokenSeed(s.handle, s.seed);
    return s;
}

void TokenSession::SetSessionItems(std::int32_t handle, const std::string& sessionKey, const std::string& verifier)
{
    library_.SetTokenItem(handle, "SessionKey", sessionKey);
    library_.SetTokenItem(handle, "Opaque", verifier);
}

TextOut TokenSession::RequestToken(std::int32_t handle, const std::string& method, const std::vector<Slot>& slots)
{
    library_.SetTokenData(handle, 0, 0, method, "");
    for (std::size_t i = 0; i < slots.size(); ++i)
        library_.SetTokenData(handle, static_cast<std::int32_t>(i + 1), 0, slots[i].first, slots[i].second);
    return library_.ConstructToken(handle, kTokenCapacity);
}

std::int32_t TokenSession::ValidateReply(std::int32_t handle, const std::string& method, const std::string& result,
                                         const std::string& token)
{
    library_.SetTokenData(handle, 0, 0, method, "");
    library_.SetTokenData(handle, 1, 0, "result", result);
    return library_.ValidateToken(handle, token);
}

SlotOut TokenSession::ReadSlot(std::int32_t handle, std::int32_t index, std::int32_t capacity)
{
    return library_.GetTokenData(handle, index, capacity);
}

SlotOut TokenSession::ReadWhole(std::int32_t handle, std::int32_t index, std::size_t resultLength)
{
    std::int32_t capacity = AtLeastOneMiB(resultLength);
    SlotOut slot = library_.GetTokenData(handle, index, capacity);
    while (slot.hr == 0 && slot.text.size() == static_cast<std::size_t>(capacity) && capacity < kReadWholeMax) {
        capacity = capacity > kReadWholeMax / 2 ? kReadWholeMax : 2 * capacity;
        slot = library_.GetTokenData(handle, index, capacity);
    }
    return slot;
}

void TokenSession::Release(std::int32_t handle)
{
    library_.ReleaseTokenHandler(handle);
}

}  // namespace tessel::client
