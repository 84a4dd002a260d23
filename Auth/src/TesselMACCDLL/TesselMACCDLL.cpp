// The eleven exports of libTesselMACCDLL.so. Each converts its texts, calls
// one handler operation, copies text out through the caller's counted buffer
// and returns the operation's HRESULT. Nothing is thrown across the boundary.
#define TESSEL_MACC_BUILDING 1
#include "TesselMACCDLL.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

#include "TesselMAC.h"

using namespace tessel;

namespace {

// A live handler and the lock that keeps one call at a time on it.
struct Entry {
    std::mutex busy;
    std::unique_ptr<TokenHandler> handler;
};

// 32-bit handles for handler objects. A handle is never reused while the
// library is loaded, so a stale one is recognised instead of reaching a freed
// or foreign handler.
class HandleTable {
public:
    TesselTokenHandle Add(std::unique_ptr<TokenHandler> handler)
    {
        auto entry = std::make_shared<Entry>();
        entry->handler = std::move(handler);
        const std::lock_guard<std::mutex> lock(mutex_);
        if (next_ == 0)
            throw HResultError(kE_OUTOFMEMORY);  // every handle has been issued
        const TesselTokenHandle h = next_++;
        entries_.emplace(h, std::move(entry));
        return h;
    }
    std::shared_ptr<Entry> Find(TesselTokenHandle h)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto it = entries_.find(h);
        return it == entries_.end() ? nullptr : it->second;
    }
    std::shared_ptr<Entry> Take(TesselTokenHandle h)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto it = entries_.find(h);
        if (it == entries_.end())
            return nullptr;
        auto entry = std::move(it->second);
        entries_.erase(it);
        return entry;
    }

private:
    std::mutex mutex_;
    TesselTokenHandle next_ = 1;
    std::unordered_map<TesselTokenHandle, std::shared_ptr<Entry>> entries_;
};

HandleTable& Handles()
{
    static HandleTable table;
    return table;
}

OptText In(const char* text)
{
    if (!text)
        return std::nullopt;
    return Utf8ToText(text);
}

// Runs f and turns whatever it raises into an HRESULT.
template <typename F>
TesselHResult Guard(F&& f) noexcept
{
    try {
        return f();
    } catch (const HResultError& e) {
        return e.code();
    } catch (const ZlibError& e) {
        return HResultFromZlib(e.code);
    } catch (const std::bad_alloc&) {
        return kE_OUTOFMEMORY;
    } catch (...) {
        return kE_UNEXPECTED;
    }
}

// Runs op on the handler behind h, one call at a time.
template <typename F>
TesselHResult WithHandler(TesselTokenHandle h, F&& op) noexcept
{
    return Guard([&]() -> TesselHResult {
        const std::shared_ptr<Entry> entry = Handles().Find(h);
        if (!entry)
            return kE_HANDLE;
        const std::lock_guard<std::mutex> lock(entry->busy);
        if (!entry->handler)
            return kE_HANDLE;
        return op(*entry->handler);
    });
}

// The counted out-buffer: the text's UTF-8 form is written straight into it,
// cut at the capacity, with nothing allocated, so nothing fails half way.
void CopyOut(const OptText& value, int32_t* length, char** buffer)
{
    if (!value) {
        *length = 0;
        return;
    }
    const std::size_t capacity = *length > 0 ? static_cast<std::size_t>(*length) : 0;
    const std::size_t n = TextToUtf8Prefix(*value, *buffer, capacity);
    (*buffer)[n] = '\0';
    *length = static_cast<int32_t>(n);
}

bool BadOut(const int32_t* length, char* const* buffer)
{
    return !length || !buffer || !*buffer;
}

// An export whose operation yields one text through the counted out-buffer.
template <typename F>
TesselHResult WithTextOut(TesselTokenHandle h, int32_t* length, char** buffer, F&& op) noexcept
{
    if (BadOut(length, buffer))
        return kE_POINTER;
    return WithHandler(h, [&](TokenHandler& handler) {
        OptText out;
        const HRESULT hr = op(handler, out);
        CopyOut(out, length, buffer);
        return hr;
    });
}

}  // namespace

extern "C" {

TesselHResult AcquireTokenHandler(const char* scheme, TesselTokenHandle* handle)
{
    if (!handle)
        return kE_POINTER;
    return Guard([&]() -> TesselHResult {
        auto handler = CreateTokenHandler(In(scheme));
        *handle = Handles().Add(std::move(handler));
        return 0;
    });
}

TesselHResult ReleaseTokenHandler(TesselTokenHandle handle)
{
    if (handle == 0)
        return 0;
    return Guard([&]() -> TesselHResult {
        const std::shared_ptr<Entry> entry = Handles().Take(handle);
        if (!entry)
            return kE_HANDLE;
        const std::lock_guard<std::mutex> lock(entry->busy);  // waits for a call under way
        return entry->handler.release()->Release();
    });
}

TesselHResult GetTokenScheme(TesselTokenHandle handle, int32_t* length, char** buffer)
{
    return WithTextOut(handle, length, buffer, [](TokenHandler& h, OptText& out) { return h.GetTokenScheme(out); });
}

TesselHResult SetTokenSeed(TesselTokenHandle handle, const char* seed)
{
    return WithHandler(handle, [&](TokenHandler& h) { return h.SetTokenSeed(In(seed)); });
}

TesselHResult GetTokenSeed(TesselTokenHandle handle, int32_t* length, char** buffer)
{
    return WithTextOut(handle, length, buffer, [](TokenHandler& h, OptText& out) { return h.GetTokenSeed(out); });
}

TesselHResult SetTokenItem(TesselTokenHandle handle, const char* name, const char* value)
{
    return WithHandler(handle, [&](TokenHandler& h) { return h.SetTokenItem(In(name), In(value)); });
}

TesselHResult GetTokenItem(TesselTokenHandle handle, const char* name, int32_t* length, char** buffer)
{
    return WithTextOut(handle, length, buffer,
                       [&](TokenHandler& h, OptText& out) { return h.GetTokenItem(In(name), out); });
}

TesselHResult SetTokenData(TesselTokenHandle handle, int32_t index, int32_t kind, const char* name, const char* value)
{
    return WithHandler(handle, [&](TokenHandler& h) {
        const std::uint32_t flags = (static_cast<std::uint32_t>(kind) & 0xFFFFu) | TOKEN_DATA_OWN_COPIES;
        return h.SetTokenData(static_cast<std::uint32_t>(index), flags, In(name), In(value));
    });
}

TesselHResult GetTokenData(TesselTokenHandle handle, int32_t index, int32_t* kind, int32_t* length, char** buffer)
{
    if (BadOut(length, buffer))
        return kE_POINTER;
    return WithHandler(handle, [&](TokenHandler& h) {
        std::uint32_t slotKind = 0;
        CopyOut(h.ConvertedData(static_cast<std::uint32_t>(index), &slotKind), length, buffer);
        if (kind)
            *kind = static_cast<int32_t>(slotKind & 0xFFFFu);
        return HRESULT{0};
    });
}

TesselHResult ConstructToken(TesselTokenHandle handle, int32_t* length, char** buffer)
{
    return WithTextOut(handle, length, buffer, [](TokenHandler& h, OptText& out) { return h.ConstructToken(out); });
}

TesselHResult ValidateToken(TesselTokenHandle handle, const char* token)
{
    return WithHandler(handle, [&](TokenHandler& h) { return h.ValidateToken(In(token)); });
}

}  // extern "C"
