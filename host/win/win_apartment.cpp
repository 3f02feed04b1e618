#include "host/win/win_apartment.h"

#include <windows.h>

#include <objbase.h>

#include <functional>
#include <map>
#include <new>

#include "host/win/win_outlook.h"
#include "host/win/win_variant.h"

namespace host::win {
namespace {

// The process's global interface table; null when COM is not up on this thread.
ComPtr<IGlobalInterfaceTable> GlobalTable() noexcept
{
    ComPtr<IGlobalInterfaceTable> table;
    if (FAILED(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IGlobalInterfaceTable,
                                table.OutVoid())))
        table.Reset();
    return table;
}

class WinForeignCall final : public ForeignCall {
public:
    WinForeignCall() noexcept
    {
        // S_FALSE (already a single-threaded apartment) also takes a reference
        // that must be given back; RPC_E_CHANGED_MODE leaves the thread as it is.
        m_initialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    }
    WinForeignCall(const WinForeignCall&) = delete;
    WinForeignCall& operator=(const WinForeignCall&) = delete;
    ~WinForeignCall() override
    {
        m_addin.Reset();
        if (m_initialised) CoUninitialize();
    }

    bool Open(std::uint32_t cookie) noexcept
    {
        const ComPtr<IGlobalInterfaceTable> table = GlobalTable();
        if (!table) return false;
        ComPtr<IUnknown> unknown;
        if (FAILED(table->GetInterfaceFromGlobal(cookie, IID_IUnknown, unknown.OutVoid())) || !unknown) return false;
        m_addin = unknown.As<IDispatch>(IID_IDispatch);
        return static_cast<bool>(m_addin);
    }

    bool IdOfName(std::u16string_view name, std::int32_t& dispId) override
    {
        std::u16string terminated(name);
        LPOLESTR names[] = {reinterpret_cast<LPOLESTR>(terminated.data())};
        DISPID id = DISPID_UNKNOWN;
        if (FAILED(m_addin->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return false;
        dispId = id;
        return true;
    }

    HRESULT Invoke(std::int32_t dispId, const Variant& arg) override
    {
        ComVariant argument;
        try {
            *argument.Out() = ToVariant(arg);
        } catch (const ComError& error) {
            return error.Error();
        }
        DISPPARAMS params = {};
        params.rgvarg = &argument.Get();
        params.cArgs = 1;
        ComVariant result;
        EXCEPINFO info = {};
        UINT argError = 0;
        const HRESULT hr = m_addin->Invoke(dispId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                           result.Out(), &info, &argError);
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
        return hr;
    }

private:
    bool m_initialised = false;
    ComPtr<IDispatch> m_addin;
};

}  // namespace

HRESULT WinApartment::Register(Object* addin, std::uint32_t& cookie)
{
    IUnknown* unknown = ComUnknownOf(addin);
    if (!unknown) return E_NOINTERFACE;
    const ComPtr<IGlobalInterfaceTable> table = GlobalTable();
    if (!table) return CO_E_NOTINITIALIZED;
    DWORD registered = 0;
    const HRESULT hr = table->RegisterInterfaceInGlobal(unknown, IID_IUnknown, &registered);
    if (SUCCEEDED(hr)) cookie = registered;
    return hr;
}

HRESULT WinApartment::Revoke(std::uint32_t cookie)
{
    const ComPtr<IGlobalInterfaceTable> table = GlobalTable();
    if (!table) return CO_E_NOTINITIALIZED;
    return table->RevokeInterfaceFromGlobal(cookie);
}

std::unique_ptr<ForeignCall> WinApartment::Enter(std::uint32_t cookie)
{
    auto call = std::unique_ptr<WinForeignCall>(new (std::nothrow) WinForeignCall());
    if (!call || !call->Open(cookie)) return nullptr;
    return call;
}

Ref<Stream> WinApartment::MemoryStream(std::span<const std::uint8_t> bytes)
{
    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.Out())) || !stream) return nullptr;
    ULONG written = 0;
    if (!bytes.empty() &&
        (FAILED(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written)) || written != bytes.size()))
        return nullptr;
    LARGE_INTEGER start = {};
    if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) return nullptr;
    return WrapStream(stream.Get());
}

// Timers without a window: WM_TIMER goes to the thread's queue and
// DispatchMessage calls the procedure, which finds the callback by the id.
// Timers are set and run on the add-in's thread only: no lock.
namespace {
std::map<UINT_PTR, std::function<void()>>& Timers()
{
    static std::map<UINT_PTR, std::function<void()>> timers;
    return timers;
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    // A Windows timer repeats: this one runs once.
    KillTimer(nullptr, id);
    const auto found = Timers().find(id);
    if (found == Timers().end()) return;
    const std::function<void()> callback = std::move(found->second);
    Timers().erase(found);
    try {
        callback();
    } catch (...) {
        // The callbacks keep their own boundaries; nothing may reach the message loop.
    }
}
}  // namespace

std::uint32_t WinApartment::StartTimer(std::uint32_t delayMs, std::function<void()> callback)
{
    const UINT_PTR id = SetTimer(nullptr, 0, delayMs, &OnTimer);
    if (id == 0) return 0;
    Timers()[id] = std::move(callback);
    return static_cast<std::uint32_t>(id);
}

void WinApartment::StopTimer(std::uint32_t id) noexcept
{
    if (id == 0) return;
    KillTimer(nullptr, id);
    Timers().erase(id);
}

}  // namespace host::win
