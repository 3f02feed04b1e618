// qev.dll as a COM server, loaded by its full path and driven through its
// exports and its interfaces: the class object, the module's lock count,
// QueryInterface, the three IDispatch faces, the type library and the
// version resource.
#include <windows.h>

#include <oaidl.h>
#include <objbase.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "addin/com/office_ribbon.h"
#include "addin/dispatch_names.h"
#include "host/win/win_variant.h"
#include "tests/win/qev_dll.h"

namespace {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // COM objects die through Release

using host::win::ComPtr;
using qevtest::NewConnect;
using qevtest::QevDll;

[[maybe_unused]] testing::Environment* const kCom = testing::AddGlobalTestEnvironment(new qevtest::ComEnvironment);

// ---- arguments and calls ----

VARIANT Bool(VARIANT_BOOL b)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BOOL;
    v.boolVal = b;
    return v;
}

VARIANT Int(LONG i)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = i;
    return v;
}

VARIANT Text(const wchar_t* text)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    return v;
}

VARIANT Empty(VARTYPE type = VT_EMPTY)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = type;
    return v;
}

VARIANT Object(IUnknown* object, VARTYPE type = VT_UNKNOWN)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = type;
    v.punkVal = object;
    if (object) object->AddRef();
    return v;
}

// The outcome of one Invoke.
struct Outcome {
    HRESULT hr = E_FAIL;
    SCODE scode = 0;
    UINT argError = 0xFFFFFFFFu;
};

// Invokes id with args in their natural order (the call reverses them, as
// DISPPARAMS wants), then clears the arguments and the result.
Outcome Call(IDispatch* target, DISPID id, std::vector<VARIANT> args, WORD flags = DISPATCH_METHOD,
             std::vector<DISPID> named = {})
{
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), named.empty() ? nullptr : named.data(),
                         static_cast<UINT>(reversed.size()), static_cast<UINT>(named.size())};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO info = {};
    Outcome outcome;
    outcome.hr = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result, &info, &outcome.argError);
    outcome.scode = info.scode;
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    VariantClear(&result);
    for (VARIANT& v : args) VariantClear(&v);
    return outcome;
}

// GetIDsOfNames with the names given; the ids come back in ids.
HRESULT Names(IDispatch* target, std::vector<std::wstring> names, std::vector<DISPID>& ids)
{
    std::vector<LPOLESTR> pointers;
    for (std::wstring& name : names) pointers.push_back(name.data());
    ids.assign(names.size(), 12345);
    return target->GetIDsOfNames(IID_NULL, pointers.data(), static_cast<UINT>(pointers.size()), LOCALE_USER_DEFAULT,
                                 ids.data());
}

// ---- an IStream whose reads can fail ----

// The test owns the stream (on its stack): its count is checked, never
// taken to zero.
class StackCount : public host::win::AtomicCount {
public:
    static constexpr bool kDeletes = false;
};

class TestStream final
    : public host::win::ComObject<StackCount, host::win::Row<IStream, IID_IStream, IID_ISequentialStream>> {
public:
    enum class Fault { None, Stat, Read };

    TestStream(std::size_t size, Fault fault) : m_fault(fault)
    {
        CreateStreamOnHGlobal(nullptr, TRUE, &m_inner);
        std::vector<std::uint8_t> bytes(size, 0);
        ULONG written = 0;
        if (size) m_inner->Write(bytes.data(), static_cast<ULONG>(size), &written);
        LARGE_INTEGER start = {};
        m_inner->Seek(start, STREAM_SEEK_SET, nullptr);
    }
    ~TestStream() override { m_inner->Release(); }

    LONG References() const { return static_cast<LONG>(RefCount().Get()); }

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override
    {
        if (m_fault == Fault::Read) return STG_E_READFAULT;
        return m_inner->Read(buffer, size, read);
    }
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG size, ULONG* written) override
    {
        return m_inner->Write(buffer, size, written);
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override
    {
        return m_inner->Seek(move, origin, position);
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override { return m_inner->SetSize(size); }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* to, ULARGE_INTEGER size, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) override
    {
        return m_inner->CopyTo(to, size, read, written);
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override { return m_inner->Commit(flags); }
    HRESULT STDMETHODCALLTYPE Revert() override { return m_inner->Revert(); }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) override
    {
        return m_inner->LockRegion(offset, size, type);
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) override
    {
        return m_inner->UnlockRegion(offset, size, type);
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override
    {
        if (m_fault == Fault::Stat) return STG_E_ACCESSDENIED;
        return m_inner->Stat(stat, flags);
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream** out) override { return m_inner->Clone(out); }

private:
    Fault m_fault;
    IStream* m_inner = nullptr;
};

#pragma GCC diagnostic pop

class ComServer : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QevDll::Get().Loaded()) << "cannot load qev.dll";
        ASSERT_EQ(QevDll::Get().CanUnloadNow(), S_OK) << "an earlier test left the server locked";
    }
    void TearDown() override { EXPECT_EQ(QevDll::Get().CanUnloadNow(), S_OK) << "the test left the server locked"; }

    // A new object's four IDispatch faces.
    struct Faces {
        ComPtr<IDispatch> object, designer, connect, ribbon;
    };
    static bool NewFaces(Faces& faces)
    {
        return NewConnect(IID_IDispatch, faces.object.OutVoid()) == S_OK &&
               faces.object->QueryInterface(IID__IDTExtensibility2, faces.designer.OutVoid()) == S_OK &&
               faces.object->QueryInterface(IID_IConnect, faces.connect.OutVoid()) == S_OK &&
               faces.object->QueryInterface(IID_IRibbonCallback, faces.ribbon.OutVoid()) == S_OK;
    }
};

// ---- the class object and the lock count ----

TEST_F(ComServer, ClassObjectIsOnlyForConnect)
{
    const GUID unknown = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
    struct Case {
        const char* what;
        const GUID* clsid;
        const IID* iid;
        HRESULT expected;
    };
    const Case cases[] = {
        {"Connect as IClassFactory", &CLSID_Connect, &IID_IClassFactory, S_OK},
        {"Connect as IUnknown", &CLSID_Connect, &IID_IUnknown, S_OK},
        {"Connect as IDispatch", &CLSID_Connect, &IID_IDispatch, E_NOINTERFACE},
        {"RibbonCallback (not creatable)", &CLSID_RibbonCallback, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"an unknown class", &unknown, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"the null class", &GUID_NULL, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"the type library's id", &LIBID_qevLib, &IID_IUnknown, CLASS_E_CLASSNOTAVAILABLE},
    };
    for (const Case& c : cases) {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(QevDll::Get().GetClassObject(*c.clsid, *c.iid, &out), c.expected) << c.what;
        EXPECT_EQ(out != nullptr, c.expected == S_OK) << c.what;
        if (out) static_cast<IUnknown*>(out)->Release();
    }
    EXPECT_EQ(QevDll::Get().GetClassObject(CLSID_Connect, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(static_cast<std::uint32_t>(QevDll::Get().GetClassObject(unknown, IID_IClassFactory, nullptr)),
              static_cast<std::uint32_t>(E_POINTER));

    // One class object, kept by the module.
    ComPtr<IClassFactory> first, second;
    ASSERT_EQ(QevDll::Get().GetClassObject(CLSID_Connect, IID_IClassFactory, first.OutVoid()), S_OK);
    ASSERT_EQ(QevDll::Get().GetClassObject(CLSID_Connect, IID_IClassFactory, second.OutVoid()), S_OK);
    EXPECT_EQ(first.Get(), second.Get());
}

TEST_F(ComServer, CanUnloadOnlyWhileNothingHoldsTheServer)
{
    const auto canUnload = [] { return QevDll::Get().CanUnloadNow(); };
    {
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(QevDll::Get().GetClassObject(CLSID_Connect, IID_IClassFactory, factory.OutVoid()), S_OK);
        EXPECT_EQ(canUnload(), S_FALSE) << "a client holds the class object";
        EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    }
    EXPECT_EQ(canUnload(), S_FALSE) << "a server lock";
    {
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(QevDll::Get().GetClassObject(CLSID_Connect, IID_IClassFactory, factory.OutVoid()), S_OK);
        EXPECT_EQ(factory->LockServer(FALSE), S_OK);
        EXPECT_EQ(factory->LockServer(FALSE), E_UNEXPECTED) << "an unlock without its lock";

        ComPtr<IUnknown> one, two;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, one.OutVoid()), S_OK);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, two.OutVoid()), S_OK);
        factory.Reset();
        EXPECT_EQ(canUnload(), S_FALSE) << "two objects";
        one.Reset();
        EXPECT_EQ(canUnload(), S_FALSE) << "one object";
        two.Reset();
    }
    EXPECT_EQ(canUnload(), S_OK);

    // A failed creation leaves nothing behind.
    ComPtr<IUnknown> none;
    EXPECT_EQ(NewConnect(IID_IPersist, none.OutVoid()), E_NOINTERFACE);
    EXPECT_FALSE(none);
    EXPECT_EQ(canUnload(), S_OK);
}

TEST_F(ComServer, CreateInstanceChecksItsArguments)
{
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(QevDll::Get().GetClassObject(CLSID_Connect, IID_IClassFactory, factory.OutVoid()), S_OK);
    ComPtr<IUnknown> outer;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, outer.OutVoid()), S_OK);
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    ComPtr<IUnknown> asFactory;
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, asFactory.OutVoid()), S_OK);
    EXPECT_EQ(factory->QueryInterface(IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

// ---- QueryInterface ----

TEST_F(ComServer, QueryInterfaceAnswersEachFaceOfOneObject)
{
    ComPtr<IUnknown> object;
    ASSERT_EQ(NewConnect(IID_IUnknown, object.OutVoid()), S_OK);
    struct Case {
        const char* what;
        const IID* iid;
        HRESULT expected;
    };
    const Case cases[] = {
        {"IUnknown", &IID_IUnknown, S_OK},
        {"IDispatch", &IID_IDispatch, S_OK},
        {"_IDTExtensibility2", &IID__IDTExtensibility2, S_OK},
        {"IConnect", &IID_IConnect, S_OK},
        {"IRibbonCallback", &IID_IRibbonCallback, S_OK},
        {"IRibbonExtensibility", &IID_IRibbonExtensibility, S_OK},
        {"IClassFactory", &IID_IClassFactory, E_NOINTERFACE},
        {"IPersist", &IID_IPersist, E_NOINTERFACE},
        {"IConnectionPointContainer", &IID_IConnectionPointContainer, E_NOINTERFACE},
        {"IMarshal", &IID_IMarshal, E_NOINTERFACE},
        {"IProvideClassInfo", &IID_IProvideClassInfo, E_NOINTERFACE},
        {"IID_NULL", &IID_NULL, E_NOINTERFACE},
    };
    for (const Case& c : cases) {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(object->QueryInterface(*c.iid, &out), c.expected) << c.what;
        if (c.expected != S_OK) {
            EXPECT_EQ(out, nullptr) << c.what;
            continue;
        }
        ASSERT_NE(out, nullptr) << c.what;
        auto* face = static_cast<IUnknown*>(out);
        // Every face leads back to the one identity, and to the object's own IDispatch.
        ComPtr<IUnknown> identity;
        ComPtr<IDispatch> dispatch;
        EXPECT_EQ(face->QueryInterface(IID_IUnknown, identity.OutVoid()), S_OK) << c.what;
        EXPECT_EQ(identity.Get(), object.Get()) << c.what;
        EXPECT_EQ(face->QueryInterface(IID_IDispatch, dispatch.OutVoid()), S_OK) << c.what;
        EXPECT_EQ(static_cast<IUnknown*>(dispatch.Get()), object.Get()) << c.what;
        EXPECT_EQ(face->QueryInterface(*c.iid, nullptr), E_POINTER) << c.what;
        face->Release();
    }
    // The count goes up and down with AddRef and Release.
    const ULONG base = object->AddRef();
    EXPECT_EQ(object->AddRef(), base + 1);
    EXPECT_EQ(object->Release(), base);
    EXPECT_EQ(object->Release(), base - 1);
}

// ---- the object's IDispatch ----

TEST_F(ComServer, ObjectDispatchAnswersEveryNameOfBothInterfaces)
{
    ComPtr<IDispatch> object;
    ASSERT_EQ(NewConnect(IID_IDispatch, object.OutVoid()), S_OK);
    struct Case {
        std::vector<std::wstring> names;
        HRESULT expected;
        std::vector<DISPID> ids;
    };
    const Case cases[] = {
        {{L"SetServerStatus"}, S_OK, {0x101}},
        {{L"ImportSettings"}, S_OK, {0x102}},
        {{L"importsettings"}, S_OK, {0x102}},
        {{L"Ribbon_OnLoad"}, S_OK, {1}},
        {{L"RIBBON_ONGETENABLED"}, S_OK, {10}},
        {{L"SetServerStatus", L"Up"}, S_OK, {0x101, 0}},
        {{L"Ribbon_OnGetLabel", L"pControl"}, S_OK, {4, 0}},
        {{L"SetServerStatus", L"settings"}, DISP_E_UNKNOWNNAME, {0x101, DISPID_UNKNOWN}},
        {{L"OnConnection"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
        {{L"QueryInterface"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
        {{L"Invoke"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
        {{L"SetServerStatus2"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
        {{L""}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
        {{L"Nope", L"Up"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN, DISPID_UNKNOWN}},
    };
    for (const Case& c : cases) {
        std::vector<DISPID> ids;
        EXPECT_EQ(Names(object.Get(), c.names, ids), c.expected) << static_cast<int>(c.names.size());
        EXPECT_EQ(ids, c.ids);
    }
    // The frame of the call.
    LPOLESTR name = const_cast<LPOLESTR>(L"SetServerStatus");
    DISPID id = 0;
    const IID other = IID_IConnect;
    EXPECT_EQ(object->GetIDsOfNames(other, &name, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, &name, 0, 0, &id), E_INVALIDARG);
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, &name, 1, 0, nullptr), E_POINTER);
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, nullptr, 1, 0, &id), E_POINTER);
    UINT count = 7;
    EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1);
    EXPECT_EQ(object->GetTypeInfo(0, 0, &info), DISP_E_BADINDEX);
    EXPECT_EQ(info, nullptr);
}

TEST_F(ComServer, EachInterfaceAnswersItsOwnIds)
{
    Faces faces;
    ASSERT_TRUE(NewFaces(faces));
    auto& [object, designer, connect, ribbon] = faces;
    struct Case {
        const char* face;
        IDispatch* target;
        const wchar_t* name;
        DISPID id;  // DISPID_UNKNOWN: not a name of that face
    };
    const Case cases[] = {
        {"designer", designer.Get(), L"OnConnection", 1},
        {"designer", designer.Get(), L"OnDisconnection", 2},
        {"designer", designer.Get(), L"onaddinsupdate", 3},
        {"designer", designer.Get(), L"OnStartupComplete", 4},
        {"designer", designer.Get(), L"OnBeginShutdown", 5},
        {"designer", designer.Get(), L"SetServerStatus", DISPID_UNKNOWN},
        {"connect", connect.Get(), L"SetServerStatus", 1},
        {"connect", connect.Get(), L"ImportSettings", 2},
        {"connect", connect.Get(), L"Ribbon_OnLoad", DISPID_UNKNOWN},
        {"connect", connect.Get(), L"QueryInterface", DISPID_UNKNOWN},
        {"connect", connect.Get(), L"GetIDsOfNames", DISPID_UNKNOWN},
        {"ribbon", ribbon.Get(), L"Ribbon_OnLoad", 1},
        {"ribbon", ribbon.Get(), L"Ribbon_OnGetSize", 5},
        {"ribbon", ribbon.Get(), L"Ribbon_OnGetImage", 9},
        {"ribbon", ribbon.Get(), L"Ribbon_OnGetEnabled", 10},
        {"ribbon", ribbon.Get(), L"ImportSettings", DISPID_UNKNOWN},
        {"ribbon", ribbon.Get(), L"AddRef", DISPID_UNKNOWN},
    };
    for (const Case& c : cases) {
        std::vector<DISPID> ids;
        const HRESULT hr = Names(c.target, {c.name}, ids);
        EXPECT_EQ(hr, c.id == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK) << c.face << " " << static_cast<int>(c.id);
        EXPECT_EQ(ids[0], c.id) << c.face << " " << static_cast<int>(c.id);
    }
    // The dual interfaces describe themselves; the designer's description is not qev's to give.
    UINT count = 0;
    EXPECT_EQ(connect->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(designer->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(ribbon->GetTypeInfo(0, 0, info.Out()), S_OK);
    BSTR name = nullptr;
    ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_STREQ(name, L"IRibbonCallback");
    SysFreeString(name);
    ITypeInfo* none = reinterpret_cast<ITypeInfo*>(0x1);
    EXPECT_EQ(connect->GetTypeInfo(1, 0, &none), DISP_E_BADINDEX);
    EXPECT_EQ(none, nullptr);
}

TEST_F(ComServer, InvokeRefusesIdsNoFaceHas)
{
    Faces faces;
    ASSERT_TRUE(NewFaces(faces));
    auto& [object, designer, connect, ribbon] = faces;
    struct Case {
        const char* face;
        IDispatch* target;
        DISPID id;
    };
    const Case cases[] = {
        {"object", object.Get(), 0},
        {"object", object.Get(), -1},
        {"object", object.Get(), 11},
        {"object", object.Get(), 0x100},
        {"object", object.Get(), 0x103},
        {"object", object.Get(), 0x60000000},
        {"object", object.Get(), DISPID_NEWENUM},
        {"connect", connect.Get(), 0},
        {"connect", connect.Get(), 3},
        {"connect", connect.Get(), 0x101},
        {"connect", connect.Get(), 0x60010000},
        {"ribbon", ribbon.Get(), 0},
        {"ribbon", ribbon.Get(), 11},
        {"ribbon", ribbon.Get(), 0x60000002},
        {"designer", designer.Get(), 0},
        {"designer", designer.Get(), 6},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Call(c.target, c.id, {Int(1)}).hr, DISP_E_MEMBERNOTFOUND) << c.face << " " << c.id;

    // A call that names an interface, or that has no DISPPARAMS, is refused before its id is read.
    const IID other = IID_IConnect;
    DISPPARAMS none = {};
    EXPECT_EQ(object->Invoke(0x101, other, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(object->Invoke(0x101, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
    DISPPARAMS broken = {nullptr, nullptr, 1, 0};
    EXPECT_EQ(connect->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &broken, nullptr, nullptr, nullptr), E_INVALIDARG);
}

// IConnect called by name, as the engine's thread calls it: any one variant
// is taken (and ignored unless it is of use), S_OK; a wrong count is refused.
TEST_F(ComServer, IConnectByNameTakesAnyVariantAndRefusesAWrongCount)
{
    ComPtr<IDispatch> object;
    ASSERT_EQ(NewConnect(IID_IDispatch, object.OutVoid()), S_OK);
    ComPtr<IDispatch> connect;
    ASSERT_EQ(object->QueryInterface(IID_IConnect, connect.OutVoid()), S_OK);
    std::vector<DISPID> ids;
    ASSERT_EQ(Names(object.Get(), {L"SetServerStatus"}, ids), S_OK);
    const DISPID setServerStatus = ids[0];
    ASSERT_EQ(Names(object.Get(), {L"ImportSettings"}, ids), S_OK);
    const DISPID importSettings = ids[0];

    TestStream fits(48, TestStream::Fault::None), tooShort(47, TestStream::Fault::None),
        tooLong(49, TestStream::Fault::None), noStat(48, TestStream::Fault::Stat), noRead(48, TestStream::Fault::Read);
    ComPtr<IClassFactory> notAStream;
    ASSERT_EQ(QevDll::Get().GetClassObject(CLSID_Connect, IID_IClassFactory, notAStream.OutVoid()), S_OK);
    VARIANT inner = Bool(VARIANT_TRUE);

    struct Case {
        const char* what;
        IDispatch* target;
        DISPID id;
        std::vector<VARIANT> args;
        HRESULT expected;
    };
    std::vector<Case> cases;
    const DISPID methods[] = {setServerStatus, importSettings};
    for (const DISPID method : methods) {
        cases.push_back({"boolean true", object.Get(), method, {Bool(VARIANT_TRUE)}, S_OK});
        cases.push_back({"boolean with a raw value", object.Get(), method, {Bool(0x1234)}, S_OK});
        cases.push_back({"integer", object.Get(), method, {Int(1)}, S_OK});
        cases.push_back({"text", object.Get(), method, {Text(L"yes")}, S_OK});
        cases.push_back({"empty", object.Get(), method, {Empty()}, S_OK});
        cases.push_back({"null", object.Get(), method, {Empty(VT_NULL)}, S_OK});
        cases.push_back({"null dispatch", object.Get(), method, {Object(nullptr, VT_DISPATCH)}, S_OK});
        cases.push_back({"an object that is no stream", object.Get(), method, {Object(notAStream.Get())}, S_OK});
        VARIANT byRef;
        VariantInit(&byRef);
        byRef.vt = VT_BYREF | VT_VARIANT;
        byRef.pvarVal = &inner;
        cases.push_back({"a reference to a variant", object.Get(), method, {byRef}, S_OK});
        cases.push_back({"no argument", object.Get(), method, {}, DISP_E_BADPARAMCOUNT});
        cases.push_back({"two arguments", object.Get(), method, {Bool(VARIANT_TRUE), Int(2)}, DISP_E_BADPARAMCOUNT});
    }
    cases.push_back({"settings of 48 bytes", object.Get(), importSettings, {Object(&fits)}, S_OK});
    cases.push_back({"settings of 47 bytes", object.Get(), importSettings, {Object(&tooShort)}, S_OK});
    cases.push_back({"settings of 49 bytes", object.Get(), importSettings, {Object(&tooLong)}, S_OK});
    cases.push_back({"a stream that cannot tell its size", object.Get(), importSettings, {Object(&noStat)}, S_OK});
    cases.push_back({"a stream that cannot be read", object.Get(), importSettings, {Object(&noRead)}, S_OK});
    cases.push_back({"its own IDispatch, id 1", connect.Get(), 1, {Bool(VARIANT_FALSE)}, S_OK});
    cases.push_back({"its own IDispatch, id 2", connect.Get(), 2, {Object(&fits)}, S_OK});
    cases.push_back({"its own IDispatch, no argument", connect.Get(), 2, {}, DISP_E_BADPARAMCOUNT});

    for (Case& c : cases) {
        const Outcome outcome = Call(c.target, c.id, std::move(c.args));
        EXPECT_EQ(outcome.hr, c.expected) << c.what << " (id " << c.id << ")";
    }
    // Every reference the add-in took to a stream came back.
    for (const TestStream* stream : {&fits, &tooShort, &tooLong, &noStat, &noRead}) EXPECT_EQ(stream->References(), 1);

    // By name, with its parameter named.
    VARIANT up = Bool(VARIANT_TRUE);
    EXPECT_EQ(Call(object.Get(), setServerStatus, {up}, DISPATCH_METHOD, {0}).hr, S_OK);
    // Not a property.
    EXPECT_NE(Call(object.Get(), setServerStatus, {Bool(VARIANT_TRUE)}, DISPATCH_PROPERTYPUT, {DISPID_PROPERTYPUT}).hr,
              S_OK);

    // Through the vtable: a null variant is ignored as well.
    ComPtr<IConnect> vtable;
    ASSERT_EQ(object->QueryInterface(IID_IConnect, vtable.OutVoid()), S_OK);
    EXPECT_EQ(vtable->SetServerStatus(nullptr), S_OK);
    EXPECT_EQ(vtable->ImportSettings(nullptr), S_OK);
    VARIANT settings = Object(&fits);
    EXPECT_EQ(vtable->ImportSettings(&settings), S_OK);
    VariantClear(&settings);
    EXPECT_EQ(fits.References(), 1);
}

// The engine's way in: from another thread, through the global interface
// table, the object's IDispatch by name; COM carries each call to the
// object's apartment, whose thread pumps messages meanwhile.
TEST_F(ComServer, DesignerInterfaceByVtableAndByName)
{
    ComPtr<_IDTExtensibility2> designer;
    ASSERT_EQ(NewConnect(IID__IDTExtensibility2, designer.OutVoid()), S_OK);
    // Without Outlook's objects the add-in declines, and stays inert.
    EXPECT_EQ(designer->OnConnection(nullptr, ext_cm_Startup, nullptr, nullptr), S_FALSE);
    EXPECT_EQ(designer->OnAddInsUpdate(nullptr), S_OK);
    EXPECT_EQ(designer->OnStartupComplete(nullptr), S_FALSE);
    EXPECT_EQ(designer->OnBeginShutdown(nullptr), S_OK);
    EXPECT_EQ(designer->OnDisconnection(ext_dm_UserClosed, nullptr), S_OK);

    IDispatch* byName = designer.Get();
    struct Case {
        const char* what;
        DISPID id;
        std::vector<VARIANT> args;
        WORD flags;
        HRESULT expected;
        UINT argError;
    };
    std::vector<Case> cases;
    cases.push_back(
        {"OnConnection without objects", 1, {Empty(), Int(1), Empty(), Empty()}, DISPATCH_METHOD, S_OK, ~0u});
    cases.push_back({"OnConnection, mode as text",
                     1,
                     {Empty(), Text(L"x"), Empty(), Empty()},
                     DISPATCH_METHOD,
                     DISP_E_TYPEMISMATCH,
                     2u});
    cases.push_back({"OnConnection, application as text",
                     1,
                     {Text(L"x"), Int(1), Empty(), Empty()},
                     DISPATCH_METHOD,
                     DISP_E_TYPEMISMATCH,
                     3u});
    cases.push_back(
        {"OnConnection, three arguments", 1, {Empty(), Int(1), Empty()}, DISPATCH_METHOD, DISP_E_BADPARAMCOUNT, ~0u});
    cases.push_back({"OnDisconnection", 2, {Int(1), Empty()}, DISPATCH_METHOD, S_OK, ~0u});
    cases.push_back(
        {"OnDisconnection, mode as text", 2, {Text(L"x"), Empty()}, DISPATCH_METHOD, DISP_E_TYPEMISMATCH, 1u});
    cases.push_back({"OnAddInsUpdate", 3, {Empty()}, DISPATCH_METHOD, S_OK, ~0u});
    cases.push_back({"OnStartupComplete", 4, {Empty()}, DISPATCH_METHOD, S_OK, ~0u});
    cases.push_back({"OnBeginShutdown", 5, {Empty()}, DISPATCH_METHOD, S_OK, ~0u});
    cases.push_back({"OnBeginShutdown as a property", 5, {Empty()}, DISPATCH_PROPERTYGET, DISP_E_MEMBERNOTFOUND, ~0u});
    cases.push_back({"OnBeginShutdown without its argument", 5, {}, DISPATCH_METHOD, DISP_E_BADPARAMCOUNT, ~0u});
    for (Case& c : cases) {
        const Outcome outcome = Call(byName, c.id, std::move(c.args), c.flags);
        EXPECT_EQ(outcome.hr, c.expected) << c.what;
        if (c.argError != ~0u) {
            EXPECT_EQ(outcome.argError, c.argError) << c.what;
        }
    }
    VARIANT custom = Empty();
    EXPECT_EQ(Call(byName, 3, {custom}, DISPATCH_METHOD, {0}).hr, DISP_E_NONAMEDARGS);
}

// Office's type library describes IRibbonExtensibility. Wine has none: the
// add-in answers GetCustomUI by name all the same, and once the project's
// stand-in of it is registered (as Office's is on Outlook's machines) through
// the library. Either way the answer is the vtable's.
TEST_F(ComServer, GetCustomUIByVtableAndByNameWithAndWithoutOfficesLibrary)
{
    ComPtr<IRibbonExtensibility> extensibility;
    ASSERT_EQ(NewConnect(IID_IRibbonExtensibility, extensibility.OutVoid()), S_OK);
    const host::win::Bstr explorer(u"Microsoft.Outlook.Explorer");
    BSTR expected = nullptr;
    ASSERT_EQ(extensibility->GetCustomUI(explorer.Get(), &expected), S_OK);
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(std::wstring(expected).rfind(L"<customUI", 0), 0u);
    EXPECT_EQ(extensibility->GetCustomUI(explorer.Get(), nullptr), E_POINTER);

    const std::wstring path = QevDll::Get().Path();
    std::wstring library = path.substr(0, path.rfind(L'\\')) + L"\\generated\\office_ribbon.tlb";
    UnRegisterTypeLib(LIBID_Office, 2, 4, LOCALE_NEUTRAL, SYS_WIN64);
    for (const bool registered : {false, true}) {
        if (registered) {
            ComPtr<ITypeLib> standIn;
            ASSERT_EQ(LoadTypeLibEx(library.c_str(), REGKIND_NONE, standIn.Out()), S_OK);
            ASSERT_EQ(RegisterTypeLib(standIn.Get(), library.data(), nullptr), S_OK);  // stays, as Office's does
        }
        UINT infos = 9;
        EXPECT_EQ(extensibility->GetTypeInfoCount(&infos), S_OK);
        EXPECT_EQ(infos, registered ? 1u : 0u);
        std::vector<DISPID> ids;
        EXPECT_EQ(Names(extensibility.Get(), {L"getcustomui"}, ids), S_OK) << registered;
        EXPECT_EQ(ids[0], 1) << registered;
        EXPECT_EQ(Names(extensibility.Get(), {L"Ribbon_OnLoad"}, ids), DISP_E_UNKNOWNNAME) << registered;

        VARIANT ribbonId = Text(L"Microsoft.Outlook.Mail.Read");
        DISPPARAMS params = {&ribbonId, nullptr, 1, 0};
        VARIANT result;
        VariantInit(&result);
        EXPECT_EQ(extensibility->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr,
                                        nullptr),
                  S_OK)
            << registered;
        ASSERT_EQ(result.vt, VT_BSTR) << registered;
        EXPECT_STREQ(result.bstrVal, expected) << registered;
        VariantClear(&result);
        EXPECT_EQ(Call(extensibility.Get(), 1, {}).hr, DISP_E_BADPARAMCOUNT) << registered;
        VariantClear(&ribbonId);
    }
    SysFreeString(expected);
}

}  // namespace
