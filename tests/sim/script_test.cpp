#include "sim/script.h"

#include <gtest/gtest.h>

#include <string>

namespace qev::sim {
namespace {

Statement One(std::string_view source)
{
    const std::vector<Statement> statements = ParseScenario(source);
    if (statements.size() != 1) throw std::runtime_error("expected one statement");
    return statements[0];
}

template <class T>
T As(std::string_view source)
{
    const Statement s = One(source);
    const T* action = std::get_if<T>(&s.action);
    if (!action) throw std::runtime_error("wrong statement kind for: " + std::string(source));
    return *action;
}

TEST(ScenarioParser, ReadsTheWorld)
{
    EXPECT_EQ(As<OutlookVersion>("outlook 16.0.0.1234").version, "16.0.0.1234");
    EXPECT_EQ(As<OutlookVersion>("outlook \"\"").version, "");
    EXPECT_EQ(As<OutlookVersion>("outlook none").version, std::nullopt);
    EXPECT_EQ(As<OutlookVersion>("outlook \"none\"").version, "none") << "a quoted none is a version string";
    EXPECT_EQ(As<ExplorerCount>("explorers 0").count, 0);

    const Marker unmarker = As<Marker>("unmarker disabled");
    EXPECT_EQ(unmarker.kind, MarkerKind::Disabled);
    EXPECT_FALSE(unmarker.present);
    EXPECT_TRUE(As<Marker>("marker trace").present);

    EXPECT_EQ(As<EngineLibraryState>("engine nofactory").state, EngineLibrary::NoFactory);
    EXPECT_FALSE(As<EngineStatus>("engine status down").up);

    const EngineSettings settings = As<EngineSettings>("engine settings f3=0 f1=0x1 f18=4294967295");
    EXPECT_EQ(settings.fields, (std::vector<SettingsField>{{1, 1}, {3, 0}, {18, 0xFFFFFFFFu}}));

    const EngineOptions options = As<EngineOptions>("engine options read=0");
    EXPECT_EQ(options.move, std::nullopt);
    EXPECT_EQ(options.read, 0u);

    const EngineValue value = As<EngineValue>("engine value BarPos 6");
    EXPECT_EQ(value.name, "BarPos");
    EXPECT_EQ(value.value, 6u);

    const Store store = As<Store>("store A \"Personal Folders\" unicode-rejected");
    EXPECT_EQ(store.displayName, "Personal Folders");
    EXPECT_TRUE(store.unicodeRejected);
    const Folder folder = As<Folder>("folder A \"Inbox/Sub\" itemtype=1");
    EXPECT_EQ(folder.path, "Inbox/Sub");
    EXPECT_EQ(folder.folderClass, 2);
    EXPECT_EQ(folder.itemType, 1);
}

TEST(ScenarioParser, SessionModesHaveTheirDefaults)
{
    struct Case {
        std::string_view source;
        SessionCall call;
        std::int32_t mode;
    };
    const Case cases[] = {
        {"connect", SessionCall::Connect, 1},
        {"connect 0", SessionCall::Connect, 0},
        {"connect -7", SessionCall::Connect, -7},
        {"disconnect", SessionCall::Disconnect, 0},
        {"disconnect 0x1", SessionCall::Disconnect, 1},
        {"startup", SessionCall::Startup, 0},
        {"quit", SessionCall::Quit, 0},
        {"beginshutdown", SessionCall::BeginShutdown, 0},
        {"addinsupdate", SessionCall::AddinsUpdate, 0},
    };
    for (const Case& c : cases) {
        const Statement s = One(c.source);
        const Session session = std::get<Session>(s.action);
        EXPECT_EQ(session.call, c.call) << c.source;
        EXPECT_EQ(session.mode, c.mode) << c.source;
        EXPECT_EQ(s.verb, SessionVerb(c.call)) << "the verb names the call in \"= VERB\" lines";
    }
}

TEST(ScenarioParser, ReadsNotificationsAndAssertions)
{
    const NotifySettings plain = As<NotifySettings>("notify settings f1=0 f3=1");
    EXPECT_EQ(plain.bytes, 48u);
    EXPECT_EQ(plain.fields, (std::vector<SettingsField>{{1, 0}, {3, 1}}));
    EXPECT_EQ(As<NotifySettings>("notify settings bytes=0").bytes, 0u);
    EXPECT_TRUE(As<NotifySettings>("notify settings bytes=49").fields.empty());
    EXPECT_FALSE(As<NotifyStatus>("notify status down").up);

    const ExpectResult result = As<ExpectResult>("expect result startup 0x80004005");
    EXPECT_EQ(result.call, SessionCall::Startup);
    EXPECT_EQ(result.hr, 0x80004005u);
    EXPECT_EQ(As<ExpectResult>("expect result connect -2147467259").hr, 0x80004005u);

    const ExpectEngine engine = As<ExpectEngine>("expect engine SetValue 4");
    EXPECT_EQ(engine.op, "SetValue");
    EXPECT_EQ(engine.count, 4);

    const ExpectTrace noTrace = As<ExpectTrace>(R"(expect no-trace "LoadCrashHandler")");
    EXPECT_FALSE(noTrace.present);
    EXPECT_EQ(noTrace.text, "LoadCrashHandler");
    EXPECT_EQ(As<ExpectTrace>("expect trace OnQuit_...ok").text, "OnQuit_...ok");

    const ExpectFolder folder = As<ExpectFolder>("expect folder A \"Deleted Items/Spam\" items=2 unread=0");
    EXPECT_EQ(folder.items, 2);
    EXPECT_EQ(folder.unread, 0);
    EXPECT_EQ(One("expect released").verb, "expect released");

    // Blank lines of the heredoc are skipped; the others keep their blanks.
    const ExpectOrder order = As<ExpectOrder>("expect order <<END\n< engine Shutdown\n\n> [as][qev]   Addin \nEND");
    EXPECT_EQ(order.lines, (std::vector<std::string>{"< engine Shutdown", "> [as][qev]   Addin "}));
}

TEST(ScenarioParser, ReadsMailAndExplorerStatements)
{
    const Deliver deliver = As<Deliver>(
        "deliver A \"Inbox\" read kind=meeting headers=stream-ansi body=object-model-html <<EOF\n"
        "X-MarlowcrestWKS-Spam: Yes\n\nhello\nEOF\n");
    EXPECT_TRUE(deliver.read);
    EXPECT_EQ(deliver.kind, ItemKind::Meeting);
    EXPECT_EQ(deliver.headers, HeadersForm::StreamAnsi);
    EXPECT_EQ(deliver.body, BodyForm::ObjectModelHtml);
    EXPECT_EQ(deliver.message, "X-MarlowcrestWKS-Spam: Yes\r\n\r\nhello\r\n");

    const Deliver plain = As<Deliver>("deliver A Inbox <<X\nbody\nX");
    EXPECT_FALSE(plain.read);
    EXPECT_EQ(plain.headers, HeadersForm::Unicode);
    EXPECT_EQ(plain.body, BodyForm::PlainUnicode);

    EXPECT_EQ(As<Select>("select A \"Inbox\" 1 3").items, (std::vector<std::int32_t>{1, 3}));
    EXPECT_TRUE(As<Select>("select A \"Inbox\"").items.empty());
    const Statement add = One("account add B \"Second\"");
    EXPECT_EQ(add.verb, "account add");
    EXPECT_EQ(std::get<Account>(add.action).displayName, "Second");
    EXPECT_EQ(As<Account>("account notify 5").code, 5);
    EXPECT_EQ(As<Click>("click AddFriend").command, "AddFriend");
    EXPECT_EQ(As<Wait>("wait 0x10").ms, 16u);
}

TEST(ScenarioParser, RejectsMalformedStatementsBeforeAnythingRuns)
{
    struct Case {
        std::string_view source;
        int line;
        std::string_view why;
    };
    const Case cases[] = {
        {"connect\nfrobnicate", 2, "unknown verb \"frobnicate\""},
        {"\"connect\"", 1, "begins with its verb"},
        {"outlook", 1, "missing version"},
        {"outlook 16.0 extra", 1, "unexpected argument \"extra\""},
        {"explorers -1", 1, "below 0"},
        {"explorers two", 1, "not a number"},
        {"marker everything", 1, "marker must be trace|disabled"},
        {"engine", 1, "missing"},
        {"engine sleepy", 1, "engine takes"},
        {"engine status sideways", 1, "status must be up|down"},
        {"engine settings", 1, "names no field"},
        {"engine settings f19=1", 1, "out of range"},
        {"engine settings f1=1 f01=2", 1, "given twice"},
        {"engine settings f1=1 f1=2", 1, "given twice"},
        {"engine settings f1=-1", 1, "out of range"},
        {"engine settings f1=0 fx=1", 1, "unknown option fx="},
        {"engine options", 1, "neither"},
        {"engine options move=1 copy=1", 1, "unknown option copy="},
        {"engine value zkch", 1, "missing value"},
        {"engine value zkch 0x100000000", 1, "out of range"},
        {"connect 1 2", 1, "unexpected argument"},
        {"connect 2147483648", 1, "out of range"},
        {"startup 0", 1, "unexpected argument"},
        {"quit now", 1, "unexpected argument"},
        {"notify status", 1, "missing status"},
        {"notify weather", 1, "notification must be"},
        {"notify settings bytes=-1", 1, "out of range"},
        {"notify settings f1=0 verbose=1", 1, "unknown option verbose="},
        {"click Delete", 1, "command must be"},
        {"wait", 1, "missing milliseconds"},
        {"select A \"Inbox\" 0", 1, "begin at 1"},
        {"account rename A", 1, "account change must be"},
        {"deliver A \"Inbox\"", 1, "heredoc"},
        {"deliver A \"Inbox\" unread <<EOF\nx\nEOF", 1, "unexpected argument \"unread\""},
        {"deliver A \"Inbox\" body=rtf <<EOF\nx\nEOF", 1, "body must be"},
        {"connect <<EOF\nEOF", 1, "only deliver and expect order take a heredoc"},
        {"expect trace x <<EOF\nEOF", 1, "only deliver and expect order take a heredoc"},
        {"expect order", 1, "heredoc"},
        {"expect order <<EOF\n  \nEOF", 1, "names no line"},
        {"expect order extra <<EOF\nx\nEOF", 1, "unexpected argument"},
        {"folder A", 1, "missing folder path"},
        {"store A \"Name\" readonly", 1, "unexpected argument"},
        {"expect", 1, "missing"},
        {"expect trace", 1, "missing trace text"},
        {"expect engine Frobnicate 1", 1, "unknown engine operation"},
        {"expect engine SetValue", 1, "missing call count"},
        {"expect result quit 0x0", 1, "quit is an event"},
        {"expect result deliver 0x0", 1, "no session verb"},
        {"expect result connect 0x100000000", 1, "out of range"},
        {"expect result connect", 1, "missing HRESULT"},
        {"expect released now", 1, "unexpected argument"},
        {"expect folder A \"Inbox\"", 1, "items=N"},
        {"expect folder A \"Inbox\" items=1 unread=x", 1, "not a number"},
        {"expect everything", 1, "expect takes"},
        {"connect\nstartup\n\n# fine so far\nexpect trace \"x", 5, "unterminated"},
    };
    for (const Case& c : cases) {
        try {
            ParseScenario(c.source);
            ADD_FAILURE() << "accepted: " << c.source;
        } catch (const ScenarioError& e) {
            EXPECT_EQ(e.Line(), c.line) << c.source;
            EXPECT_NE(std::string(e.what()).find(c.why), std::string::npos) << c.source << " -> " << e.what();
        }
    }
}

}  // namespace
}  // namespace qev::sim
