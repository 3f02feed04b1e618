#include "host/fake/fake_ledger.h"

#include <gtest/gtest.h>

#include "host/com_error.h"
#include "host/variant.h"

namespace host::fake {
namespace {

class Thing final : public Counted<Object> {
public:
    static constexpr Iface kIface = Iface::Unknown;
    Thing(Ledger& ledger, std::string name) : Counted(ledger, "Thing", std::move(name)) {}
    Object* Query(Iface iface) noexcept override { return iface == Iface::Unknown ? Hand(this) : nullptr; }
};

TEST(Ledger, FindsReferencesNotGivenBackAndReleasesTooMany)
{
    struct Case {
        const char* what;
        int addRefs;
        int releases;
        std::vector<std::string> problems;
    };
    const Case cases[] = {
        {"untouched", 0, 0, {}},
        {"balanced", 3, 3, {}},
        {"one kept", 2, 1, {"Thing \"t\": 1 reference not released"}},
        {"two kept", 2, 0, {"Thing \"t\": 2 references not released"}},
        {"one too many", 1, 2, {"Thing \"t\": released 1 time more than referenced"}},
        {"never referenced", 0, 2, {"Thing \"t\": released 2 times more than referenced"}},
    };
    for (const Case& c : cases) {
        Ledger ledger;
        Thing thing(ledger, "t");
        for (int i = 0; i < c.addRefs; ++i) thing.AddRef();
        for (int i = 0; i < c.releases; ++i) thing.Release();
        EXPECT_EQ(ledger.Problems(), c.problems) << c.what;
        // An over-release never takes the world's own reference.
        EXPECT_GE(thing.References(), 1u) << c.what;
    }
}

TEST(Ledger, QueryAndRefsCountLikeCom)
{
    Ledger ledger;
    Thing a(ledger, "a");
    Thing b(ledger, "b");
    {
        Ref<Object> first = QueryAs<Thing>(&a);
        ASSERT_TRUE(first);
        EXPECT_EQ(a.References(), 2u);
        Ref<Object> copy = first;
        EXPECT_EQ(a.References(), 3u);
        EXPECT_FALSE(QueryAs<Stream>(&a));  // not answered: no reference taken
        EXPECT_EQ(a.References(), 3u);
        b.AddRef();  // held past the scope: a leak
    }
    EXPECT_EQ(ledger.Problems(), std::vector<std::string>{"Thing \"b\": 1 reference not released"});
    b.Release();
    EXPECT_TRUE(ledger.Problems().empty());
}

TEST(HostCalls, DeliversTheArmedFailureToTheNthCallOnly)
{
    constexpr HRESULT kHr = static_cast<HRESULT>(0x80070005u);
    HostCalls calls;
    calls.FailAt(3, kHr);
    EXPECT_NO_THROW(calls.Enter("a"));
    EXPECT_EQ(calls.Check("b"), S_OK);
    try {
        calls.Enter("c");
        ADD_FAILURE() << "call 3 did not fail";
    } catch (const ComError& e) {
        EXPECT_EQ(e.Error(), kHr);
    }
    EXPECT_TRUE(calls.Fired());
    EXPECT_EQ(calls.FiredAt(), "c #3");
    // Once delivered, the failure is spent.
    EXPECT_NO_THROW(calls.Enter("d"));
    EXPECT_EQ(calls.Count(), 4u);
}

TEST(HostCalls, EachKindOfCallSiteReceivesTheFailureInItsOwnForm)
{
    constexpr HRESULT kHr = E_FAIL;
    enum class Site { Enter, Check, CheckNoThrow };
    struct Case {
        Site site;
        bool throwMode;
        HRESULT result;          // Check / CheckNoThrow
        bool comError;           // Enter raises ComError
        bool injectedException;  // raises InjectedException
    };
    const Case cases[] = {
        {Site::Enter, false, S_OK, true, false},        {Site::Enter, true, S_OK, false, true},
        {Site::Check, false, kHr, false, false},        {Site::Check, true, S_OK, false, true},
        {Site::CheckNoThrow, false, kHr, false, false}, {Site::CheckNoThrow, true, E_UNEXPECTED, false, false},
    };
    for (const Case& c : cases) {
        HostCalls calls;
        if (c.throwMode)
            calls.ThrowAt(1);
        else
            calls.FailAt(1, kHr);
        HRESULT result = S_OK;
        bool comError = false;
        bool injected = false;
        try {
            switch (c.site) {
                case Site::Enter:
                    calls.Enter("x");
                    break;
                case Site::Check:
                    result = calls.Check("x");
                    break;
                case Site::CheckNoThrow:
                    result = calls.CheckNoThrow("x");
                    break;
            }
        } catch (const ComError&) {
            comError = true;
        } catch (const InjectedException&) {
            injected = true;
        }
        const int index = static_cast<int>(&c - cases);
        EXPECT_EQ(result, c.result) << index;
        EXPECT_EQ(comError, c.comError) << index;
        EXPECT_EQ(injected, c.injectedException) << index;
        EXPECT_TRUE(calls.Fired()) << index;
    }
}

}  // namespace
}  // namespace host::fake
