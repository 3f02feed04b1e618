// The instruments every release check and fault sweep stands on: if the
// ledger missed a kept reference or an armed failure never struck, those
// tests could not fail.
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

// Counts as COM does: a query that is answered adds a reference, one that is
// refused adds none.
TEST(Ledger, FindsReferencesNotGivenBackAndReleasesTooMany)
{
    struct Case {
        const char* what;
        int queries;  // answered QueryInterface calls, each a reference
        int refusedQueries;
        int releases;
        std::vector<std::string> problems;
    };
    const Case cases[] = {
        {"untouched", 0, 0, 0, {}},
        {"balanced", 3, 1, 3, {}},
        {"one kept", 2, 0, 1, {"Thing \"t\": 1 reference not released"}},
        {"two kept, a refused query takes none", 2, 3, 0, {"Thing \"t\": 2 references not released"}},
        {"one too many", 1, 0, 2, {"Thing \"t\": released 1 time more than referenced"}},
        {"never referenced", 0, 0, 2, {"Thing \"t\": released 2 times more than referenced"}},
    };
    for (const Case& c : cases) {
        Ledger ledger;
        Thing thing(ledger, "t");
        for (int i = 0; i < c.queries; ++i) QueryAs<Thing>(&thing).Detach();
        for (int i = 0; i < c.refusedQueries; ++i) EXPECT_FALSE(QueryAs<Stream>(&thing)) << c.what;
        for (int i = 0; i < c.releases; ++i) thing.Release();
        EXPECT_EQ(ledger.Problems(), c.problems) << c.what;
        // An over-release never takes the world's own reference.
        EXPECT_GE(thing.References(), 1u) << c.what;
    }
}

// The armed failure strikes the Nth call only, once, in the form its call
// site takes: a ComError, a returned HRESULT, or an injected exception.
TEST(HostCalls, TheArmedFailureStrikesTheNthCallOnceInItsSitesForm)
{
    enum class Site { Enter, Check, CheckNoThrow };
    struct Case {
        Site site;
        bool throwMode;
        HRESULT result;          // Check / CheckNoThrow
        bool comError;           // Enter raises ComError
        bool injectedException;  // raises InjectedException
    };
    const Case cases[] = {
        {Site::Enter, false, S_OK, true, false},           {Site::Enter, true, S_OK, false, true},
        {Site::Check, false, E_FAIL, false, false},        {Site::Check, true, S_OK, false, true},
        {Site::CheckNoThrow, false, E_FAIL, false, false}, {Site::CheckNoThrow, true, E_UNEXPECTED, false, false},
    };
    for (const Case& c : cases) {
        const int index = static_cast<int>(&c - cases);
        HostCalls calls;
        if (c.throwMode)
            calls.ThrowAt(3);
        else
            calls.FailAt(3, E_FAIL);
        EXPECT_NO_THROW(calls.Enter("a")) << index;
        EXPECT_EQ(calls.Check("b"), S_OK) << index;
        EXPECT_FALSE(calls.Fired()) << index;
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
        } catch (const ComError& e) {
            comError = e.Error() == E_FAIL;
        } catch (const InjectedException&) {
            injected = true;
        }
        EXPECT_EQ(result, c.result) << index;
        EXPECT_EQ(comError, c.comError) << index;
        EXPECT_EQ(injected, c.injectedException) << index;
        EXPECT_EQ(calls.FiredAt(), "x #3") << index;
        EXPECT_NO_THROW(calls.Enter("d")) << "spent after one strike " << index;
    }
}

}  // namespace
}  // namespace host::fake
