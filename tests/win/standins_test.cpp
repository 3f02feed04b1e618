// The stand-ins for the product's other components, loaded by full path and
// called through the binary interfaces the add-in uses: the engine client and
// its control surface, the product configuration library, the crash handler.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "engine/as_client.h"
#include "engine/as_obs.h"
#include "engine/crash_handler_abi.h"
#include "engine/settings_stream.h"
#include "host/win/win_apartment.h"
#include "host/win/win_libraries.h"
#include "host/win/win_outlook.h"
#include "standins/win/zkascl/zk_sim_control.h"
#include "standins/win/zkch/zkch_log.h"
#include "tests/win/com_test_objects.h"
#include "text/product_info_abi.h"

namespace {

const wchar_t* W(const std::u16string& text)
{
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

// Where the build puts the stand-ins (QEV_STANDIN_RELATIVE: from this program's folder).
std::u16string StandinFolder()
{
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::u16string folder(reinterpret_cast<const char16_t*>(exe));
    folder.resize(folder.find_last_of(u'\\') + 1);
    for (const char c : std::string(QEV_STANDIN_RELATIVE)) folder += c == '/' ? u'\\' : static_cast<char16_t>(c);
    return folder + u"\\";
}

std::string ReadText(const std::u16string& path)
{
    std::string text;
    HANDLE file = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    char buffer[4096];
    DWORD read = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        text.append(buffer, read);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return text;
}

// A folder of its own for one test, holding copies of stand-ins; emptied and
// removed afterwards as far as nothing holds its files.
class TempFolder {
public:
    TempFolder()
    {
        static std::atomic<int> counter{0};
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        const std::string unique =
            "qev_standins_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter) + "\\";
        m_path = reinterpret_cast<const char16_t*>(temp) + std::u16string(unique.begin(), unique.end());
        CreateDirectoryW(W(m_path), nullptr);
    }
    ~TempFolder()
    {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW(W(m_path + u"*"), &found);
        while (search != INVALID_HANDLE_VALUE) {
            DeleteFileW(W(m_path + reinterpret_cast<const char16_t*>(found.cFileName)));
            if (!FindNextFileW(search, &found)) break;
        }
        if (search != INVALID_HANDLE_VALUE) FindClose(search);
        RemoveDirectoryW(W(m_path));
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::u16string& Path() const { return m_path; }
    // Copies a stand-in here, under its own name or another; the copy's path.
    std::u16string Copy(const std::u16string& name, const std::u16string& as = {})
    {
        const std::u16string target = m_path + (as.empty() ? name : as);
        EXPECT_TRUE(CopyFileW(W(StandinFolder() + name), W(target), FALSE)) << GetLastError();
        return target;
    }

private:
    std::u16string m_path;
};

// One loaded library and its exports by name, loaded as the add-in loads it.
class Library {
public:
    explicit Library(const std::u16string& path) : m_module(m_libraries.Load(path, false, nullptr))
    {
        EXPECT_NE(m_module, nullptr);
    }
    ~Library() { m_libraries.Free(m_module); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    template <class Fn>
    Fn Get(const char* name, HRESULT* error = nullptr)
    {
        return reinterpret_cast<Fn>(m_libraries.Symbol(m_module, name, error));
    }
    host::LibraryHandle Module() const { return m_module; }

private:
    host::win::WinLibraries m_libraries;
    host::LibraryHandle m_module;
};

// The engine client library with its control surface.
struct Engine : Library {
    explicit Engine(const std::u16string& path) : Library(path) {}
    qev::IAsClient* Create(const char* name = qev::kAsClientInterfaceName)
    {
        return Get<qev::AsCreateInstanceFn>(qev::kAsCreateInstanceName)(name);
    }
    ZkSimResetFn reset = Get<ZkSimResetFn>(zksim::kReset);
    ZkSimSetServerStatusFn setServerStatus = Get<ZkSimSetServerStatusFn>(zksim::kSetServerStatus);
    ZkSimSetSettingFn setSetting = Get<ZkSimSetSettingFn>(zksim::kSetSetting);
    ZkSimSetOptionFn setOption = Get<ZkSimSetOptionFn>(zksim::kSetOption);
    ZkSimSetValueFn setValue = Get<ZkSimSetValueFn>(zksim::kSetValue);
    ZkSimSetFactoryNullFn setFactoryNull = Get<ZkSimSetFactoryNullFn>(zksim::kSetFactoryNull);
    ZkSimSetCallListenerFn setCallListener = Get<ZkSimSetCallListenerFn>(zksim::kSetCallListener);
    ZkSimNotifyStatusFn notifyStatus = Get<ZkSimNotifyStatusFn>(zksim::kNotifyStatus);
    ZkSimNotifySettingsFn notifySettings = Get<ZkSimNotifySettingsFn>(zksim::kNotifySettings);
    ZkSimCallCountFn callCount = Get<ZkSimCallCountFn>(zksim::kCallCount);
    ZkSimLiveClientsFn liveClients = Get<ZkSimLiveClientsFn>(zksim::kLiveClients);
    ZkSimObserversFn observers = Get<ZkSimObserversFn>(zksim::kObservers);
    ZkSimStoreFileFn storeFile = Get<ZkSimStoreFileFn>(zksim::kStoreFile);
};

bool Same(const qev::AsSettings& a, const qev::AsSettings& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(EngineStandin, FactoryMakesClientsForItsInterfaceOnly)
{
    TempFolder folder;
    Engine engine(folder.Copy(u"zkascl.dll"));
    EXPECT_EQ(engine.Create("IAsClient.1"), nullptr);
    EXPECT_EQ(engine.Create(nullptr), nullptr);
    qev::IAsClient* first = engine.Create();
    qev::IAsClient* second = engine.Create();
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(engine.liveClients(), 2);
    engine.setFactoryNull(1);
    EXPECT_EQ(engine.Create(), nullptr);
    first->Release();
    second->Release();
    EXPECT_EQ(engine.liveClients(), 0);
}

TEST(EngineStandin, EveryCallReachesTheListenerAsATranscriptLine)
{
    TempFolder folder;
    Engine engine(folder.Copy(u"zkascl.dll"));
    std::vector<std::string> lines;
    engine.setCallListener(
        [](void* context, const char* line) { static_cast<std::vector<std::string>*>(context)->emplace_back(line); },
        &lines);
    qev::IAsClient* client = engine.Create();
    ASSERT_NE(client, nullptr);

    qev::AsSettings first = qev::DefaultSettings();
    qev::AsSettings second = qev::DefaultSettings();
    qev::AsOptions options = {};
    bool up = false;
    std::uint32_t value = 0;
    client->Init(1);
    client->GetSettings(&first, &second);
    client->GetServerStatus(&up);
    client->SetConfigFile(u"qev.xml", true);
    client->GetOptions(&options);
    client->GetValue(u"zkch", &value, false);
    client->SetValue(u"BarPos", 4294967295u, true);
    client->IsSpam(0, u"Subject: \"a\\b\"\r\n\r\nt\tab \u00e9\U0001F600 \x01");
    client->AddSpammer(0, u"", true);
    client->ShowSettings(0, 0);
    client->Reserved13();  // a slot the add-in is not meant to call
    client->Shutdown();
    client->Release();
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Init 1",
                         "GetSettings * *",
                         "GetServerStatus *",
                         "SetConfigFile \"qev.xml\" true",
                         "GetOptions *",
                         "GetValue \"zkch\" * false",
                         "SetValue \"BarPos\" 4294967295 true",
                         "IsSpam 0 \"Subject: \"a\\\\b\"\\r\\n\\r\\nt\\x09ab \xC3\xA9\xF0\x9F\x98\x80 \\x01\"",
                         "AddSpammer 0 \"\" true",
                         "ShowSettings 0 0",
                         "Reserved13",
                         "Shutdown",
                         "Release",
                     }));
    EXPECT_EQ(engine.callCount("GetValue"), 1u);

    engine.reset(0);  // takes the listener away and forgets the counts
    engine.Create()->Release();
    EXPECT_EQ(lines.size(), 13u);
    EXPECT_EQ(engine.callCount("Release"), 1u);
}

TEST(EngineStandin, RecordsAndStatusFollowTheConfiguration)
{
    TempFolder folder;
    Engine engine(folder.Copy(u"zkascl.dll"));
    qev::IAsClient* client = engine.Create();
    ASSERT_NE(client, nullptr);
    const qev::AsSettings defaults = qev::DefaultSettings();
    qev::AsSettings first = defaults;
    qev::AsSettings second = defaults;
    bool up = false;
    client->GetSettings(&first, &second);
    client->GetServerStatus(&up);
    EXPECT_TRUE(Same(first, defaults)) << "unconfigured, the engine writes no field";
    EXPECT_TRUE(up);

    EXPECT_EQ(engine.setSetting(1, 0) | engine.setSetting(3, 1) | engine.setSetting(18, 77), 0);
    EXPECT_EQ(engine.setSetting(19, 1), -1);
    EXPECT_EQ(engine.setOption(qev::kOptionMoveToSpamFolder, 1) | engine.setOption(qev::kOptionMarkAsRead, 1), 0);
    EXPECT_EQ(engine.setOption(10, 1), -1);
    engine.setServerStatus(0);
    client->GetSettings(&first, &second);
    qev::AsSettings expected = defaults;
    expected.f[1] = 0;
    expected.f[3] = 1;
    expected.f[18] = 77;
    EXPECT_TRUE(Same(first, expected));
    EXPECT_TRUE(Same(second, defaults)) << "the second record stays as prefilled";
    qev::AsOptions options = {{40, 0, 1, 1, 0, 0, 0, 0, 0, 0}};
    client->GetOptions(&options);
    EXPECT_EQ(std::vector<std::uint32_t>(options.f, options.f + 10),
              (std::vector<std::uint32_t>{40, 0, 1, 1, 1, 1, 0, 0, 0, 0}));
    client->GetServerStatus(&up);
    EXPECT_FALSE(up);
    client->Release();
}

TEST(EngineStandin, ValuesAndListsSurviveAReload)
{
    TempFolder folder;
    const std::u16string path = folder.Copy(u"zkascl.dll");
    const std::u16string store = folder.Path() + zksim::kStoreFileName;
    {
        Engine engine(path);
        char16_t reported[MAX_PATH] = {};
        EXPECT_EQ(engine.storeFile(reported, MAX_PATH), store.size());
        EXPECT_EQ(std::u16string(reported), store);
        qev::IAsClient* client = engine.Create();
        client->SetValue(u"BarPos", 6, true);
        client->SetValue(u"Bar Top\t2", 0xFFFFFFFFu, true);  // a name the file must escape
        EXPECT_EQ(engine.setValue(u"zkch", 1), 0);
        client->AddSpammer(0, u"Received: x\r\nFrom: \"Spam\r\n King\" <King@Spam.Example>\r\n\r\nFrom: body", true);
        client->AddFriend(0, u"from: pal@friends.example\r\n\r\n", true);
        client->AddFriend(0, u"Subject: none\r\n\r\nFrom: only@in.the.body\r\n", true);  // no sender: nothing listed
        client->IsSpam(0, u"x");
        client->NotSpam(0, u"y");
        client->Release();
        EXPECT_EQ(ReadText(store),
                  "# zkascl engine store\n"
                  "value\tBar Top\\t2\t4294967295\n"
                  "value\tBarPos\t6\n"
                  "value\tzkch\t1\n"
                  "spammer\tking@spam.example\n"
                  "friend\tpal@friends.example\n"
                  "learned\tspam\t1\n"
                  "learned\tham\t1\n");
    }
    EXPECT_EQ(GetModuleHandleW(W(path)), nullptr) << "the library was unloaded";

    Engine engine(path);
    qev::IAsClient* client = engine.Create();
    std::vector<std::uint32_t> values;
    for (const char16_t* name : {u"BarPos", u"Bar Top\t2", u"zkch", u"barpos"}) {
        std::uint32_t value = 77;  // left alone when the engine has none
        client->GetValue(name, &value, true);
        values.push_back(value);
    }
    EXPECT_EQ(values, (std::vector<std::uint32_t>{6, 0xFFFFFFFFu, 1, 77}));
    client->AddFriend(0, u"From: KING@spam.example\r\n", true);  // a spammer listed as a friend moves
    const std::string text = ReadText(store);
    EXPECT_EQ(text.find("spammer"), std::string::npos) << text;
    EXPECT_NE(text.find("friend\tking@spam.example\n"), std::string::npos) << text;
    client->Release();

    engine.reset(1);
    EXPECT_EQ(GetFileAttributesW(W(store)), INVALID_FILE_ATTRIBUTES);
}

// An observer as the engine sees one: notes each call and its thread.
struct TestObserver final : qev::IAsClientObs {
    void Destroy() override {}
    void SetServerStatus(bool up) override { calls.push_back({up ? "up" : "down", GetCurrentThreadId()}); }
    void OnImportSettings(const qev::AsSettings* settings) override
    {
        calls.push_back({settings ? "f5=" + std::to_string(settings->f[5]) : "null", GetCurrentThreadId()});
    }
    std::int32_t OnNotify(std::uint32_t, void*) override { return 0; }
    std::vector<std::pair<std::string, DWORD>> calls;
    std::vector<std::string> What() const
    {
        std::vector<std::string> what;
        for (const auto& call : calls) what.push_back(call.first);
        return what;
    }
};

TEST(EngineStandin, ObserversAreCalledFromTheEnginesOwnThread)
{
    TempFolder folder;
    Engine engine(folder.Copy(u"zkascl.dll"));
    qev::IAsClient* client = engine.Create();
    TestObserver a;
    TestObserver b;
    client->Advise(&a);
    client->Advise(&b);
    client->Advise(&a);  // once is enough
    EXPECT_EQ(engine.observers(), 2);

    EXPECT_EQ(engine.notifyStatus(0), 2);  // returns once both were called
    qev::AsSettings settings = qev::DefaultSettings();
    settings.f[5] = 2;
    EXPECT_EQ(engine.notifySettings(&settings), 2);
    EXPECT_EQ(engine.notifySettings(nullptr), 2);
    EXPECT_EQ(a.What(), (std::vector<std::string>{"down", "f5=2", "null"}));
    for (const auto& call : a.calls) EXPECT_NE(call.second, GetCurrentThreadId());
    bool up = true;
    client->GetServerStatus(&up);
    EXPECT_FALSE(up) << "the engine reports the status it notified";

    EXPECT_EQ(client->Unadvise(&a), 0);
    EXPECT_NE(client->Unadvise(&a), 0);
    EXPECT_EQ(engine.notifyStatus(1), 1);
    EXPECT_EQ(a.calls.size(), 3u);
    EXPECT_EQ(b.What().back(), "up");
    client->Unadvise(&b);
    client->Release();
}

// The add-in's own observer over the real apartment: the engine's thread
// reaches the add-in object on this thread, which waits inside the engine's
// notification call as the simulated Outlook's thread does.
TEST(EngineStandin, NotificationsReachTheAddinThroughItsApartment)
{
    const testcom::ComScope com;
    ASSERT_EQ(com.Result(), S_OK);
    TempFolder folder;
    Engine engine(folder.Copy(u"zkascl.dll"));
    host::win::WinApartment apartment;
    testcom::TestAddin addin;
    qev::IAsClient* client = engine.Create();
    const host::Ref<host::Object> identity = host::win::WrapDispatch(addin.object->Dispatch());
    qev::AsObs* observer = qev::CreateObserver(client, apartment, identity.Get());
    ASSERT_NE(observer, nullptr);

    EXPECT_EQ(engine.notifyStatus(1), 1);
    EXPECT_EQ(addin.status.vt, VT_BOOL);
    EXPECT_EQ(addin.status.boolVal, VARIANT_TRUE);
    qev::AsSettings settings = qev::DefaultSettings();
    settings.f[5] = 2;
    EXPECT_EQ(engine.notifySettings(&settings), 1);
    const auto packed = qev::PackSettings(settings);
    EXPECT_EQ(addin.imported, std::vector<std::uint8_t>(packed.begin(), packed.end()));
    ASSERT_EQ(addin.object->Calls().size(), 2u);
    for (const auto& call : addin.object->Calls()) EXPECT_EQ(call.thread, GetCurrentThreadId());

    observer->Destroy();  // unadvises and revokes
    EXPECT_EQ(engine.observers(), 0);
    client->Release();
}

TEST(EngineStandin, NoFactoryBuildLacksOnlyTheFactory)
{
    TempFolder folder;
    // Under the name the add-in loads, as the simulated Outlook places it.
    Library library(folder.Copy(zksim::kNoFactoryLibrary, u"zkascl.dll"));
    HRESULT error = S_OK;
    EXPECT_EQ(library.Get<qev::AsCreateInstanceFn>(qev::kAsCreateInstanceName, &error), nullptr);
    EXPECT_EQ(error, HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
    ASSERT_NE(library.Get<ZkSimLiveClientsFn>(zksim::kLiveClients), nullptr);
}

std::u16string Text(const char16_t* text)
{
    return text ? std::u16string(text) : u"(null)";
}

TEST(ProductStandin, AnswersTheProductsStringsFromItsSettings)
{
    TempFolder folder;
    Library library(folder.Copy(u"IPrefVault.dll"));
    const auto create = library.Get<qev::ZkCreateObjectFn>("ZkCreateObject");
    const auto destroy = library.Get<qev::ZkDestroyObjectFn>("ZkDestroyObject");
    ASSERT_NE(destroy, nullptr);
    qev::IZkObject* object = nullptr;
    EXPECT_NE(create(u"otherinfo", &qev::kIidZkObject, &object), 0);
    EXPECT_NE(create(qev::kProductInfoObject, &qev::kIidProductInfo, &object), 0);
    EXPECT_EQ(object, nullptr);

    // The add-in's bring-up: create, GetInterface, Initialize(0), Start.
    auto start = [&](qev::IZkObject*& made) -> qev::IProductInfo* {
        if (create(qev::kProductInfoObject, &qev::kIidZkObject, &made) != 0) return nullptr;
        EXPECT_EQ(made->GetInterface(&qev::kIidZkObject), nullptr);
        qev::IProductInfo* info = made->GetInterface(&qev::kIidProductInfo);
        EXPECT_NE(info->Start(), 0) << "not initialised yet";
        return info->Initialize(0) == 0 && info->Start() == 0 ? info : nullptr;
    };
    qev::IProductInfo* info = start(object);
    ASSERT_NE(info, nullptr);
    const char16_t* productFolder = info->GetString(qev::kStringProductFolder, qev::kProductComponent);
    EXPECT_EQ(Text(productFolder), u"C:\\ProgramData\\Marlowcrest\\Desktop\\");
    EXPECT_EQ(Text(info->GetString(qev::kStringProductRegistryKey, qev::kProductComponent)),
              u"SOFTWARE\\Marlowcrest\\Desktop");
    EXPECT_EQ(Text(info->GetProductName()), u"Marlowcrest Antispam");
    EXPECT_EQ(info->GetString(999, qev::kProductComponent), nullptr);

    // A settings file beside it: a new object answers from it; what was
    // handed out before stays as it was.
    const std::string ini =
        "[Product]\r\nName=Other Product\r\n[Desktop]\r\n400=D:\\Product Data\\\r\n999=extra\r\n"
        "[Server]\r\n400=E:\\Server\\\r\n";
    HANDLE file =
        CreateFileW(W(folder.Path() + u"IPrefVault.ini"), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, ini.data(), static_cast<DWORD>(ini.size()), &written, nullptr);
    CloseHandle(file);
    qev::IZkObject* second = nullptr;
    qev::IProductInfo* fromFile = start(second);
    ASSERT_NE(fromFile, nullptr);
    EXPECT_EQ(Text(fromFile->GetString(qev::kStringProductFolder, qev::kProductComponent)), u"D:\\Product Data\\");
    EXPECT_EQ(Text(fromFile->GetString(qev::kStringProductRegistryKey, qev::kProductComponent)),
              u"SOFTWARE\\Marlowcrest\\Desktop");
    EXPECT_EQ(Text(fromFile->GetString(999, qev::kProductComponent)), u"extra");
    EXPECT_EQ(Text(fromFile->GetString(qev::kStringProductFolder, u"Server")), u"E:\\Server\\");
    EXPECT_EQ(Text(fromFile->GetProductName()), u"Other Product");
    EXPECT_EQ(Text(productFolder), u"C:\\ProgramData\\Marlowcrest\\Desktop\\");

    fromFile->Stop();
    EXPECT_EQ(fromFile->GetProductName(), nullptr) << "stopped, it answers nothing";
    fromFile->ReleaseInterface();
    destroy(qev::kProductInfoObject, second);
    destroy(qev::kProductInfoObject, second);  // once only
    info->Stop();
    info->ReleaseInterface();
    destroy(qev::kProductInfoObject, object);
}

TEST(CrashHandlerStandin, LogsWhatItWasToldAndStaysLoaded)
{
    TempFolder folder;
    const LPTOP_LEVEL_EXCEPTION_FILTER prior = SetUnhandledExceptionFilter(nullptr);
    SetUnhandledExceptionFilter(prior);
    host::LibraryHandle module = nullptr;
    {
        Library library(folder.Copy(u"zkch.dll"));
        module = library.Module();
        const auto setSettings = library.Get<qev::SetSettingsFileFn>("SetSettingsFile");
        const auto enable = library.Get<qev::EnableCrashHandlerFn>("EnableCrashHandler");
        EXPECT_EQ(setSettings(u"C:\\ProgramData\\Marlowcrest\\Desktop\\zkch.xml"), 0);
        EXPECT_NE(setSettings(nullptr), 0);
        EXPECT_EQ(enable(0, 0, 0), 0);
        EXPECT_EQ(ReadText(folder.Path() + zkch::kLogFileName),
                  "SetSettingsFile \"C:\\ProgramData\\Marlowcrest\\Desktop\\zkch.xml\"\r\n"
                  "EnableCrashHandler 0 0 0\r\n");
    }
    // Its filter is the process's now, and its library stays for the process's life.
    const LPTOP_LEVEL_EXCEPTION_FILTER filter = SetUnhandledExceptionFilter(prior);
    HMODULE owner = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(filter), &owner);
    EXPECT_EQ(owner, module);
    EXPECT_EQ(GetModuleHandleW(L"zkch.dll"), module);
}

}  // namespace
