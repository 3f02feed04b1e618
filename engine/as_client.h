// The engine client's binary interface: the table of operations that
// zkascl.dll's client object exposes, the records it fills, and the observer
// it calls back. The slot order is the contract with the engine's library;
// slots the add-in never calls keep their places as Reserved*.
#pragma once

#include <cstdint>

namespace qev {

// Nineteen 32-bit fields; f0 is the size, 76.
struct AsSettings {
    std::uint32_t f[19];
};
static_assert(sizeof(AsSettings) == 76);

// Ten 32-bit fields; field 0 is the size, 40.
struct AsOptions {
    std::uint32_t f[10];
};
static_assert(sizeof(AsOptions) == 40);

inline constexpr int kOptionMoveToSpamFolder = 4;
inline constexpr int kOptionMarkAsRead = 5;

// What the engine calls back, on any of its threads.
class IAsClientObs {
public:
    virtual void Destroy() = 0;                                            // 0
    virtual void SetServerStatus(bool up) = 0;                             // 1
    virtual void OnImportSettings(const AsSettings* settings) = 0;         // 2
    virtual std::int32_t OnNotify(std::uint32_t code, void* data) = 0;     // 3: answered with 0

protected:
    ~IAsClientObs() = default;  // destroyed through its own slot, never by delete
};

class IAsClient {
public:
    virtual void Release() = 0;                                                        // 0
    virtual std::int32_t Init(std::int32_t version) = 0;                               // 1
    virtual std::int32_t Reserved2() = 0;                                              // 2
    virtual std::int32_t Reserved3() = 0;                                              // 3
    virtual std::int32_t GetSettings(AsSettings* first, AsSettings* second) = 0;       // 4
    virtual std::int32_t Reserved5() = 0;                                              // 5
    virtual std::int32_t GetServerStatus(bool* up) = 0;                                // 6
    virtual std::int32_t Advise(IAsClientObs* observer) = 0;                           // 7
    virtual std::int32_t Unadvise(IAsClientObs* observer) = 0;                         // 8
    virtual std::int32_t SetConfigFile(const char16_t* fileName, bool flag) = 0;       // 9
    virtual std::int32_t Reserved10() = 0;                                             // 10
    virtual std::int32_t Shutdown() = 0;                                               // 11
    virtual std::int32_t GetOptions(AsOptions* options) = 0;                           // 12
    virtual std::int32_t Reserved13() = 0;                                             // 13
    virtual std::int32_t GetValue(const char16_t* name, std::uint32_t* value, bool flag) = 0;  // 14
    virtual std::int32_t Reserved15() = 0;                                             // 15
    virtual std::int32_t SetValue(const char16_t* name, std::uint32_t value, bool flag) = 0;   // 16
    virtual std::int32_t Reserved17() = 0;                                             // 17
    virtual std::int32_t Reserved18() = 0;                                             // 18
    virtual std::int32_t Reserved19() = 0;                                             // 19
    virtual std::int32_t IsSpam(std::int32_t reserved, const char16_t* mailText) = 0;  // 20
    virtual std::int32_t Reserved21() = 0;                                             // 21
    virtual std::int32_t NotSpam(std::int32_t reserved, const char16_t* mailText) = 0;  // 22
    virtual std::int32_t Reserved23() = 0;                                             // 23
    virtual std::int32_t AddSpammer(std::int32_t reserved, const char16_t* mailText, bool flag) = 0;  // 24
    virtual std::int32_t Reserved25() = 0;                                             // 25
    virtual std::int32_t AddFriend(std::int32_t reserved, const char16_t* mailText, bool flag) = 0;   // 26
    virtual std::int32_t ShowSpammers(std::int32_t a, std::int32_t b) = 0;             // 27
    virtual std::int32_t ShowFriends(std::int32_t a, std::int32_t b) = 0;              // 28
    virtual std::int32_t ShowSettings(std::int32_t a, std::int32_t b) = 0;             // 29

protected:
    ~IAsClient() = default;  // destroyed through its own slot, never by delete
};

// The library's one export: "asCreateInstance", called with "IAsClient.2".
extern "C" {
using AsCreateInstanceFn = IAsClient* (*)(const char* interfaceName);
}

inline constexpr char kAsCreateInstanceName[] = "asCreateInstance";
inline constexpr char kAsClientInterfaceName[] = "IAsClient.2";
inline constexpr char16_t kAsClientLibrary[] = u"zkascl.dll";

}  // namespace qev
