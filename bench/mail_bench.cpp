// What reading and filing mail costs: the mail text of large messages next to
// a plain copy of the same bytes, the spam-mark search in a megabyte of
// headers, and one new spam item filed end to end in a profile of 20 stores.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "addin/native/connect_object.h"
#include "addin/trace.h"
#include "host/fake/fake_world.h"
#include "mail/message_text.h"
#include "tests/support/addin_process.h"

namespace {

using host::fake::FakeWorld;

constexpr std::size_t kMegabyte = 1024 * 1024;

// state.range(0) megabytes of UTF-16 text in lines of 80 units, each ending in CR LF.
std::u16string LinesOfText(std::size_t megabytes)
{
    const std::size_t units = megabytes * kMegabyte / sizeof(char16_t);
    std::u16string text;
    text.reserve(units);
    std::u16string line(78, u'x');
    for (std::size_t i = 0; text.size() + 80 <= units; ++i) {
        line[i % 78] = static_cast<char16_t>(u'a' + i % 26);
        text.append(line).append(u"\r\n");
    }
    return text;
}

// Mail2Str_ of a message whose plain UTF-16 body is that large.
void MailTextOfLargeMessage(benchmark::State& state)
{
    const std::u16string body = LinesOfText(static_cast<std::size_t>(state.range(0)));
    FakeWorld world;
    world.AddStore(u"a", u"Mailbox - Ann");
    host::fake::Message message;
    message.SetUnicode(host::fake::kPrTransportHeadersW,
                       u"Received: from mx\r\nFrom: <ann@example.org>\r\nX-MarlowcrestWKS-Spam: No\r\n\r\n");
    message.SetUnicode(host::fake::kPrBodyW, body);
    world.Mail().Deliver(u"a", u"Inbox", std::move(message));
    const auto item = host::QueryAs<host::MailItem>(world.Mail().Item(u"a", u"Inbox", 1).Get());
    qev::testing::ResetAddinProcess();
    std::u16string text;
    for (auto _ : state) {
        qev::Mail2Str_(item.Get(), text);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(body.size() * sizeof(char16_t)));
}
BENCHMARK(MailTextOfLargeMessage)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

// The floor: copying the same bytes once.
void MailTextMemcpyOfTheSameBytes(benchmark::State& state)
{
    const std::u16string body = LinesOfText(static_cast<std::size_t>(state.range(0)));
    std::u16string copy(body.size(), u'\0');
    for (auto _ : state) {
        std::memcpy(copy.data(), body.data(), body.size() * sizeof(char16_t));
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(body.size() * sizeof(char16_t)));
}
BENCHMARK(MailTextMemcpyOfTheSameBytes)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

// The engine's mark on the last line of a megabyte of headers, trace off.
void SpamTagInAMegabyteOfHeaders(benchmark::State& state)
{
    std::u16string headers = LinesOfText(1);
    headers.resize(headers.size() - 80);
    headers += u"X-MarlowcrestWKS-Spam: No\r\n";
    qev::TraceLevel = 0;
    for (auto _ : state) benchmark::DoNotOptimize(qev::SpamFiling::SearchHeaderForSpamTag_(headers));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(headers.size() * sizeof(char16_t)));
}
BENCHMARK(SpamTagInAMegabyteOfHeaders)->Unit(benchmark::kMicrosecond);

// One spam item's OnItemAdd_ in a profile of 20 stores, the item in the
// last store of the table: headers read, store found, Deleted Items and the
// spam folder opened, the item marked read and moved. Trace off.
void SpamItemAddIn20Stores(benchmark::State& state)
{
    FakeWorld world;
    for (int i = 1; i <= 20; ++i) {
        world.AddStore(u"s" + std::u16string(1, static_cast<char16_t>(u'A' + i - 1)), u"Mailbox");
    }
    const std::u16string store = u"sT";
    world.AddFolder(store, u"Arrivals");
    world.SetEngineSetting(3, 1);
    world.SetEngineOption(qev::kOptionMoveToSpamFolder, 1);
    world.SetEngineOption(qev::kOptionMarkAsRead, 1);
    qev::TraceLevel = 0;
    auto* addin = new qev::ConnectObject(world.Services());
    qev::CConnect& connect = addin->Connect();
    connect.OnConnection(&world.Application(), qev::kConnectStartup, &world.AddInInstance());
    const std::u16string text =
        u"Received: from mx\r\nFrom: Ann <ann@example.org>\r\nSubject: offer\r\nX-MarlowcrestWKS-Spam: "
        u"Yes\r\n\r\nBuy\r\n";

    // Items wait in a folder nobody watches and are handed to OnItemAdd_ as
    // the items event would hand them.
    constexpr std::size_t kBatch = 256;
    std::vector<host::Ref<host::Object>> items;
    std::size_t next = kBatch;
    for (auto _ : state) {
        if (next == kBatch) {
            state.PauseTiming();
            items.clear();
            for (std::size_t i = 0; i < kBatch; ++i) world.Deliver(store, u"Arrivals", text);
            for (std::size_t i = 1; i <= kBatch; ++i) items.push_back(world.Mail().Item(store, u"Arrivals", i));
            next = 0;
            state.ResumeTiming();
        }
        connect.Filing().OnItemAdd_(items[next++].Get());
    }
    items.clear();
    connect.OnBeginShutdown();
    world.Quit();
    connect.OnDisconnection(0);
    addin->Release();
    qev::testing::ResetAddinProcess();
    if (world.FolderCounts(store, u"Deleted Items/Spam").items == 0) state.SkipWithError("nothing was filed");
}
BENCHMARK(SpamItemAddIn20Stores)->Unit(benchmark::kMicrosecond);

}  // namespace
