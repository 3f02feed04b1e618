// qev.dll as the Windows suites reach it: loaded once by its full path (the
// build puts it at QEV_DLL_RELATIVE from the test program's folder), its
// exports, and small COM helpers the suites share.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "addin/com/qev_idl.h"
#include "host/win/com_object.h"

namespace qevtest {

class QevDll {
public:
    static QevDll& Get()
    {
        static QevDll dll;
        return dll;
    }

    bool Loaded() const { return m_module != nullptr; }
    const std::wstring& Path() const { return m_path; }
    HMODULE Module() const { return m_module; }

    HRESULT CanUnloadNow() const { return m_canUnloadNow(); }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const { return m_getClassObject(clsid, iid, out); }
    HRESULT RegisterServer() const { return m_registerServer(); }
    HRESULT UnregisterServer() const { return m_unregisterServer(); }
    HRESULT Install(BOOL install, const wchar_t* commandLine) const { return m_install(install, commandLine); }

private:
    QevDll()
    {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring folder(self);
        folder.erase(folder.find_last_of(L'\\') + 1);
        std::wstring relative(QEV_DLL_RELATIVE);
        for (wchar_t& c : relative)
            if (c == L'/') c = L'\\';
        wchar_t full[MAX_PATH] = {};
        GetFullPathNameW((folder + relative + L"\\qev.dll").c_str(), MAX_PATH, full, nullptr);
        m_path = full;
        m_module = LoadLibraryW(m_path.c_str());
        if (!m_module) return;
        Bind(m_canUnloadNow, "DllCanUnloadNow");
        Bind(m_getClassObject, "DllGetClassObject");
        Bind(m_registerServer, "DllRegisterServer");
        Bind(m_unregisterServer, "DllUnregisterServer");
        Bind(m_install, "DllInstall");
        if (!m_canUnloadNow || !m_getClassObject || !m_registerServer || !m_unregisterServer || !m_install)
            m_module = nullptr;
    }

    template <class Fn>
    void Bind(Fn& fn, const char* name)
    {
        fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m_module, name)));
    }

    std::wstring m_path;
    HMODULE m_module = nullptr;
    HRESULT(STDAPICALLTYPE* m_canUnloadNow)() = nullptr;
    HRESULT(STDAPICALLTYPE* m_getClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(STDAPICALLTYPE* m_registerServer)() = nullptr;
    HRESULT(STDAPICALLTYPE* m_unregisterServer)() = nullptr;
    HRESULT(STDAPICALLTYPE* m_install)(BOOL, const wchar_t*) = nullptr;
};

// COM on the test thread, as a single-threaded apartment like Outlook's.
class ComEnvironment : public testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override { CoUninitialize(); }
};

// The text of a GUID in braces, as the registry holds it.
inline std::wstring GuidText(const GUID& guid)
{
    wchar_t text[64] = {};
    StringFromGUID2(guid, text, 64);
    return text;
}

// A fresh qev.Connect from the library's own class object.
inline HRESULT NewConnect(REFIID iid, void** out)
{
    host::win::ComPtr<IClassFactory> factory;
    const HRESULT hr = QevDll::Get().GetClassObject(CLSID_Connect, IID_IClassFactory, factory.OutVoid());
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, iid, out);
}

}  // namespace qevtest
