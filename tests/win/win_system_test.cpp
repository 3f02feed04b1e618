// WinSystem over the real shell, file system, message table and code pages,
// and the trace marker check on top of it.

#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "addin/trace.h"
#include "host/com_error.h"
#include "host/ole_date.h"
#include "host/system.h"
#include "host/win/win_system.h"

namespace {

const wchar_t* W(const std::u16string& text)
{
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string U(const wchar_t* text)
{
    return reinterpret_cast<const char16_t*>(text);
}

std::u16string EnvironmentValue(const wchar_t* name)
{
    wchar_t value[MAX_PATH * 2] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH * 2);
    return length && length < MAX_PATH * 2 ? U(value) : std::u16string();
}

TEST(WinSystem, RoamingFolderIsTheShellsAppData)
{
    const std::optional<std::u16string> folder = host::Sys().RoamingAppDataFolder();
    ASSERT_TRUE(folder.has_value());
    EXPECT_EQ(*folder, EnvironmentValue(L"APPDATA"));
    const DWORD attributes = GetFileAttributesW(W(*folder));
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(WinSystem, PathExistsForFilesAndDirectories)
{
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    const std::u16string dir = U(temp) + u"qev_path_test";
    const std::u16string file = dir + u"\\file.txt";
    RemoveDirectoryW(W(dir));
    ASSERT_TRUE(CreateDirectoryW(W(dir), nullptr));
    HANDLE handle = CreateFileW(W(file), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    CloseHandle(handle);

    const struct {
        std::u16string path;
        bool exists;
    } cases[] = {
        {dir, true},
        {dir + u"\\", true},
        {file, true},
        {dir + u"\\missing.txt", false},
        {file + u"\\below_a_file", false},
        {u"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(host::Sys().PathExists(c.path), c.exists) << std::string(c.path.begin(), c.path.end());
    }

    DeleteFileW(W(file));
    RemoveDirectoryW(W(dir));
}

// Creates the product's profile folder as far as it is missing, and removes
// what it created (and the marker) afterwards; the trace level is restored.
class TraceMarker : public testing::Test {
protected:
    void SetUp() override
    {
        m_savedLevel = qev::TraceLevel;
        const std::optional<std::u16string> appData = host::Sys().RoamingAppDataFolder();
        ASSERT_TRUE(appData.has_value());
        std::u16string path = *appData;
        for (const char16_t* part : {u"\\Marlowcrest", u"\\Desktop", u"\\Profiles"}) {
            path += part;
            if (CreateDirectoryW(W(path), nullptr)) m_created.push_back(path);
        }
        m_profile = path;
        if (host::Sys().PathExists(Marker())) GTEST_SKIP() << "a trace marker is already present in this profile";
    }

    void TearDown() override
    {
        RemoveMarker();
        for (auto it = m_created.rbegin(); it != m_created.rend(); ++it) RemoveDirectoryW(W(*it));
        qev::TraceLevel = m_savedLevel;
    }

    std::u16string Marker() const { return m_profile + u"\\as.trace"; }

    void RemoveMarker()
    {
        DeleteFileW(W(Marker()));
        RemoveDirectoryW(W(Marker()));
    }

private:
    std::int32_t m_savedLevel = 0;
    std::u16string m_profile;
    std::vector<std::u16string> m_created;
};

TEST_F(TraceMarker, FileOrDirectoryRaisesTheLevelAndNothingLowersIt)
{
    enum class Make { Nothing, File, Directory };
    const struct {
        const char* name;
        Make make;
        std::int32_t before;
        std::int32_t after;
    } cases[] = {
        {"no marker", Make::Nothing, 0, 0},
        {"marker file", Make::File, 0, 5},
        {"marker directory", Make::Directory, 0, 5},
        {"no marker, already on", Make::Nothing, 5, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.make == Make::File) {
            HANDLE handle = CreateFileW(W(Marker()), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(handle, INVALID_HANDLE_VALUE);
            CloseHandle(handle);
        } else if (c.make == Make::Directory) {
            ASSERT_TRUE(CreateDirectoryW(W(Marker()), nullptr));
        }
        qev::TraceLevel = c.before;
        qev::ReadTraceMarker();
        EXPECT_EQ(qev::TraceLevel, c.after);
        EXPECT_EQ(qev::ProfileMarkerExists(qev::kTraceMarker), c.make != Make::Nothing);
        EXPECT_FALSE(qev::ProfileMarkerExists(qev::kDisableMarker));
        RemoveMarker();
    }
}

TEST(WinSystem, SystemMessageAsTheTableHoldsIt)
{
    const std::optional<std::u16string> text = host::Sys().SystemMessage(E_ACCESSDENIED);
    ASSERT_TRUE(text.has_value());
    ASSERT_GT(text->size(), 2u);
    EXPECT_EQ(text->substr(text->size() - 2), u"\r\n");
    EXPECT_NE(text->find(u"denied"), std::u16string::npos);

    // The COM error's text is the same without its line end.
    const std::u16string stripped = text->substr(0, text->size() - 2);
    EXPECT_EQ(host::ComErrorMessageText(E_ACCESSDENIED), stripped);
    EXPECT_EQ(host::ComError(E_ACCESSDENIED).ErrorMessage(), stripped);
}

TEST(WinSystem, CodesWithoutSystemTextGetTheFallbackText)
{
    const struct {
        std::uint32_t code;
        std::u16string text;
    } cases[] = {
        {0x80040205u, u"IDispatch error #5"},
        {0x80040201u, u"IDispatch error #1"},
        {0x80040200u, u"Unknown error 0x80040200"},
        {0xDEADBEEFu, u"Unknown error 0xDEADBEEF"},
    };
    for (const auto& c : cases) {
        const auto hr = static_cast<HRESULT>(c.code);
        SCOPED_TRACE(testing::Message() << std::hex << c.code);
        EXPECT_FALSE(host::Sys().SystemMessage(hr).has_value());
        EXPECT_EQ(host::ComErrorMessageText(hr), c.text);
    }
}

TEST(WinSystem, WidenByCodePage)
{
    using namespace std::string_literals;
    const struct {
        std::string bytes;
        unsigned codePage;
        std::u16string wide;
    } cases[] = {
        {"", 0, u""},
        {"OnConnection", 0, u"OnConnection"},
        {"a\0b"s, 1252, u"a\0b"s},  // the length is the view's, not up to a zero
        {"caf\xe9 \x80", 1252, u"caf\u00e9 \u20ac"},
        {"caf\xc3\xa9", CP_UTF8, u"caf\u00e9"},
        {"\xff", CP_UTF8, u"\ufffd"},
        {"\x82\xa0", 932, u"\u3042"},  // a double-byte code page
        {"\xe9", 1251, u"\u0439"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "code page " << c.codePage << ", " << c.bytes.size() << " bytes");
        EXPECT_EQ(host::Sys().Widen(c.bytes, c.codePage), c.wide);
    }

    // Code page 0 is the system's ANSI code page.
    const std::string high = "\x80\xa9\xe9\xfe";
    EXPECT_EQ(host::Sys().Widen(high, 0), host::Sys().Widen(high, GetACP()));
}

// A filter's date in the user's formats, which Outlook reads it by: read
// back with the same locale it is the same minute (day and month both 12 or
// less, so that the form of another country would name another day), and it
// has no seconds, which Outlook's filters do not take.
TEST(WinSystem, FilterDateReadsBackByLocale)
{
    const double date = host::OleDateOf({2026, 12, 5, 15, 4, 59});
    const double minute = host::OleDateOf({2026, 12, 5, 15, 4, 0});
    for (const wchar_t* locale : {L"en-US", L"en-GB", L"de-DE", L"fr-FR", L"ja-JP"}) {
        SCOPED_TRACE(testing::Message() << std::string(locale, locale + wcslen(locale)));
        auto text = host::win::FilterDateIn(locale, date);
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(text->find(u"59"), std::u16string::npos);
        std::wstring wide(text->begin(), text->end());
        DATE back = 0;
        ASSERT_EQ(VarDateFromStr(wide.data(), LocaleNameToLCID(locale, 0), 0, &back), S_OK);
        EXPECT_DOUBLE_EQ(back, minute);
    }
    EXPECT_FALSE(host::win::FilterDateIn(L"xx-nowhere", date).has_value());
}

}  // namespace
