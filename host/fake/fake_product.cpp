#include "host/fake/fake_product.h"

#include <atomic>

#include "host/fake/fake_text.h"

namespace host::fake {
namespace {

std::atomic<FakeProduct*> g_product{nullptr};
std::atomic<FakeCrashHandler*> g_crashHandler{nullptr};

constexpr std::int32_t kUnknownObject = 2;  // ZkCreateObject: no object of that name

}  // namespace

// ---- the "productinfo" object ----

class FakeProduct::InfoObject final : public qev::IZkObject, public qev::IProductInfo {
public:
    InfoObject(FakeProduct& product, int number) : m_product(product), m_number(number) {}

    bool Live() const noexcept { return !m_destroyed; }
    void Destroy() noexcept { m_destroyed = true; }
    int Number() const noexcept { return m_number; }

    // IZkObject
    qev::IProductInfo* GetInterface(const qev::ZkIid* iid) override
    {
        std::lock_guard lock(m_product.m_mutex);
        const bool productInfo = iid && *iid == qev::kIidProductInfo;
        m_product.Record(std::string("GetInterface ") + (productInfo ? "productinfo" : "unknown"));
        Check("GetInterface");
        if (FAILED(m_product.m_calls.CheckNoThrow("ZkObject.GetInterface")) || !productInfo) return nullptr;
        m_released = false;
        return this;
    }

    // IProductInfo
    std::int32_t Reserved0() override { return Reserved(0); }

    std::int32_t Initialize(std::uint32_t flags) override
    {
        std::lock_guard lock(m_product.m_mutex);
        m_product.Record("Initialize " + std::to_string(flags));
        CheckInterface("Initialize");
        if (const HRESULT hr = m_product.m_calls.CheckNoThrow("ProductInfo.Initialize"); FAILED(hr)) return hr;
        return m_product.m_initializeResult;
    }

    void ReleaseInterface() override
    {
        std::lock_guard lock(m_product.m_mutex);
        m_product.Record("ReleaseInterface");
        CheckInterface("ReleaseInterface");
        m_released = true;
    }

    std::int32_t Start() override
    {
        std::lock_guard lock(m_product.m_mutex);
        m_product.Record("Start");
        CheckInterface("Start");
        if (const HRESULT hr = m_product.m_calls.CheckNoThrow("ProductInfo.Start"); FAILED(hr)) return hr;
        return m_product.m_startResult;
    }

    void Stop() override
    {
        std::lock_guard lock(m_product.m_mutex);
        m_product.Record("Stop");
        CheckInterface("Stop");
    }

    std::int32_t Reserved5() override { return Reserved(5); }

    const char16_t* GetString(std::uint32_t number, const char16_t* component) override
    {
        std::lock_guard lock(m_product.m_mutex);
        m_product.Record("GetString " + std::to_string(number) + " " +
                         (component ? Quoted(component) : std::string("null")));
        CheckInterface("GetString");
        if (!component || std::u16string_view(component) != qev::kProductComponent) return u"";
        const auto it = m_product.m_strings.find(number);
        return it == m_product.m_strings.end() ? u"" : it->second.c_str();
    }

    const char16_t* GetProductName() override
    {
        std::lock_guard lock(m_product.m_mutex);
        m_product.Record("GetProductName");
        CheckInterface("GetProductName");
        return m_product.m_productName.c_str();
    }

private:
    void Check(const char* what)
    {
        if (m_destroyed)
            m_product.Fault(std::string(what) + " on productinfo object " + std::to_string(m_number) +
                            " after ZkDestroyObject");
    }
    void CheckInterface(const char* what)
    {
        Check(what);
        if (m_released)
            m_product.Fault(std::string(what) + " on productinfo object " + std::to_string(m_number) +
                            " after ReleaseInterface");
    }
    std::int32_t Reserved(int slot)
    {
        std::lock_guard lock(m_product.m_mutex);
        m_product.Record("Reserved" + std::to_string(slot));
        m_product.Fault("slot " + std::to_string(slot) + " of IProductInfo called");
        return E_NOTIMPL;
    }

    FakeProduct& m_product;
    int m_number;
    bool m_destroyed = false;
    bool m_released = true;  // until GetInterface hands the interface out
};

// ---- the configuration library ----

FakeProduct::FakeProduct(HostCalls& calls, FakeLibraries& libraries, std::u16string folder)
    : m_calls(calls), m_libraries(libraries), m_folder(std::move(folder))
{
    m_strings[qev::kStringProductFolder] = kDefaultProductFolder;
    m_strings[qev::kStringProductRegistryKey] = kDefaultProductKey;
    m_previous = g_product.exchange(this);
    Place();
}

FakeProduct::~FakeProduct()
{
    FakeProduct* self = this;
    g_product.compare_exchange_strong(self, m_previous);
}

FakeProduct* FakeProduct::Current() noexcept
{
    return g_product.load();
}

void FakeProduct::Place()
{
    std::lock_guard lock(m_mutex);
    if (!m_placedAt.empty()) m_libraries.Uninstall(m_placedAt);
    m_placedAt = m_folder + u"\\" + qev::kProductInfoLibrary;
    if (!m_present) return;
    FakeLibraries::Exports exports{{"ZkCreateObject", reinterpret_cast<void*>(&ZkCreateObject)}};
    if (m_destroyExport) exports["ZkDestroyObject"] = reinterpret_cast<void*>(&ZkDestroyObject);
    m_libraries.Install(m_placedAt, std::move(exports));
}

void FakeProduct::SetFolder(std::u16string folder)
{
    std::lock_guard lock(m_mutex);
    m_folder = std::move(folder);
    Place();
}

std::u16string FakeProduct::LibraryPath() const
{
    std::lock_guard lock(m_mutex);
    return m_placedAt;
}

void FakeProduct::SetPresent(bool present)
{
    std::lock_guard lock(m_mutex);
    m_present = present;
    Place();
}

void FakeProduct::SetDestroyExport(bool present)
{
    std::lock_guard lock(m_mutex);
    m_destroyExport = present;
    Place();
}

void FakeProduct::SetInitializeResult(std::int32_t result)
{
    std::lock_guard lock(m_mutex);
    m_initializeResult = result;
}

void FakeProduct::SetStartResult(std::int32_t result)
{
    std::lock_guard lock(m_mutex);
    m_startResult = result;
}

void FakeProduct::SetString(std::uint32_t number, std::u16string text)
{
    std::lock_guard lock(m_mutex);
    m_strings[number] = std::move(text);
}

std::u16string FakeProduct::String(std::uint32_t number) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_strings.find(number);
    return it == m_strings.end() ? std::u16string() : it->second;
}

void FakeProduct::SetProductName(std::u16string name)
{
    std::lock_guard lock(m_mutex);
    m_productName = std::move(name);
}

std::vector<std::string> FakeProduct::Calls() const
{
    std::lock_guard lock(m_mutex);
    return m_history;
}

std::size_t FakeProduct::LiveObjects() const
{
    std::lock_guard lock(m_mutex);
    std::size_t live = 0;
    for (const auto& object : m_objects) live += object->Live() ? 1 : 0;
    return live;
}

std::vector<std::string> FakeProduct::Faults() const
{
    std::lock_guard lock(m_mutex);
    return m_faults;
}

void FakeProduct::Record(std::string call)
{
    std::lock_guard lock(m_mutex);
    m_history.push_back(std::move(call));
}

void FakeProduct::Fault(std::string fault)
{
    std::lock_guard lock(m_mutex);
    m_faults.push_back(std::move(fault));
}

std::int32_t FakeProduct::ZkCreateObject(const char16_t* objectName, const qev::ZkIid* iid, qev::IZkObject** object)
{
    FakeProduct* product = Current();
    if (!product) return E_UNEXPECTED;
    std::lock_guard lock(product->m_mutex);
    product->Record("ZkCreateObject " + (objectName ? Quoted(objectName) : std::string("null")));
    if (const HRESULT hr = product->m_calls.CheckNoThrow("ZkCreateObject"); FAILED(hr)) return hr;
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!objectName || std::u16string_view(objectName) != qev::kProductInfoObject) return kUnknownObject;
    if (!iid || !(*iid == qev::kIidZkObject)) return E_NOINTERFACE;
    const int number = static_cast<int>(product->m_objects.size()) + 1;
    *object = product->m_objects.emplace_back(std::make_unique<InfoObject>(*product, number)).get();
    return 0;
}

void FakeProduct::ZkDestroyObject(const char16_t* objectName, qev::IZkObject* object)
{
    FakeProduct* product = Current();
    if (!product) return;
    std::lock_guard lock(product->m_mutex);
    product->Record("ZkDestroyObject " + (objectName ? Quoted(objectName) : std::string("null")));
    for (const auto& made : product->m_objects) {
        if (static_cast<qev::IZkObject*>(made.get()) != object) continue;
        if (!made->Live()) product->Fault("productinfo object " + std::to_string(made->Number()) + " destroyed again");
        made->Destroy();
        return;
    }
    product->Fault("ZkDestroyObject of an object the library did not make");
}

// ---- the crash handler ----

FakeCrashHandler::FakeCrashHandler(HostCalls& calls, FakeLibraries& libraries, std::u16string folder)
    : m_calls(calls), m_libraries(libraries), m_folder(std::move(folder))
{
    m_previous = g_crashHandler.exchange(this);
    Place();
}

FakeCrashHandler::~FakeCrashHandler()
{
    FakeCrashHandler* self = this;
    g_crashHandler.compare_exchange_strong(self, m_previous);
}

FakeCrashHandler* FakeCrashHandler::Current() noexcept
{
    return g_crashHandler.load();
}

void FakeCrashHandler::Place()
{
    // m_mutex held by the caller, or construction.
    if (!m_placedAt.empty()) m_libraries.Uninstall(m_placedAt);
    m_placedAt = m_folder + u"\\" + qev::kCrashHandlerLibrary;
    if (!m_present) return;
    m_libraries.Install(m_placedAt, {{"EnableCrashHandler", reinterpret_cast<void*>(&EnableCrashHandler)},
                                     {"SetSettingsFile", reinterpret_cast<void*>(&SetSettingsFile)}});
}

void FakeCrashHandler::SetFolder(std::u16string folder)
{
    std::lock_guard lock(m_mutex);
    m_folder = std::move(folder);
    Place();
}

std::u16string FakeCrashHandler::LibraryPath() const
{
    std::lock_guard lock(m_mutex);
    return m_placedAt;
}

void FakeCrashHandler::SetPresent(bool present)
{
    std::lock_guard lock(m_mutex);
    m_present = present;
    Place();
}

void FakeCrashHandler::SetEnableResult(std::int32_t result)
{
    std::lock_guard lock(m_mutex);
    m_enableResult = result;
}

std::vector<std::string> FakeCrashHandler::Calls() const
{
    std::lock_guard lock(m_mutex);
    return m_history;
}

bool FakeCrashHandler::Enabled() const
{
    std::lock_guard lock(m_mutex);
    return m_enabled;
}

std::u16string FakeCrashHandler::SettingsFile() const
{
    std::lock_guard lock(m_mutex);
    return m_settingsFile;
}

std::int32_t FakeCrashHandler::EnableCrashHandler(std::uint32_t a, std::uint32_t b, std::uint32_t c)
{
    FakeCrashHandler* handler = Current();
    if (!handler) return E_UNEXPECTED;
    std::lock_guard lock(handler->m_mutex);
    handler->m_history.push_back("EnableCrashHandler " + std::to_string(a) + " " + std::to_string(b) + " " +
                                 std::to_string(c));
    if (const HRESULT hr = handler->m_calls.CheckNoThrow("EnableCrashHandler"); FAILED(hr)) return hr;
    handler->m_enabled = true;
    return handler->m_enableResult;
}

std::int32_t FakeCrashHandler::SetSettingsFile(const char16_t* path)
{
    FakeCrashHandler* handler = Current();
    if (!handler) return E_UNEXPECTED;
    std::lock_guard lock(handler->m_mutex);
    handler->m_history.push_back("SetSettingsFile " + (path ? Quoted(path) : std::string("null")));
    if (const HRESULT hr = handler->m_calls.CheckNoThrow("SetSettingsFile"); FAILED(hr)) return hr;
    if (!path) return E_POINTER;
    handler->m_settingsFile = path;
    return 0;
}

}  // namespace host::fake
