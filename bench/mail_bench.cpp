// What reading and filing mail costs: the mail text of large messages next to
// a plain copy of the same bytes, the spam-mark search in a megabyte of
// headers, and one new spam item filed end to end in a profile of 20 stores.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "addin/native/connect_object.h"
#include "addin/trace.h"
#include "host/fake/fake_message.h"
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

// An item of a new world whose message is given; the world lives as long as
// the benchmark.
struct OneItem {
    explicit OneItem(host::fake::Message message)
    {
        world.AddStore(u"a", u"Mailbox - Ann");
        world.Mail().Deliver(u"a", u"Inbox", std::move(message));
        item = host::QueryAs<host::MailItem>(world.Mail().Item(u"a", u"Inbox", 1).Get());
        qev::testing::ResetAddinProcess();
    }
    FakeWorld world;
    host::Ref<host::MailItem> item;
};

constexpr std::u16string_view kSmallHeaders =
    u"Received: from mx\r\nFrom: <ann@example.org>\r\nX-MarlowcrestWKS-Spam: No\r\n\r\n";

// One read of the item into the same string, as often as the benchmark
// runs; bytes is what the figure counts. The string is filled once before,
// as memcpy's destination is: the figure is the copying, not the system
// handing out fresh pages (which a first read of 100 MB would be made of).
template <class Read>
void ReadItem(benchmark::State& state, host::MailItem* item, std::size_t bytes, Read read)
{
    std::u16string text;
    read(item, text);
    for (auto _ : state) {
        read(item, text);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}

// Writes over a buffer larger than the processor's caches, so that the next
// pass reads its input from memory, as it reads a message just handed over
// by the store. A megabyte that stayed in the cache between passes is read
// faster than ten that cannot, by the copy as much as by the mail text; with
// every pass starting from memory the sizes compare the work itself.
void EvictCaches()
{
    constexpr std::size_t kBytes = 256 * kMegabyte;
    static std::vector<char> buffer(kBytes);
    static char fill = 0;
    std::memset(buffer.data(), ++fill, buffer.size());
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
}

// ReadItem with every pass starting from memory; the caches are written over
// while the clock is stopped.
template <class Read>
void ReadItemFromMemory(benchmark::State& state, host::MailItem* item, std::size_t bytes, Read read)
{
    std::u16string text;
    read(item, text);
    for (auto _ : state) {
        state.PauseTiming();
        EvictCaches();
        state.ResumeTiming();
        read(item, text);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}

// A message whose UTF-16 headers or plain UTF-16 body are state.range(0)
// megabytes, the other part small, read by read; the figure counts the
// large part's bytes.
template <class Read>
void LargeMessage(benchmark::State& state, bool largeHeaders, Read read, bool fromMemory = false)
{
    const std::u16string large = LinesOfText(static_cast<std::size_t>(state.range(0)));
    host::fake::Message message;
    message.SetUnicode(host::fake::kPrTransportHeadersW, largeHeaders ? large : std::u16string(kSmallHeaders));
    message.SetUnicode(host::fake::kPrBodyW, largeHeaders ? u"Buy\r\n" : large);
    OneItem one(std::move(message));
    if (fromMemory) {
        ReadItemFromMemory(state, one.item.Get(), large.size() * sizeof(char16_t), read);
    } else {
        ReadItem(state, one.item.Get(), large.size() * sizeof(char16_t), read);
    }
}

void MailTextOfLargeMessage(benchmark::State& state)
{
    LargeMessage(state, false, qev::Mail2Str_);
}
BENCHMARK(MailTextOfLargeMessage)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

// The same, each pass starting from memory: how the time grows with size.
void MailTextFromMemory(benchmark::State& state)
{
    LargeMessage(state, false, qev::Mail2Str_, true);
}
BENCHMARK(MailTextFromMemory)->Arg(1)->Arg(10)->Arg(100)->Iterations(30)->Unit(benchmark::kMillisecond);

void MailBodyOfLargeMessage(benchmark::State& state)
{
    LargeMessage(state, false, qev::MailBody2Str_);
}
BENCHMARK(MailBodyOfLargeMessage)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

void MailHeadersOfLargeMessage(benchmark::State& state)
{
    LargeMessage(state, true, qev::MailHeaders2Str_);
}
BENCHMARK(MailHeadersOfLargeMessage)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

// Mail2Str_ of a message stored in 8-bit: headers of 1 MB with bytes above
// 0x7F here and there, and an 8-bit HTML body of 9 MB, both widened. The
// figure counts the UTF-16 text made (two bytes a character).
void MailTextOfEightBitMessage(benchmark::State& state)
{
    const auto eightBit = [](std::size_t megabytes) {
        std::string text = host::fake::NarrowWindows1252(LinesOfText(megabytes * 2));
        for (std::size_t i = 0; i < text.size(); i += 4099) text[i] = static_cast<char>(0xE9);
        return text;
    };
    const std::string headers = eightBit(1);
    const std::string body = eightBit(9);
    host::fake::Message message;
    message.SetString8(host::fake::kPrTransportHeadersA, headers);
    message.SetString8(host::fake::kPrHtmlA, body);
    OneItem one(std::move(message));
    ReadItem(state, one.item.Get(), (headers.size() + body.size()) * sizeof(char16_t), qev::Mail2Str_);
}
BENCHMARK(MailTextOfEightBitMessage)->Unit(benchmark::kMillisecond);

// The floor: copying the same bytes once.
void MemcpyOfTheSameBytes(benchmark::State& state)
{
    const std::size_t bytes = static_cast<std::size_t>(state.range(0)) * kMegabyte;
    const std::vector<char> from(bytes, 'x');
    std::vector<char> to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}
BENCHMARK(MemcpyOfTheSameBytes)->Arg(1)->Arg(10)->Arg(20)->Arg(100)->Unit(benchmark::kMillisecond);

// The copy, each pass starting from memory.
void MemcpyFromMemory(benchmark::State& state)
{
    const std::size_t bytes = static_cast<std::size_t>(state.range(0)) * kMegabyte;
    const std::vector<char> from(bytes, 'x');
    std::vector<char> to(bytes);
    for (auto _ : state) {
        state.PauseTiming();
        EvictCaches();
        state.ResumeTiming();
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}
BENCHMARK(MemcpyFromMemory)->Arg(1)->Arg(10)->Arg(100)->Iterations(30)->Unit(benchmark::kMillisecond);

// memchr over the bytes of a megabyte of headers, for a byte that is not there.
void MemchrOfAMegabyte(benchmark::State& state)
{
    const std::vector<char> bytes(kMegabyte, 'x');
    for (auto _ : state) benchmark::DoNotOptimize(std::memchr(bytes.data(), 'X', bytes.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kMegabyte));
}
BENCHMARK(MemchrOfAMegabyte)->Unit(benchmark::kMicrosecond);

// A megabyte of headers whose last line is last, searched by search with
// the trace off.
template <class Search>
void SearchAMegabyteOfHeaders(benchmark::State& state, std::u16string_view last, Search search)
{
    std::u16string headers = LinesOfText(1);
    headers.resize(headers.size() - 80);
    headers += last;
    qev::TraceLevel = 0;
    for (auto _ : state) benchmark::DoNotOptimize(search(headers));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(headers.size() * sizeof(char16_t)));
}

// GetFrom_, the From line the last.
void SenderInAMegabyteOfHeaders(benchmark::State& state)
{
    std::u16string from;
    SearchAMegabyteOfHeaders(state, u"\r\nFrom: <ann@example.org>\r\n",
                             [&from](const std::u16string& headers) { return qev::GetFrom_(headers, from); });
}
BENCHMARK(SenderInAMegabyteOfHeaders)->Unit(benchmark::kMicrosecond);

// The engine's mark, on the last line.
void SpamTagInAMegabyteOfHeaders(benchmark::State& state)
{
    SearchAMegabyteOfHeaders(state, u"X-MarlowcrestWKS-Spam: No\r\n", qev::SpamFiling::SearchHeaderForSpamTag_);
}
BENCHMARK(SpamTagInAMegabyteOfHeaders)->Unit(benchmark::kMicrosecond);

// One new item's OnItemAdd_ in a profile of 20 stores, the item in the
// last store of the table: headers read, store found, Deleted Items and the
// spam folder opened, the item marked read and moved. Trace off.
void ItemAddIn20Stores(benchmark::State& state, std::u16string_view verdict)
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
    const std::u16string text = u"Received: from mx\r\nFrom: Ann <ann@example.org>\r\nSubject: offer\r\n" +
                                std::u16string(verdict) + u"\r\n\r\nBuy\r\n";

    // Items wait in a folder nobody watches and are handed to OnItemAdd_ as
    // the items event would hand them.
    constexpr std::size_t kBatch = 256;
    std::vector<host::Ref<host::Object>> items;
    std::size_t next = kBatch;
    std::size_t delivered = 0;
    for (auto _ : state) {
        if (next == kBatch) {
            state.PauseTiming();
            items.clear();
            const std::size_t before = world.FolderCounts(store, u"Arrivals").items;  // items not spam stay
            for (std::size_t i = 0; i < kBatch; ++i) world.Deliver(store, u"Arrivals", text);
            delivered += kBatch;
            for (std::size_t i = 1; i <= kBatch; ++i)
                items.push_back(world.Mail().Item(store, u"Arrivals", before + i));
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
    const bool spam = verdict.ends_with(u"Yes");
    if ((world.FolderCounts(store, u"Arrivals").items < delivered) != spam)
        state.SkipWithError(spam ? "nothing was filed" : "an item was filed");
}
// A fixed count for both: items that are not spam stay in the folder, and a
// folder of a million items would make the figure the folder's.
BENCHMARK_CAPTURE(ItemAddIn20Stores, Spam, u"X-MarlowcrestWKS-Spam: Yes")
    ->Iterations(20480)
    ->Unit(benchmark::kMicrosecond);
// The same for an item the engine found clean: read and left alone.
BENCHMARK_CAPTURE(ItemAddIn20Stores, NotSpam, u"X-MarlowcrestWKS-Spam: No")
    ->Iterations(20480)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
