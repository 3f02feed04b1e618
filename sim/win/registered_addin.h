// An installed add-in, found as Outlook finds it: its entry in Outlook's
// Addins key (the user's hive first, then the machine's) with LoadBehavior,
// then the ProgID's class id and the class's InprocServer32 path, each key
// from the user's classes (HKCU\Software\Classes) first and the machine's
// (HKLM\Software\Classes) after, as Windows merges them into
// HKEY_CLASSES_ROOT. The server is then loaded as COM loads one: by its full
// path, DllGetClassObject, IClassFactory.
//
// The runner does this itself because Wine 8 does not merge the user's
// classes for COM activation: a class registered per user is not found by
// CoCreateInstance (CreateObject fails with 429) although its keys are there.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

#include "addin/com/qev_idl.h"
#include "host/win/com_object.h"

namespace qev::sim::win {

// What Outlook would not load, and why.
class AddinNotFound : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct RegisteredAddin {
    std::wstring progId;
    bool userAddins = false;  // the user's Addins key named it, else the machine's
    DWORD loadBehavior = 0;
    std::wstring clsid;       // in braces
    bool userClass = false;   // the user's classes named the server, else the machine's
    std::wstring server;      // InprocServer32's default value, environment variables expanded

    // "qev.Connect: the user's Addins key (LoadBehavior 3), class {...} of
    // the user's classes, server C:\...\qev.dll"
    std::string Describe() const;
};

// The add-in progId as Outlook loads it at start-up (LoadBehavior with bits
// 1 and 2 set); AddinNotFound saying which step finds nothing.
RegisteredAddin FindRegisteredAddin(const std::wstring& progId);

// The add-in's server, loaded for the life of the object; unloaded at its end
// when DllCanUnloadNow allows it, as CoFreeUnusedLibraries would.
class InprocServer {
public:
    // std::runtime_error when the file does not load or lacks the exports.
    explicit InprocServer(const RegisteredAddin& addin);
    ~InprocServer();
    InprocServer(const InprocServer&) = delete;
    InprocServer& operator=(const InprocServer&) = delete;

    // A new add-in object through the class factory: the reference Outlook holds.
    host::win::ComPtr<_IDTExtensibility2> Create() const;

private:
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();

    CLSID m_clsid = {};
    HMODULE m_module = nullptr;
    GetClassObject m_getClassObject = nullptr;
    CanUnloadNow m_canUnloadNow = nullptr;
};

}  // namespace qev::sim::win
