// The product's other components in the in-memory world: the configuration
// library IPrefVault.dll beside the add-in's module, with its "productinfo"
// object, and the crash handler zkch.dll in the product's program folder.
//
// Their exports are plain functions: they reach their component through
// Current(), the most recently constructed one that still lives. One world is
// current at a time.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/crash_handler_abi.h"
#include "host/fake/fake_ledger.h"
#include "host/fake/fake_libraries.h"
#include "text/product_info_abi.h"

namespace host::fake {

inline constexpr char16_t kDefaultProductFolder[] = u"C:\\ProgramData\\Marlowcrest\\Desktop\\";
inline constexpr char16_t kDefaultProductKey[] = u"SOFTWARE\\Marlowcrest\\Desktop";
inline constexpr char16_t kDefaultProductName[] = u"Marlowcrest Antispam";

class FakeProduct {
public:
    // Places IPrefVault.dll in folder (the add-in's folder).
    FakeProduct(HostCalls& calls, FakeLibraries& libraries, std::u16string folder);
    ~FakeProduct();
    FakeProduct(const FakeProduct&) = delete;
    FakeProduct& operator=(const FakeProduct&) = delete;

    static FakeProduct* Current() noexcept;

    // ---- how the library is ----

    void SetFolder(std::u16string folder);
    std::u16string LibraryPath() const;
    void SetPresent(bool present);
    // Whether the library exports ZkDestroyObject.
    void SetDestroyExport(bool present);
    // What Initialize and Start answer (0 is success).
    void SetInitializeResult(std::int32_t result);
    void SetStartResult(std::int32_t result);
    // String number n of the component "Desktop" (400: the product's folder,
    // 202: its registry key under HKLM).
    void SetString(std::uint32_t number, std::u16string text);
    std::u16string String(std::uint32_t number) const;
    void SetProductName(std::u16string name);

    // ---- what the add-in did ----

    // In order: "ZkCreateObject \"productinfo\"", "GetInterface productinfo",
    // "Initialize 0", "Start", "GetString 400 \"Desktop\"", "GetProductName",
    // "Stop", "ReleaseInterface", "ZkDestroyObject \"productinfo\"".
    std::vector<std::string> Calls() const;
    // Objects made and not destroyed.
    std::size_t LiveObjects() const;
    // Misuse: calls after ReleaseInterface, a destroy of an object that is
    // not live, a second ReleaseInterface.
    std::vector<std::string> Faults() const;

    // The library's exports.
    static std::int32_t ZkCreateObject(const char16_t* objectName, const qev::ZkIid* iid, qev::IZkObject** object);
    static void ZkDestroyObject(const char16_t* objectName, qev::IZkObject* object);

private:
    class InfoObject;
    friend class InfoObject;
    void Place();
    void Record(std::string call);
    void Fault(std::string fault);

    HostCalls& m_calls;
    FakeLibraries& m_libraries;
    mutable std::recursive_mutex m_mutex;
    std::u16string m_folder;
    std::u16string m_placedAt;
    bool m_present = true;
    bool m_destroyExport = true;
    std::int32_t m_initializeResult = 0;
    std::int32_t m_startResult = 0;
    std::map<std::uint32_t, std::u16string> m_strings;
    std::u16string m_productName = kDefaultProductName;
    std::vector<std::unique_ptr<InfoObject>> m_objects;  // kept for the world's life
    std::vector<std::string> m_history;
    std::vector<std::string> m_faults;
    FakeProduct* m_previous = nullptr;
};

class FakeCrashHandler {
public:
    // Places zkch.dll in folder.
    FakeCrashHandler(HostCalls& calls, FakeLibraries& libraries, std::u16string folder);
    ~FakeCrashHandler();
    FakeCrashHandler(const FakeCrashHandler&) = delete;
    FakeCrashHandler& operator=(const FakeCrashHandler&) = delete;

    static FakeCrashHandler* Current() noexcept;

    void SetFolder(std::u16string folder);
    std::u16string LibraryPath() const;
    void SetPresent(bool present);
    // What EnableCrashHandler answers.
    void SetEnableResult(std::int32_t result);

    // "EnableCrashHandler 0 0 0", "SetSettingsFile \"C:\...\zkch.xml\"".
    std::vector<std::string> Calls() const;
    bool Enabled() const;
    std::u16string SettingsFile() const;

    // The library's exports.
    static std::int32_t EnableCrashHandler(std::uint32_t a, std::uint32_t b, std::uint32_t c);
    static std::int32_t SetSettingsFile(const char16_t* path);

private:
    void Place();

    HostCalls& m_calls;
    FakeLibraries& m_libraries;
    mutable std::mutex m_mutex;
    std::u16string m_folder;
    std::u16string m_placedAt;
    bool m_present = true;
    std::int32_t m_enableResult = 0;
    bool m_enabled = false;
    std::u16string m_settingsFile;
    std::vector<std::string> m_history;
    FakeCrashHandler* m_previous = nullptr;
};

}  // namespace host::fake
