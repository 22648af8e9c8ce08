// The redirect service's answer becomes the download address only when the
// transport policy takes it; every other answer leaves the configured address, and
// the log says why. The service is the loopback HTTP peer, which answers 302 with
// the Location given in the query.
#include "Window/RedirectQuery.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HttpTestSupport.h"
#include "LogCapture.h"
#include "TestSupport.h"

namespace {

const wchar_t kConfigured[] = L"https://download.vantelo.example/pexar/VanteloPexarSetup.exe";

class RedirectAnswer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(service.Ready()) << "the http-peer fixture is not running"; }

    // The service's address that answers with this Location.
    std::wstring ServiceAnswering(const std::string& location) const
    {
        static const char kHex[] = "0123456789ABCDEF";
        std::string query;
        for (unsigned char c : location) {
            query += '%';
            query += kHex[c >> 4];
            query += kHex[c & 15];
        }
        return service.Url(L"http", "/redirect-service?" + query);
    }

    std::wstring Resolve(const std::string& location, const std::vector<std::wstring>& hosts = {}) const
    {
        return ResolveDownloadUrl(ServiceAnswering(location), kConfigured, hosts);
    }

    TestServer service{L"http-peer"};
};

}  // namespace

TEST_F(RedirectAnswer, AnAbsoluteHttpsAddressBecomesTheDownloadAddress)
{
    LogCapture log;
    EXPECT_EQ(L"https://cdn.example/files/setup.exe?v=2", Resolve("https://cdn.example/files/setup.exe?v=2"));
    EXPECT_TRUE(log.Contains("get redirect Url:https://cdn.example/files/setup.exe?v=2")) << log.Text();
    EXPECT_EQ(L"https://CDN.example:8443/x.exe",
              Resolve("https://CDN.example:8443/x.exe", {L"download.vantelo.example", L"cdn.example"}));
}

TEST_F(RedirectAnswer, EveryOtherAnswerLeavesTheConfiguredAddressAndSaysWhy)
{
    struct Case {
        const char* location;
        const char* reason;
    };
    const Case cases[] = {
        {"http://cdn.example/files/setup.exe", "it is not an https address"},
        {"file:///C:/Users/Public/setup.exe", "its scheme is neither https nor http"},
        {"\\\\attacker.example\\share\\setup.exe", "it holds a blank, a control character or a backslash"},
        {"//cdn.example/files/setup.exe", "it is not an absolute address"},
        {"/files/setup.exe", "it is not an absolute address"},
        {"setup.exe", "it is not an absolute address"},
        {"https://cdn.example@attacker.example/setup.exe", "it carries user information"},
    };
    for (const Case& c : cases) {
        LogCapture log;
        EXPECT_EQ(kConfigured, Resolve(c.location)) << c.location;
        EXPECT_TRUE(log.Contains(std::string("redirect answer refused, ") + c.reason + ": ")) << log.Text();
        EXPECT_TRUE(log.Contains("; downloading from STR_DOWN_URL")) << log.Text();
        EXPECT_FALSE(log.Contains("get redirect Url:")) << log.Text();
    }
}

TEST_F(RedirectAnswer, AnHttpsAddressOffTheAllowedHostsIsRefused)
{
    LogCapture log;
    EXPECT_EQ(kConfigured, Resolve("https://attacker.example/setup.exe", {L"download.vantelo.example"}));
    EXPECT_TRUE(log.Contains("redirect answer refused, its host is not one of the allowed download hosts: "
                             "https://attacker.example/setup.exe;"))
        << log.Text();
}

TEST_F(RedirectAnswer, NoUsableAnswerLeavesTheConfiguredAddress)
{
    LogCapture log;
    // The peer has no script for this path: 404.
    EXPECT_EQ(kConfigured, ResolveDownloadUrl(service.Url(L"http", "/no-such-service"), kConfigured, {}));
    // Nothing listens on port 9: no answer at all.
    EXPECT_EQ(kConfigured, ResolveDownloadUrl(L"http://127.0.0.1:9/redirect", kConfigured, {}));
    EXPECT_EQ(2u, log.Count("no answer from the redirect service, downloading from STR_DOWN_URL")) << log.Text();
    EXPECT_EQ(kConfigured, ResolveDownloadUrl(L"", kConfigured, {})) << "no service configured";
}

TEST_F(RedirectAnswer, AnAnswerWithControlCharactersCannotForgeLogLines)
{
    LogCapture log;
    EXPECT_EQ(kConfigured, Resolve("https://cdn.example/a\tb.exe"));
    std::string text = log.Text();
    EXPECT_TRUE(log.Contains("https://cdn.example/a?b.exe")) << text;
}

TEST(SplitUrl, TakesTheHostUpToTheFirstSlashAndThePathAfterIt)
{
    std::wstring host = L"old host", path = L"old path";
    EXPECT_TRUE(SplitUrl(L"http://127.0.0.1:48080/redirect?key=download", host, path));
    EXPECT_EQ(L"127.0.0.1:48080", host);
    EXPECT_EQ(L"redirect?key=download", path);
    EXPECT_TRUE(SplitUrl(L"https://download.vantelo.example/", host, path));
    EXPECT_EQ(L"download.vantelo.example", host);
    EXPECT_EQ(L"", path);

    host = L"kept";
    path = L"kept too";
    EXPECT_FALSE(SplitUrl(L"https://download.vantelo.example", host, path));
    EXPECT_TRUE(SplitUrl(L"ftp://files.example/a", host, path));
    EXPECT_TRUE(SplitUrl(L"HTTP://upper.example/a", host, path));
    EXPECT_EQ(L"kept", host);
    EXPECT_EQ(L"kept too", path);
}
