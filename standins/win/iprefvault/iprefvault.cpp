// The product configuration library stand-in (IPrefVault.dll): ZkCreateObject
// makes the "productinfo" object, whose IProductInfo answers the product's
// name and its strings from the settings file "IPrefVault.ini" beside the
// library: section [Product], key Name, the product's name (default
// "Marlowcrest Antispam"); a section named like a component holds that
// component's strings under their numbers. For the component Desktop:
// 400, the product's folder (default C:\ProgramData\Marlowcrest\Desktop\ with
// its final backslash), and 202, the product's registry key under HKLM
// (default SOFTWARE\Marlowcrest\Desktop): keys "400" and "202" of [Desktop].
// Strings are read on first request and stay as read for the life of the
// object, so the pointers handed out stay valid until it is destroyed.
#include <windows.h>

#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "standins/win/common/module_files.h"
#include "text/product_info_abi.h"

namespace iprefvault {
namespace {

using qev::IProductInfo;
using qev::IZkObject;
using qev::ZkIid;

constexpr std::int32_t kOk = 0;
constexpr std::int32_t kUnknownObject = 2;
constexpr std::int32_t kNoInterface = 3;
constexpr std::int32_t kNotInitialized = 4;
constexpr std::int32_t kBadArgument = 5;

constexpr char16_t kSettingsFile[] = u"IPrefVault.ini";
constexpr char16_t kProductSection[] = u"Product";
constexpr char16_t kNameKey[] = u"Name";

struct Default {
    std::u16string_view component;
    std::uint32_t number;
    std::u16string_view text;
};
constexpr Default kDefaults[] = {
    {u"Desktop", qev::kStringProductFolder, u"C:\\ProgramData\\Marlowcrest\\Desktop\\"},
    {u"Desktop", qev::kStringProductRegistryKey, u"SOFTWARE\\Marlowcrest\\Desktop"},
};
constexpr char16_t kDefaultProductName[] = u"Marlowcrest Antispam";

// The value of a key of the settings file; nothing when the file or the key is missing.
std::optional<std::u16string> Setting(const std::u16string& file, const std::u16string& section,
                                      const std::u16string& key)
{
    // A value the file does not hold comes back as this marker, which no line
    // of a settings file can hold.
    const std::u16string missing = u"\x01missing\x01";
    std::u16string value(1024, u'\0');
    for (;;) {
        const DWORD length = GetPrivateProfileStringW(standins::W(section), standins::W(key), standins::W(missing),
                                                      reinterpret_cast<wchar_t*>(value.data()),
                                                      static_cast<DWORD>(value.size()), standins::W(file));
        if (length + 1 < value.size() || value.size() >= 65536) {
            value.resize(length);
            break;
        }
        value.resize(value.size() * 2);
    }
    if (value == missing) return std::nullopt;
    return value;
}

class ProductInfo final : public IZkObject, public IProductInfo {
public:
    ProductInfo() : m_settingsFile(standins::OwnFolder() + kSettingsFile) {}
    ProductInfo(const ProductInfo&) = delete;
    ProductInfo& operator=(const ProductInfo&) = delete;
    ~ProductInfo() = default;

    // IZkObject
    IProductInfo* GetInterface(const ZkIid* iid) override
    {
        if (!iid || !(*iid == qev::kIidProductInfo)) return nullptr;
        const std::lock_guard lock(m_mutex);
        m_released = false;
        return this;
    }

    // IProductInfo
    std::int32_t Reserved0() override { return kBadArgument; }
    std::int32_t Initialize(std::uint32_t flags) override
    {
        const std::lock_guard lock(m_mutex);
        if (m_released) return kNoInterface;
        if (flags != 0) return kBadArgument;
        m_initialized = true;
        return kOk;
    }
    void ReleaseInterface() override
    {
        const std::lock_guard lock(m_mutex);
        m_released = true;
        m_started = false;
    }
    std::int32_t Start() override
    {
        const std::lock_guard lock(m_mutex);
        if (m_released || !m_initialized) return kNotInitialized;
        m_started = true;
        return kOk;
    }
    void Stop() override
    {
        const std::lock_guard lock(m_mutex);
        m_started = false;
    }
    std::int32_t Reserved5() override { return kBadArgument; }
    const char16_t* GetString(std::uint32_t number, const char16_t* component) override
    {
        if (!component) return nullptr;
        const std::lock_guard lock(m_mutex);
        if (!m_started) return nullptr;
        const std::u16string section = component;
        const auto key = std::make_pair(section, number);
        auto it = m_strings.find(key);
        if (it == m_strings.end()) {
            std::optional<std::u16string> value = Setting(m_settingsFile, section, Decimal(number));
            for (const Default& d : kDefaults) {
                if (!value && d.number == number && d.component == section) value = std::u16string(d.text);
            }
            if (!value) return nullptr;
            it = m_strings.emplace(key, std::move(*value)).first;
        }
        return it->second.c_str();
    }
    const char16_t* GetProductName() override
    {
        const std::lock_guard lock(m_mutex);
        if (!m_started) return nullptr;
        if (!m_name) m_name = Setting(m_settingsFile, kProductSection, kNameKey).value_or(kDefaultProductName);
        return m_name->c_str();
    }

private:
    static std::u16string Decimal(std::uint32_t number)
    {
        const std::string digits = std::to_string(number);
        return std::u16string(digits.begin(), digits.end());
    }

    std::mutex m_mutex;
    const std::u16string m_settingsFile;
    bool m_initialized = false;
    bool m_started = false;
    bool m_released = false;
    std::map<std::pair<std::u16string, std::uint32_t>, std::u16string> m_strings;
    std::optional<std::u16string> m_name;
};

std::mutex g_objectsLock;
std::set<ProductInfo*> g_objects;

bool IsProductInfo(const char16_t* name)
{
    return name && std::u16string_view(name) == qev::kProductInfoObject;
}

}  // namespace
}  // namespace iprefvault

// ---- exports (named in iprefvault.def) ----

extern "C" {

std::int32_t ZkCreateObject(const char16_t* objectName, const qev::ZkIid* iid, qev::IZkObject** object)
{
    using namespace iprefvault;
    if (!object) return kBadArgument;
    *object = nullptr;
    if (!IsProductInfo(objectName)) return kUnknownObject;
    if (!iid || !(*iid == qev::kIidZkObject)) return kNoInterface;
    auto* created = new (std::nothrow) ProductInfo();
    if (!created) return kBadArgument;
    {
        const std::lock_guard lock(g_objectsLock);
        g_objects.insert(created);
    }
    *object = created;
    return kOk;
}

void ZkDestroyObject(const char16_t* objectName, qev::IZkObject* object)
{
    using namespace iprefvault;
    if (!IsProductInfo(objectName) || !object) return;
    auto* info = static_cast<ProductInfo*>(object);
    {
        const std::lock_guard lock(g_objectsLock);
        if (g_objects.erase(info) == 0) return;  // not one of ours, or destroyed already
    }
    delete info;
}

}  // extern "C"
