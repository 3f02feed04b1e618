#include "host/fake/fake_outlook.h"

#include <gtest/gtest.h>

#include <functional>

#include "host/com_error.h"

namespace host::fake {
namespace {

class Sink final : public EventSink {
public:
    void OnEvent(std::int32_t, std::span<const Variant>) override {}
};

HRESULT ErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const ComError& e) {
        return e.Error();
    }
    return S_OK;
}

// IConnectionPoint as COM documents it: a cookie per subscription, never
// handed out again; Unadvise of a cookie that is not live and Advise or
// Unadvise on a point the object lacks answer CONNECT_E_NOCONNECTION, a null
// sink E_POINTER.
TEST(ConnectionPoints, CookiesAreUniquePerPointAndUnadviseChecksThem)
{
    ConnectionPoints points({EventInterface::ApplicationEvents, EventInterface::ExplorerEvents});
    Sink a;
    Sink b;
    EXPECT_EQ(points.Advise(EventInterface::ApplicationEvents, &a), 1u);
    EXPECT_EQ(points.Advise(EventInterface::ApplicationEvents, &b), 2u);
    EXPECT_EQ(points.Advise(EventInterface::ExplorerEvents, &a), 1u);  // its own numbering
    points.Unadvise(EventInterface::ApplicationEvents, 1);
    // A freed cookie is not handed out again.
    EXPECT_EQ(points.Advise(EventInterface::ApplicationEvents, &a), 3u);

    struct Case {
        const char* what;
        std::function<void()> call;
        HRESULT expected;
    };
    const Case cases[] = {
        {"unknown cookie", [&] { points.Unadvise(EventInterface::ApplicationEvents, 7); }, CONNECT_E_NOCONNECTION},
        {"cookie already ended", [&] { points.Unadvise(EventInterface::ApplicationEvents, 1); },
         CONNECT_E_NOCONNECTION},
        {"cookie of another point", [&] { points.Unadvise(EventInterface::ExplorerEvents, 2); },
         CONNECT_E_NOCONNECTION},
        {"advise on a point the object lacks", [&] { points.Advise(EventInterface::ItemsEvents, &a); },
         CONNECT_E_NOCONNECTION},
        {"unadvise on a point the object lacks", [&] { points.Unadvise(EventInterface::ItemsEvents, 1); },
         CONNECT_E_NOCONNECTION},
        {"null sink", [&] { points.Advise(EventInterface::ApplicationEvents, nullptr); }, E_POINTER},
    };
    for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.call), c.expected) << c.what;
    EXPECT_EQ(points.Subscriptions(EventInterface::ApplicationEvents), 2u);
    EXPECT_EQ(points.Live(), (std::vector<std::string>{"ApplicationEvents cookie 2", "ApplicationEvents cookie 3",
                                                       "ExplorerEvents cookie 1"}));
}

}  // namespace
}  // namespace host::fake
