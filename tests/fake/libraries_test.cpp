#include "host/fake/fake_libraries.h"

#include <gtest/gtest.h>

namespace host::fake {
namespace {

int Answer()
{
    return 42;
}

void* Fn()
{
    return reinterpret_cast<void*>(&Answer);
}

// LoadLibrary and GetProcAddress: one module per file whatever the spelling
// of its path, counted loads, ERROR_MOD_NOT_FOUND and ERROR_PROC_NOT_FOUND.
TEST(FakeLibraries, LoadCountsLikeLoadLibrary)
{
    HostCalls calls;
    FakeLibraries libraries(calls);
    libraries.Install(u"C:\\P\\lib.dll", {{"Answer", Fn()}});
    HRESULT error = S_OK;

    LibraryHandle first = libraries.Load(u"C:\\P\\lib.dll", false, &error);
    ASSERT_TRUE(first);
    // Case, slashes and doubled backslashes do not make another library.
    LibraryHandle second = libraries.Load(u"c:/p\\\\LIB.DLL", true, &error);
    EXPECT_EQ(second, first);
    EXPECT_EQ(libraries.LoadCount(u"C:\\P\\lib.dll"), 2u);
    EXPECT_EQ(libraries.Loaded(u"LIB.dll"), first);

    void* symbol = libraries.Symbol(first, "Answer", &error);
    ASSERT_TRUE(symbol);
    EXPECT_EQ(reinterpret_cast<int (*)()>(symbol)(), 42);
    EXPECT_EQ(libraries.Symbol(first, "Missing", &error), nullptr);
    EXPECT_EQ(error, kHrProcNotFound);

    libraries.Free(first);
    EXPECT_EQ(libraries.Loaded(u"lib.dll"), first);  // one load left
    libraries.Free(second);
    EXPECT_EQ(libraries.Loaded(u"lib.dll"), nullptr);
    EXPECT_TRUE(libraries.Faults().empty());
    // Through a handle no longer loaded: recorded, nothing else.
    libraries.Free(first);
    EXPECT_EQ(libraries.Symbol(first, "Answer", &error), nullptr);
    EXPECT_EQ(error, kHrInvalidHandle);
    EXPECT_EQ(libraries.Faults().size(), 2u);

    EXPECT_EQ(libraries.Load(u"C:\\P\\other.dll", false, &error), nullptr);
    EXPECT_EQ(error, kHrModNotFound);
}

TEST(FakeLibraries, ResourcesAnswerAsTheLoaderDoes)
{
    HostCalls calls;
    FakeLibraries libraries(calls);
    libraries.Install(u"C:\\P\\ui.dll", {}, {{{ResourceType::Png, 208}, {1, 2, 3}}, {{ResourceType::Bitmap, 200}, {}}});
    LibraryHandle module = libraries.Load(u"C:\\P\\ui.dll", false, nullptr);
    ASSERT_TRUE(module);
    struct Case {
        ResourceType type;
        std::uint32_t id;
        HRESULT result;
        std::vector<std::uint8_t> bytes;
    } const cases[] = {
        {ResourceType::Png, 208, S_OK, {1, 2, 3}},
        {ResourceType::Bitmap, 200, S_OK, {}},
        {ResourceType::Png, 209, kHrResourceNameNotFound, {}},
        {ResourceType::StringTable, 19, kHrResourceTypeNotFound, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> out = {9};
        EXPECT_EQ(libraries.Resource(module, c.type, c.id, out), c.result) << c.id;
        EXPECT_EQ(out, c.bytes) << c.id;
    }
    // Replacing the file does not change the loaded module; a freed one answers nothing.
    libraries.Install(u"C:\\P\\ui.dll", {}, {});
    std::vector<std::uint8_t> out;
    EXPECT_EQ(libraries.Resource(module, ResourceType::Png, 208, out), S_OK);
    libraries.Free(module);
    EXPECT_EQ(libraries.Resource(module, ResourceType::Png, 208, out), kHrInvalidHandle);
    EXPECT_EQ(libraries.Faults().size(), 1u);
}

// GetDllDirectoryW's documented returns: the length without the terminator
// when it fits, the size needed with it when it does not; an empty or null
// SetDllDirectoryW restores the default search order.
TEST(FakeLibraries, DllDirectoryFunctionsKeepTheirContract)
{
    HostCalls calls;
    FakeLibraries libraries(calls);
    HRESULT error = S_OK;
    LibraryHandle kernel = libraries.Loaded(u"kernel32.dll");
    auto get = reinterpret_cast<GetDllDirectoryFn>(libraries.Symbol(kernel, "GetDllDirectoryW", &error));
    auto set = reinterpret_cast<SetDllDirectoryFn>(libraries.Symbol(kernel, "SetDllDirectoryW", &error));
    ASSERT_TRUE(get && set);

    struct Case {
        const char16_t* set;  // what SetDllDirectoryW is given
        std::uint32_t bufferLength;
        std::uint32_t result;
        std::u16string buffer;  // up to the first zero
        std::optional<std::u16string> state;
    };
    const Case cases[] = {
        {u"C:\\Dir", 260, 6, u"C:\\Dir", u"C:\\Dir"},
        {u"C:\\Dir", 7, 6, u"C:\\Dir", u"C:\\Dir"},  // exactly room for the terminator
        {u"C:\\Dir", 6, 7, u"", u"C:\\Dir"},         // one short: the size needed
        {u"C:\\Dir", 0, 7, u"x", u"C:\\Dir"},        // no buffer at all: untouched
        {nullptr, 260, 0, u"", std::nullopt},        // null: the default order
        {u"", 260, 0, u"", std::nullopt},            // empty: the default order too
    };
    for (const Case& c : cases) {
        set(u"C:\\Before");
        EXPECT_EQ(set(c.set), 1);
        char16_t buffer[260] = {u'x', 0};
        EXPECT_EQ(get(c.bufferLength, buffer), c.result) << c.bufferLength;
        EXPECT_EQ(std::u16string(buffer), c.buffer) << c.bufferLength;
        EXPECT_EQ(libraries.DllDirectory(), c.state);
    }

    // Systems before these functions: the add-in must do without them.
    libraries.SetDllDirectoryExports(false);
    EXPECT_EQ(libraries.Symbol(kernel, "GetDllDirectoryW", &error), nullptr);
    EXPECT_EQ(error, kHrProcNotFound);
    EXPECT_EQ(libraries.Symbol(kernel, "SetDllDirectoryW", &error), nullptr);
}

}  // namespace
}  // namespace host::fake
