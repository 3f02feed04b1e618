// The host adapters over real COM and the real loader: automation values,
// Outlook's objects reached by name, event sinks on connection points,
// libraries, and calls carried into the add-in's apartment from another thread.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "host/com_error.h"
#include "host/office.h"
#include "host/outlook.h"
#include "host/system.h"
#include "host/utf.h"
#include "host/win/win_apartment.h"
#include "host/win/win_libraries.h"
#include "host/win/win_office.h"
#include "host/win/win_outlook.h"
#include "host/win/win_services.h"
#include "host/win/win_variant.h"
#include "tests/win/com_test_objects.h"

namespace {

using testcom::ErrorOf;

using host::Iface;
using host::Variant;
using host::win::ComVariant;
using testcom::ComScope;
using testcom::TestObject;

constexpr IID kApplicationEvents = {0x0006304E, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kExplorerEvents = {0x0006304F, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kButtonEvents = {0x000C0351, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kItemsEvents = {0x00063077, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

std::string Describe(const Variant& v)
{
    switch (v.type) {
        case Variant::Type::Empty:
            return "empty";
        case Variant::Type::Bool:
            return "bool " + std::to_string(v.boolValue);
        case Variant::Type::Int32:
            return "int " + std::to_string(v.intValue);
        case Variant::Type::Text:
            return "text " + std::string(v.text.begin(), v.text.end());
        case Variant::Type::Unknown:
            return v.object ? "unknown" : "unknown null";
        case Variant::Type::Dispatch:
            return v.object ? "dispatch" : "dispatch null";
        case Variant::Type::Other:
            return "other";
    }
    return "?";
}

IStream* StreamWith(const std::vector<std::uint8_t>& bytes)
{
    IStream* stream = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
    stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    return stream;
}

ULONG RefsOf(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

// A host object that is not COM's.
class PlainObject final : public host::Object {
public:
    std::uint32_t AddRef() noexcept override { return 2; }
    std::uint32_t Release() noexcept override { return 1; }
    Object* Query(Iface) noexcept override { return nullptr; }
};

TEST(WinVariant, FromVariantKeepsRawValuesAndNeverFollowsReferences)
{
    auto make = [](VARTYPE vt, auto set) {
        VARIANT v = {};
        v.vt = vt;
        set(v);
        return v;
    };
    VARIANT inner = testcom::Bool(VARIANT_TRUE);
    const VARIANT byRef = make(VT_BYREF | VT_VARIANT, [&](VARIANT& v) { v.pvarVal = &inner; });
    VARIANT byRefCopy = byRef;
    LONG referenced = -42;
    const struct {
        VARIANT v;
        std::string expected;
    } cases[] = {
        {testcom::Bool(VARIANT_TRUE), "bool -1"},
        {testcom::Bool(VARIANT_FALSE), "bool 0"},
        {testcom::Bool(1), "bool 1"},  // not canonical: kept as it came
        {make(VT_I2, [](VARIANT& v) { v.iVal = -7; }), "int -7"},
        {make(VT_UI1, [](VARIANT& v) { v.bVal = 200; }), "int 200"},
        {make(VT_UI4, [](VARIANT& v) { v.ulVal = 0xFFFFFFFFu; }), "int -1"},
        {testcom::I4(0x7FFFFFFF), "int 2147483647"},
        {make(VT_BSTR, [](VARIANT& v) { v.bstrVal = nullptr; }), "text "},
        // A reference is not a boolean (or an object) even when it points at one.
        {byRef, "other"},
        {make(VT_BYREF | VT_BOOL, [&](VARIANT& v) { v.pboolVal = &inner.boolVal; }), "other"},
        {make(VT_BYREF | VT_I4, [&](VARIANT& v) { v.plVal = &referenced; }), "other"},
        {make(VT_BYREF | VT_VARIANT, [&](VARIANT& v) { v.pvarVal = &byRefCopy; }), "other"},
        {make(VT_R8, [](VARIANT& v) { v.dblVal = 1.5; }), "other"},
        {make(VT_NULL, [](VARIANT&) {}), "other"},
        {make(VT_ERROR, [](VARIANT& v) { v.scode = DISP_E_PARAMNOTFOUND; }), "other"},
        {make(VT_EMPTY, [](VARIANT&) {}), "empty"},
        {testcom::Unknown(nullptr), "unknown null"},
    };
    for (const auto& c : cases) EXPECT_EQ(Describe(host::win::FromVariant(c.v)), c.expected) << "vt " << c.v.vt;

    ComVariant text;
    text.Get().vt = VT_BSTR;
    text.Get().bstrVal = SysAllocStringLen(L"a\0b", 3);
    EXPECT_EQ(host::win::FromVariant(text.Get()).text, std::u16string(u"a\0b", 3)) << "the BSTR's length counts";
}

TEST(WinVariant, ObjectsAndValuesCrossBothWays)
{
    const ComScope com;
    std::vector<std::uint8_t> bytes(48);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(0xF0 - i);
    IStream* stream = StreamWith(bytes);
    const ULONG before = RefsOf(stream);
    {
        const Variant v = host::win::FromVariant(testcom::Unknown(stream));
        ASSERT_EQ(v.type, Variant::Type::Unknown);
        const host::Ref<host::Stream> seam = host::QueryAs<host::Stream>(v.object.Get());
        ASSERT_TRUE(seam);
        EXPECT_EQ(seam->Size(), 48u);
        std::vector<std::uint8_t> read(100);
        read.resize(seam->Read(read.data(), 100));
        EXPECT_EQ(read, bytes);
        EXPECT_EQ(seam->Read(read.data(), 10), 0u);
        EXPECT_FALSE(host::QueryAs<host::Dispatch>(v.object.Get()));

        ComVariant back(host::win::ToVariant(v));  // the same COM object crosses again
        ASSERT_EQ(back.Type(), VT_UNKNOWN);
        EXPECT_EQ(back.Get().punkVal, stream);
    }
    EXPECT_EQ(RefsOf(stream), before) << "every wrapper released its reference";
    stream->Release();

    const struct {
        Variant in;
        VARTYPE vt;
        LONG value;  // boolVal or lVal
    } values[] = {
        {Variant::Boolean(true), VT_BOOL, VARIANT_TRUE},
        {Variant::RawBool(1), VT_BOOL, 1},
        {Variant::Int(-5), VT_I4, -5},
        {Variant{}, VT_EMPTY, 0},
    };
    for (const auto& c : values) {
        ComVariant v(host::win::ToVariant(c.in));
        EXPECT_EQ(v.Type(), c.vt);
        EXPECT_EQ(c.vt == VT_BOOL ? v.Get().boolVal : v.Get().lVal, c.value);
    }
    ComVariant text(host::win::ToVariant(Variant::String(std::u16string(u"x\0y", 3))));
    ASSERT_EQ(text.Type(), VT_BSTR);
    EXPECT_EQ(SysStringLen(text.Get().bstrVal), 3u);
    PlainObject plain;
    EXPECT_EQ(ErrorOf([&] { host::win::ToVariant(Variant::OfUnknown(host::Ref<host::Object>::Adopt(&plain))); }),
              DISP_E_TYPEMISMATCH);
}

enum : DISPID { kVersion = 10, kExplorers = 11, kCount = 12, kItem = 13, kBroken = 14, kCoded = 15 };

// Outlook as far as the add-in reads it: Application.Version,
// Application.Explorers with Count and Item(i), and their events.
struct TestOutlook {
    TestObject* explorer[2] = {};
    TestObject* explorers = nullptr;
    TestObject* application = nullptr;
    HRESULT versionResult = S_OK;

    TestOutlook()
    {
        for (TestObject*& e : explorer) e = new TestObject({}, nullptr, {kExplorerEvents});
        explorers = new TestObject({{L"Count", kCount}, {L"Item", kItem}}, [this](const TestObject::Call& call,
                                                                                  VARIANT* result, EXCEPINFO* info) {
            if (call.id == kCount) {
                result->vt = VT_I2;  // not the integer the add-in wants: converted
                result->iVal = 2;
                return S_OK;
            }
            const LONG index = call.args.size() == 1 && call.args[0].vt == VT_I4 ? call.args[0].lVal : 0;
            if (index < 1 || index > 2) {
                info->scode = DISP_E_BADINDEX;
                info->bstrDescription = SysAllocString(L"Array index out of bounds.");
                return DISP_E_EXCEPTION;
            }
            result->vt = VT_DISPATCH;
            result->pdispVal = explorer[index - 1]->Dispatch();
            result->pdispVal->AddRef();
            return S_OK;
        });
        auto handle = [this](const TestObject::Call& call, VARIANT* result, EXCEPINFO* info) {
            if (call.id == kVersion && SUCCEEDED(versionResult)) {
                result->vt = VT_BSTR;
                result->bstrVal = SysAllocString(L"16.0.0.1234");
            } else if (call.id == kExplorers) {
                result->vt = VT_DISPATCH;
                result->pdispVal = explorers->Dispatch();
                explorers->AddRef();
            } else if (call.id == kCoded) {
                info->wCode = 7;
                return DISP_E_EXCEPTION;
            }
            return call.id == kVersion ? versionResult : call.id == kBroken ? E_UNEXPECTED : S_OK;
        };
        application = new TestObject(
            {{L"Version", kVersion}, {L"Explorers", kExplorers}, {L"Broken", kBroken}, {L"Coded", kCoded}}, handle,
            {kApplicationEvents});
    }
    ~TestOutlook()
    {
        for (TestObject* object : {application, explorers, explorer[0], explorer[1]}) object->Release();
    }
    TestOutlook(const TestOutlook&) = delete;
    TestOutlook& operator=(const TestOutlook&) = delete;
};

TEST(WinApplication, ReadsOutlookByNameAndRaisesItsErrors)
{
    const ComScope com;
    TestOutlook outlook;
    const ULONG appRefs = outlook.application->Refs();
    const ULONG explorerRefs = outlook.explorer[1]->Refs();
    {
        const host::Ref<host::Application> app = host::win::WrapApplication(outlook.application);
        EXPECT_EQ(app->Version(), u"16.0.0.1234");
        EXPECT_EQ(app->ExplorerCount(), 2);
        const host::Ref<host::Explorer> second = app->ExplorerItem(2);
        EXPECT_EQ(host::win::ComUnknownOf(second.Get()), outlook.explorer[1]->Dispatch());
        EXPECT_TRUE(outlook.explorers->Calls().back().flags & DISPATCH_METHOD);

        std::u16string description;
        EXPECT_EQ(ErrorOf([&] { app->ExplorerItem(3); }, &description), DISP_E_BADINDEX);
        EXPECT_EQ(description, u"Array index out of bounds.");
        outlook.versionResult = RPC_E_DISCONNECTED;
        EXPECT_EQ(ErrorOf([&] { app->Version(); }, &description), RPC_E_DISCONNECTED);
        EXPECT_EQ(description, u"");
    }
    EXPECT_EQ(outlook.application->Refs(), appRefs);
    EXPECT_EQ(outlook.explorer[1]->Refs(), explorerRefs);

    IDispatch* app = outlook.application->Dispatch();
    EXPECT_EQ(ErrorOf([&] { host::win::GetProperty(app, u"NoSuchName"); }), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ErrorOf([&] { host::win::GetProperty(app, u"Broken"); }), E_UNEXPECTED);
    // An EXCEPINFO with only a 16-bit code: the automation error of that code.
    EXPECT_EQ(ErrorOf([&] { host::win::GetProperty(app, u"Coded"); }), static_cast<HRESULT>(0x80040207));
}

TEST(WinApplication, QueryAnswersWhatTheWrapperAndTheObjectAre)
{
    const ComScope com;
    TestOutlook outlook;
    const host::Ref<host::Application> app = host::win::WrapApplication(outlook.application);
    const host::Ref<host::Explorer> explorer = app->ExplorerItem(1);
    IStream* stream = StreamWith({1, 2, 3});
    const host::Ref<host::Object> streamObject = host::win::WrapUnknown(stream);
    stream->Release();
    TestObject* noPoints = new TestObject({}, nullptr, {}, false);
    const host::Ref<host::Object> item = host::win::WrapDispatch(noPoints);
    noPoints->Release();

    const Iface all[] = {Iface::Unknown,     Iface::Dispatch, Iface::Stream,
                         Iface::Application, Iface::Explorer, Iface::EventSource};
    const struct {
        host::Object* object;
        std::string answers;  // one letter per interface of all
    } cases[] = {
        {app.Get(), "yynyny"},
        {explorer.Get(), "yynnyy"},
        {streamObject.Get(), "ynynnn"},
        {item.Get(), "yynnnn"},
    };
    for (const auto& c : cases) {
        std::string answers;
        for (const Iface iface : all) {
            host::Object* answer = c.object->Query(iface);
            answers += answer ? 'y' : 'n';
            if (!answer) continue;
            EXPECT_NE(host::win::ComUnknownOf(answer), nullptr);
            answer->Release();
        }
        EXPECT_EQ(answers, c.answers);
    }
}

// Keeps every event it gets, described.
struct RecordingSink final : host::EventSink {
    void OnEvent(std::int32_t dispId, std::span<const Variant> args) override
    {
        std::string line = std::to_string(dispId);
        for (const Variant& arg : args) line += ", " + Describe(arg);
        events.push_back(line);
    }
    std::vector<std::string> events;
};

TEST(WinEvents, SinkGetsEventsWithArgumentsInOrderUntilUnadvised)
{
    const ComScope com;
    TestOutlook outlook;
    RecordingSink appSink;
    RecordingSink explorerSink;
    testcom::TestConnectionPoint* appPoint = outlook.application->Point(kApplicationEvents);
    testcom::TestConnectionPoint* explorerPoint = outlook.explorer[0]->Point(kExplorerEvents);
    const host::Ref<host::Application> app = host::win::WrapApplication(outlook.application);
    const host::Ref<host::Explorer> explorer = app->ExplorerItem(1);

    const std::uint32_t appCookie = app->Advise(host::EventInterface::ApplicationEvents, &appSink);
    const std::uint32_t explorerCookie = explorer->Advise(host::EventInterface::ExplorerEvents, &explorerSink);
    appPoint->Fire(host::kDispIdQuit);
    ComVariant text;
    text.Get().vt = VT_BSTR;
    text.Get().bstrVal = SysAllocString(L"first");
    appPoint->Fire(host::kDispIdNewMail, {text.Get(), testcom::I4(2), testcom::Bool(VARIANT_TRUE),
                                          testcom::Unknown(outlook.explorers->Dispatch())});
    explorerPoint->Fire(host::kDispIdFolderSwitch);
    EXPECT_EQ(appSink.events, (std::vector<std::string>{"61447", "61443, text first, int 2, bool -1, unknown"}));
    EXPECT_EQ(explorerSink.events, std::vector<std::string>{"61442"});

    // The sink object as the source sees it.
    IDispatch* sinkObject = appPoint->LastSink();
    ASSERT_NE(sinkObject, nullptr);
    std::string answers;
    for (const IID& iid : {IID_IUnknown, IID_IDispatch, kApplicationEvents, kExplorerEvents, IID_IConnectionPoint}) {
        IUnknown* answer = nullptr;
        answers += SUCCEEDED(sinkObject->QueryInterface(iid, reinterpret_cast<void**>(&answer))) ? 'y' : 'n';
        if (answer) answer->Release();
    }
    EXPECT_EQ(answers, "yyynn");
    UINT typeInfos = 99;
    EXPECT_EQ(sinkObject->GetTypeInfoCount(&typeInfos), S_OK);
    EXPECT_EQ(typeInfos, 0u);
    LPOLESTR name = const_cast<LPOLESTR>(L"Quit");
    DISPID id = 0;
    EXPECT_EQ(sinkObject->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);

    app->Unadvise(host::EventInterface::ApplicationEvents, appCookie);
    explorer->Unadvise(host::EventInterface::ExplorerEvents, explorerCookie);
    EXPECT_EQ(appPoint->SinkCount(), 0u);
    EXPECT_EQ(explorerPoint->SinkCount(), 0u);
    // A source that still fires at the sink it held reaches nothing.
    DISPPARAMS none = {};
    EXPECT_EQ(sinkObject->Invoke(host::kDispIdQuit, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(appSink.events.size(), 2u);
    sinkObject->Release();
}

TEST(WinEvents, RefusalsRaiseAndADyingWrapperEndsItsSubscriptions)
{
    const ComScope com;
    TestOutlook outlook;
    RecordingSink sink;
    testcom::TestConnectionPoint* point = outlook.application->Point(kApplicationEvents);
    const ULONG refs = outlook.application->Refs();
    {
        const host::Ref<host::Application> app = host::win::WrapApplication(outlook.application);
        EXPECT_EQ(ErrorOf([&] { app->Advise(host::EventInterface::ItemsEvents, &sink); }), CONNECT_E_NOCONNECTION);
        EXPECT_EQ(ErrorOf([&] { app->Unadvise(host::EventInterface::ApplicationEvents, 0x999); }),
                  CONNECT_E_NOCONNECTION);
        app->Advise(host::EventInterface::ApplicationEvents, &sink);
        app->Advise(host::EventInterface::ApplicationEvents, &sink);
        EXPECT_EQ(point->SinkCount(), 2u);
    }
    EXPECT_EQ(point->SinkCount(), 0u);
    point->Fire(host::kDispIdQuit);
    EXPECT_TRUE(sink.events.empty());
    EXPECT_EQ(outlook.application->Refs(), refs);

    // Any automation object with points is an event source (a command bar button).
    const auto button = host::win::ComPtr<TestObject>::Adopt(new TestObject({}, nullptr, {kButtonEvents}));
    const auto source = host::QueryAs<host::EventSource>(host::win::WrapDispatch(button->Dispatch()).Get());
    ASSERT_TRUE(source);
    source->Unadvise(host::EventInterface::CommandBarButtonEvents,
                     source->Advise(host::EventInterface::CommandBarButtonEvents, &sink));
    EXPECT_EQ(button->Point(kButtonEvents)->SinkCount(), 0u);
    // One without them refuses when asked as an explorer.
    TestObject* plain = new TestObject({}, nullptr, {kExplorerEvents}, false);
    const host::Ref<host::Explorer> explorer = host::win::WrapExplorer(plain);
    EXPECT_EQ(ErrorOf([&] { explorer->Advise(host::EventInterface::ExplorerEvents, &sink); }), E_NOINTERFACE);
    plain->Release();
}

// Outlook advises its own item sinks with its "no cookie" value preset, and
// they answer every event E_NOTIMPL and have no type information: the
// add-in's item sink does the same (the application's answers S_OK, above).
TEST(WinEvents, ItemsSinkAnswersAsOutlooksOwnItemSinks)
{
    const ComScope com;
    const auto items = host::win::ComPtr<TestObject>::Adopt(new TestObject({}, nullptr, {kItemsEvents}));
    RecordingSink sink;
    const auto source = host::QueryAs<host::EventSource>(host::win::WrapDispatch(items->Dispatch()).Get());
    ASSERT_TRUE(source);
    const std::uint32_t cookie = source->Advise(host::EventInterface::ItemsEvents, &sink);
    testcom::TestConnectionPoint* point = items->Point(kItemsEvents);
    EXPECT_EQ(point->presets, std::vector<DWORD>{0xFEFEFEFE});
    const auto object = host::win::ComPtr<IDispatch>::Adopt(point->LastSink());
    ASSERT_TRUE(object);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(object->GetTypeInfo(0, 0, &info), E_FAIL);
    EXPECT_EQ(info, nullptr);
    // Handled (ItemAdd) or not, the event gets the same answer.
    for (const DISPID event : {DISPID(0xF001), DISPID(0xF002)}) {
        VARIANT arg = testcom::I4(1);
        DISPPARAMS params = {&arg, nullptr, 1, 0};
        EXPECT_EQ(object->Invoke(event, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), E_NOTIMPL);
    }
    EXPECT_EQ(sink.events, (std::vector<std::string>{"61441, int 1", "61442, int 1"}));
    source->Unadvise(host::EventInterface::ItemsEvents, cookie);
    point->Close();
}

std::u16string ExeFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::u16string folder(reinterpret_cast<const char16_t*>(path));
    return folder.substr(0, folder.find_last_of(u'\\') + 1);
}

bool SamePath(const std::u16string& a, const std::u16string& b)
{
    return _wcsicmp(reinterpret_cast<const wchar_t*>(a.c_str()), reinterpret_cast<const wchar_t*>(b.c_str())) == 0;
}

// The argument forms Office's C++ callers use: omitted optional arguments
// as VT_ERROR with DISP_E_PARAMNOTFOUND, properties set with
// DISPATCH_PROPERTYPUT; a control without _CommandBarButton is no button.
TEST(WinOffice, PassesOmittedArgumentsAsMissingAndPutsByName)
{
    const ComScope com;
    enum : DISPID { kAdd = 1, kVisible, kControls };
    std::vector<std::string> calls;
    TestObject* object = nullptr;
    object = new TestObject({{L"Add", kAdd}, {L"Visible", kVisible}, {L"Controls", kControls}},
                            [&](const TestObject::Call& call, VARIANT* result, EXCEPINFO*) {
                                std::string line = std::to_string(call.id) + " flags " + std::to_string(call.flags);
                                for (const VARIANT& arg : call.args) {
                                    line += " " + std::to_string(arg.vt);
                                    if (arg.vt == VT_ERROR) line += arg.scode == DISP_E_PARAMNOTFOUND ? ":missing" : ":?";
                                    if (arg.vt == VT_BOOL || arg.vt == VT_I4) line += ":" + std::to_string(arg.lVal & 0xFFFF);
                                    if (arg.vt == VT_BSTR) line += ":" + host::Utf8(host::win::U(arg.bstrVal));
                                }
                                calls.push_back(line);
                                if (call.id != kVisible) {
                                    result->vt = VT_DISPATCH;  // the same object serves as bar, controls and control
                                    result->pdispVal = object;
                                    object->AddRef();
                                }
                                return S_OK;
                            });
    const ULONG refs = object->Refs();
    {
        const auto bars = host::win::WrapCommandBars(object);
        const auto bar = bars->Add(u"Bar", true);
        bar->SetVisible(true);
        const host::Ref<host::Object> control = bar->Controls()->Add(host::kMsoControlButton, true);
        EXPECT_FALSE(host::QueryAs<host::CommandBarButton>(control.Get()));
    }
    const std::vector<std::string> expected{
        "1 flags 1 8:Bar 10:missing 10:missing 11:65535",           // Add(Name, Position, MenuBar, Temporary)
        "2 flags 4 11:65535",                                        // Visible put
        "3 flags 2",                                                 // Controls get
        "1 flags 1 3:1 10:missing 10:missing 10:missing 11:65535"};  // Add(Type, Id, Parameter, Before, Temporary)
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(object->Refs(), refs);
    object->Release();
}

TEST(WinLibraries, LoadsByFullPathAndFindsDependenciesBesideWhenAsked)
{
    host::win::WinLibraries libraries;
    // The user library imports from the dep library; both lie in a folder the
    // ordinary search does not look in.
    const std::u16string folder = ExeFolder() + u"searchpath\\";
    const std::u16string user = folder + u"qev_searchpath_user.dll";
    HRESULT error = S_OK;
    EXPECT_EQ(libraries.Load(user, false, &error), nullptr);
    EXPECT_EQ(error, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));

    const host::LibraryHandle library = libraries.Load(user, true, &error);
    ASSERT_NE(library, nullptr) << std::hex << error;
    EXPECT_EQ(libraries.Loaded(u"qev_searchpath_user.dll"), library);
    EXPECT_TRUE(SamePath(libraries.FileName(library), user));
    const host::LibraryHandle dependency = libraries.Loaded(u"qev_searchpath_dep.dll");
    EXPECT_TRUE(SamePath(libraries.FileName(dependency), folder + u"qev_searchpath_dep.dll"));
    const auto answer = reinterpret_cast<int (*)()>(libraries.Symbol(library, "SearchPathAnswer", &error));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(libraries.Symbol(library, "NoSuchExport", &error), nullptr);
    EXPECT_EQ(error, HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(libraries.Symbol(library, "NoSuchExport", nullptr), nullptr);

    libraries.Free(library);
    EXPECT_EQ(libraries.Loaded(u"qev_searchpath_user.dll"), nullptr);
    EXPECT_EQ(libraries.Loaded(u"qev_searchpath_dep.dll"), nullptr);
    EXPECT_EQ(libraries.Load(folder + u"missing.dll", true, nullptr), nullptr);

    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    EXPECT_EQ(libraries.FileName(nullptr), reinterpret_cast<const char16_t*>(exe)) << "null names the host program";
}

TEST(WinApartment, CarriesCallsFromAnotherThreadIntoTheAddinsApartment)
{
    const ComScope com;
    ASSERT_EQ(com.Result(), S_OK);
    host::win::WinApartment apartment;
    testcom::TestAddin addin;
    const ULONG refs = addin.object->Refs();

    std::uint32_t cookie = 0;
    ASSERT_EQ(apartment.Register(host::win::WrapDispatch(addin.object->Dispatch()).Get(), cookie), S_OK);
    PlainObject plain;
    EXPECT_EQ(apartment.Register(&plain, cookie), E_NOINTERFACE);

    std::vector<std::uint8_t> bytes(48);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 5 + 1);
    std::vector<HRESULT> outcome;  // COM during the call, status, import, COM afterwards
    bool unknownName = true;
    std::atomic<bool> done{false};
    std::thread engine([&] {
        if (std::unique_ptr<host::ForeignCall> call = apartment.Enter(cookie)) {
            // COM is up on this thread as a single-threaded apartment while the call lives...
            outcome.push_back(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
            CoUninitialize();
            std::int32_t id = 0;
            unknownName = call->IdOfName(u"NoSuchMethod", id);
            outcome.push_back(call->IdOfName(u"SetServerStatus", id) ? call->Invoke(id, Variant::Boolean(true))
                                                                     : E_FAIL);
            host::Ref<host::Stream> stream = apartment.MemoryStream(bytes);
            outcome.push_back(call->IdOfName(u"importsettings", id)
                                  ? call->Invoke(id, Variant::OfUnknown(std::move(stream)))
                                  : E_FAIL);
        }
        // ... and down again afterwards: the thread may join another apartment.
        outcome.push_back(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        CoUninitialize();
        done = true;
    });
    // This thread is the add-in's: it pumps, as Outlook's user-interface thread does.
    const ULONGLONG end = GetTickCount64() + 10000;
    while (!done && GetTickCount64() < end) {
        MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    engine.join();

    EXPECT_EQ(outcome, (std::vector<HRESULT>{S_FALSE, S_OK, S_OK, S_OK}));
    EXPECT_FALSE(unknownName);
    ASSERT_EQ(addin.object->Calls().size(), 2u);
    for (const TestObject::Call& call : addin.object->Calls()) {
        EXPECT_EQ(call.thread, GetCurrentThreadId()) << "COM delivered the call on the add-in's thread";
        EXPECT_EQ(call.flags, DISPATCH_METHOD);
    }
    EXPECT_EQ(addin.status.vt, VT_BOOL);
    EXPECT_EQ(addin.status.boolVal, VARIANT_TRUE);
    EXPECT_EQ(addin.imported, bytes);

    // Revoked: the table lets go of the add-in and no longer finds it.
    EXPECT_EQ(apartment.Revoke(cookie), S_OK);
    EXPECT_NE(apartment.Revoke(cookie), S_OK);
    bool entered = true;
    std::thread([&] { entered = apartment.Enter(cookie) != nullptr; }).join();
    EXPECT_FALSE(entered);
    EXPECT_EQ(addin.object->Refs(), refs);
}

TEST(WinServices, OneProcessWidePlatform)
{
    host::Services& services = host::win::WinServices();
    EXPECT_EQ(&services, &host::win::WinServices());
    EXPECT_EQ(&services.system, &host::Sys());
    EXPECT_NE(services.libraries.Loaded(u"Kernel32.dll"), nullptr);
    const std::vector<std::uint8_t> bytes = {9, 8, 7};
    const host::Ref<host::Stream> stream = services.apartment.MemoryStream(bytes);
    ASSERT_TRUE(stream);
    std::uint8_t read[4] = {};
    EXPECT_EQ(stream->Read(read, 4), 3u);
    EXPECT_EQ(std::vector<std::uint8_t>(read, read + 3), bytes);
}

}  // namespace
