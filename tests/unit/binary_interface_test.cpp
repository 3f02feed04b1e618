// The engine client, its observer and the product configuration object are
// reached through their virtual tables: a slot moved is a call to the wrong
// function in another vendor's library.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "engine/as_client.h"
#include "text/product_info_abi.h"

namespace {

// The slot of a virtual member function, read from its pointer-to-member
// (Itanium C++ ABI, as g++ and MinGW-w64 g++ lay it out: vtable offset + 1).
template <class F>
std::size_t Slot(F member)
{
    struct Raw {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    } raw;
    static_assert(sizeof(member) == sizeof(raw));
    std::memcpy(&raw, &member, sizeof raw);
    return (raw.ptr - 1) / sizeof(void*);
}

TEST(BinaryInterfaces, SlotOrders)
{
    using qev::IAsClient;
    const std::pair<std::size_t, std::size_t> client[] = {
        {Slot(&IAsClient::Release), 0},          {Slot(&IAsClient::Init), 1},
        {Slot(&IAsClient::GetSettings), 4},      {Slot(&IAsClient::GetServerStatus), 6},
        {Slot(&IAsClient::Advise), 7},           {Slot(&IAsClient::Unadvise), 8},
        {Slot(&IAsClient::SetConfigFile), 9},    {Slot(&IAsClient::Shutdown), 11},
        {Slot(&IAsClient::GetOptions), 12},      {Slot(&IAsClient::GetValue), 14},
        {Slot(&IAsClient::SetValue), 16},        {Slot(&IAsClient::IsSpam), 20},
        {Slot(&IAsClient::NotSpam), 22},         {Slot(&IAsClient::AddSpammer), 24},
        {Slot(&IAsClient::AddFriend), 26},       {Slot(&IAsClient::ShowSpammers), 27},
        {Slot(&IAsClient::ShowFriends), 28},     {Slot(&IAsClient::ShowSettings), 29},
    };
    for (const auto& [actual, expected] : client) EXPECT_EQ(actual, expected);

    using qev::IAsClientObs;
    EXPECT_EQ(Slot(&IAsClientObs::Destroy), 0u);
    EXPECT_EQ(Slot(&IAsClientObs::SetServerStatus), 1u);
    EXPECT_EQ(Slot(&IAsClientObs::OnImportSettings), 2u);
    EXPECT_EQ(Slot(&IAsClientObs::OnNotify), 3u);

    using qev::IProductInfo;
    EXPECT_EQ(Slot(&IProductInfo::Initialize), 1u);
    EXPECT_EQ(Slot(&IProductInfo::ReleaseInterface), 2u);
    EXPECT_EQ(Slot(&IProductInfo::Start), 3u);
    EXPECT_EQ(Slot(&IProductInfo::Stop), 4u);
    EXPECT_EQ(Slot(&IProductInfo::GetString), 6u);
    EXPECT_EQ(Slot(&IProductInfo::GetProductName), 7u);
    EXPECT_EQ(Slot(&qev::IZkObject::GetInterface), 0u);
}

}  // namespace
