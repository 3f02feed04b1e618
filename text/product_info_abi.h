// The product configuration library's binary interface (IPrefVault.dll):
// ZkCreateObject / ZkDestroyObject and the "productinfo" object.
#pragma once

#include <cstdint>

namespace qev {

// A 16-byte interface id, laid out as a GUID.
struct ZkIid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};
static_assert(sizeof(ZkIid) == 16);

inline bool operator==(const ZkIid& a, const ZkIid& b)
{
    if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.data4[i] != b.data4[i]) return false;
    return true;
}

// The object ZkCreateObject makes, and the interface it gives.
inline constexpr ZkIid kIidZkObject = {0x5d0c81a3, 0x2f47, 0x4c1e, {0x9b, 0x6a, 0x31, 0x8e, 0x02, 0xd4, 0x77, 0xc5}};
inline constexpr ZkIid kIidProductInfo = {0x8a1f3e52, 0x6c09, 0x4d8b, {0xa2, 0x4f, 0xe7, 0x13, 0x5b, 0x90, 0x3c, 0x6e}};

class IProductInfo {
public:
    virtual std::int32_t Reserved0() = 0;                                                       // 0
    virtual std::int32_t Initialize(std::uint32_t flags) = 0;                                   // 1
    virtual void ReleaseInterface() = 0;                                                        // 2
    virtual std::int32_t Start() = 0;                                                           // 3
    virtual void Stop() = 0;                                                                    // 4
    virtual std::int32_t Reserved5() = 0;                                                       // 5
    virtual const char16_t* GetString(std::uint32_t number, const char16_t* component) = 0;     // 6
    virtual const char16_t* GetProductName() = 0;                                               // 7

protected:
    ~IProductInfo() = default;  // destroyed through its own slot, never by delete
};

class IZkObject {
public:
    virtual IProductInfo* GetInterface(const ZkIid* iid) = 0;  // 0

protected:
    ~IZkObject() = default;  // destroyed through its own slot, never by delete
};

extern "C" {
using ZkCreateObjectFn = std::int32_t (*)(const char16_t* objectName, const ZkIid* iid, IZkObject** object);
using ZkDestroyObjectFn = void (*)(const char16_t* objectName, IZkObject* object);
}

inline constexpr char16_t kProductInfoLibrary[] = u"IPrefVault.dll";
inline constexpr char16_t kProductInfoObject[] = u"productinfo";
inline constexpr char16_t kProductComponent[] = u"Desktop";
inline constexpr std::uint32_t kStringProductFolder = 400;
inline constexpr std::uint32_t kStringProductRegistryKey = 202;

}  // namespace qev
