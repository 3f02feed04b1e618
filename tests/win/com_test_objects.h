// Small real COM objects for the Windows suites: an automation object whose
// names and behaviour a test gives, with connection points that call their
// sinks as Outlook's do, and the add-in object as the engine's thread sees it.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <ocidl.h>
#include <olectl.h>

#include <atomic>
#include <cstdint>
#include <cwchar>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/com_error.h"
#include "host/win/com_object.h"
#include "host/win/win_variant.h"

namespace testcom {

// One connection point: keeps each sink (asked for the event interface, as
// ATL's points ask) under a cookie, and fires events at them.
class TestConnectionPoint final
    : public host::win::ComObject<host::win::AtomicCount, host::win::Row<IConnectionPoint, IID_IConnectionPoint>> {
public:
    explicit TestConnectionPoint(const IID& iid) : m_iid(iid) {}

    // Calls Invoke(dispId) of every sink; args in their natural order.
    void Fire(DISPID dispId, std::vector<VARIANT> args = {})
    {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());  // DISPPARAMS holds them last to first
        DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        for (const auto& [cookie, sink] : std::map<DWORD, IDispatch*>(m_sinks))
            sink->Invoke(dispId, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    }
    std::size_t SinkCount() const { return m_sinks.size(); }
    // The last sink advised, with a reference for the caller.
    IDispatch* LastSink()
    {
        if (m_last) m_last->AddRef();
        return m_last;
    }
    void Close()
    {
        for (const auto& [cookie, sink] : m_sinks) sink->Release();
        m_sinks.clear();
        if (m_last) m_last->Release();
        m_last = nullptr;
    }

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override
    {
        *iid = m_iid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override
    {
        IDispatch* dispatch = nullptr;
        if (FAILED(sink->QueryInterface(m_iid, reinterpret_cast<void**>(&dispatch)))) return CONNECT_E_CANNOTCONNECT;
        presets.push_back(*cookie);
        *cookie = m_nextCookie++;
        m_sinks[*cookie] = dispatch;
        if (m_last) m_last->Release();
        m_last = dispatch;
        m_last->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override
    {
        const auto it = m_sinks.find(cookie);
        if (it == m_sinks.end()) return CONNECT_E_NOCONNECTION;
        it->second->Release();
        m_sinks.erase(it);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

    std::vector<DWORD> presets;  // the cookie each Advise found

private:
    ~TestConnectionPoint() override { Close(); }

    IID m_iid;
    DWORD m_nextCookie = 0x100;
    std::map<DWORD, IDispatch*> m_sinks;
    IDispatch* m_last = nullptr;
};

// An automation object: names (matched without case) map to dispatch ids;
// Invoke hands each call, arguments in their natural order, to the handler.
class TestObject final
    : public host::win::ComObject<host::win::AtomicCount, host::win::Row<IDispatch, IID_IDispatch>,
                                  host::win::Row<IConnectionPointContainer, IID_IConnectionPointContainer>> {
public:
    struct Call {
        DISPID id;
        WORD flags;
        std::vector<VARIANT> args;  // valid while the handler runs
        DWORD thread;
    };
    using Handler = std::function<HRESULT(const Call& call, VARIANT* result, EXCEPINFO* info)>;

    // points: the event interfaces it has connection points for;
    // withContainer false: no IConnectionPointContainer at all.
    TestObject(std::map<std::wstring, DISPID> names, Handler handler, std::vector<IID> points = {},
               bool withContainer = true)
        : m_names(std::move(names)), m_handler(std::move(handler)), m_withContainer(withContainer)
    {
        for (const IID& iid : points) m_points.push_back(new TestConnectionPoint(iid));
    }

    ULONG Refs() const { return RefCount().Get(); }
    IDispatch* Dispatch() { return this; }
    TestConnectionPoint* Point(const IID& iid) const
    {
        for (TestConnectionPoint* point : m_points) {
            IID pointIid;
            point->GetConnectionInterface(&pointIid);
            if (IsEqualIID(pointIid, iid)) return point;
        }
        return nullptr;
    }
    const std::vector<Call>& Calls() const { return m_calls; }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return DISP_E_BADINDEX; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (const auto& [name, id] : m_names)
                if (host::win::SameName(name.c_str(), names[i])) ids[i] = id;
            if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* info, UINT*) override
    {
        Call call{id, flags, {}, GetCurrentThreadId()};
        for (UINT i = params ? params->cArgs : 0; i > 0; --i) call.args.push_back(params->rgvarg[i - 1]);
        const HRESULT hr = m_handler ? m_handler(call, result, info) : DISP_E_MEMBERNOTFOUND;
        call.args.clear();
        m_calls.push_back(call);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** out) override
    {
        *out = Point(iid);
        if (!*out) return CONNECT_E_NOCONNECTION;
        (*out)->AddRef();
        return S_OK;
    }

private:
    bool Offers(REFIID iid) const noexcept override
    {
        return m_withContainer || !IsEqualIID(iid, IID_IConnectionPointContainer);
    }

    ~TestObject() override
    {
        for (TestConnectionPoint* point : m_points) {
            point->Close();
            point->Release();
        }
    }

    std::map<std::wstring, DISPID> m_names;
    Handler m_handler;
    bool m_withContainer;
    std::vector<TestConnectionPoint*> m_points;
    std::vector<Call> m_calls;
};

// The COM error a call raises; S_OK when it raises none.
template <class Call>
HRESULT ErrorOf(Call call, std::u16string* description = nullptr)
{
    try {
        call();
    } catch (const host::ComError& error) {
        if (description) *description = error.Description();
        return error.Error();
    }
    return S_OK;
}

inline VARIANT Bool(VARIANT_BOOL b)
{
    VARIANT v = {};
    v.vt = VT_BOOL;
    v.boolVal = b;
    return v;
}
inline VARIANT I4(LONG i)
{
    VARIANT v = {};
    v.vt = VT_I4;
    v.lVal = i;
    return v;
}
// Unowned: the caller keeps the object alive.
inline VARIANT Unknown(IUnknown* unknown)
{
    VARIANT v = {};
    v.vt = VT_UNKNOWN;
    v.punkVal = unknown;
    return v;
}

// COM up on this thread as a single-threaded apartment for the scope.
class ComScope {
public:
    ComScope() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope()
    {
        if (SUCCEEDED(m_hr)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};

enum : DISPID { kSetServerStatus = 0x101, kImportSettings = 0x102 };

// The add-in object as the engine's thread reaches it: records each call
// (with its thread) and reads the stream ImportSettings is given.
struct TestAddin {
    TestObject* object = nullptr;
    std::vector<std::uint8_t> imported;
    VARIANT status = {};

    TestAddin()
    {
        auto handle = [this](const TestObject::Call& call, VARIANT*, EXCEPINFO*) -> HRESULT {
            if (call.args.size() != 1) return DISP_E_BADPARAMCOUNT;
            const VARIANT& arg = call.args[0];
            if (call.id == kSetServerStatus) {
                status = arg;
                return S_OK;
            }
            IStream* stream = nullptr;
            if (arg.vt != VT_UNKNOWN || !arg.punkVal ||
                FAILED(arg.punkVal->QueryInterface(IID_IStream, reinterpret_cast<void**>(&stream))))
                return E_INVALIDARG;
            STATSTG stat = {};
            stream->Stat(&stat, STATFLAG_NONAME);
            imported.assign(static_cast<std::size_t>(stat.cbSize.QuadPart), 0);
            ULONG read = 0;
            stream->Read(imported.data(), static_cast<ULONG>(imported.size()), &read);
            imported.resize(read);
            stream->Release();
            return S_OK;
        };
        object = new TestObject({{L"SetServerStatus", kSetServerStatus}, {L"ImportSettings", kImportSettings}}, handle);
    }
    ~TestAddin() { object->Release(); }
    TestAddin(const TestAddin&) = delete;
    TestAddin& operator=(const TestAddin&) = delete;
};

}  // namespace testcom
