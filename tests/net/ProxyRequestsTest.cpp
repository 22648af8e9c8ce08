// Every request of the program through a real proxy (squid, started by the ctest
// fixture): the download's size query and segments on both stacks, the redirect
// query and the analytics event; a fixed proxy, a bypass list, a PAC script, the
// machine-wide setting, and a proxy that asks for a Basic login. Each request is
// proven to have gone through squid from squid's own access log.
#include <gtest/gtest.h>

#include <chrono>

#include "ProxyTestSupport.h"
#include "TestSupport.h"
#include "Window/RedirectQuery.h"
#include "common/GA.h"
#include "http/HttpInterface.h"
#include "net/ProxyCredentialStore.h"
#include "tool/BaseRequest.h"
#include "tool/HttpDownload.h"

namespace {

constexpr int kFileSize = 300000;

std::string Narrow(const std::wstring& text) { return ToUtf8(text); }

class ProxyRequests : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(harness.Ready()) << "the squid harness did not start";
        DownloadTesting::SetFailureCounters(0, 0);
        DownloadTesting::SetRetryPause(50);
    }
    void TearDown() override
    {
        CBaseRequest::SetBrokenBackEndForTesting(nullptr);
        DownloadTesting::SetFailureCounters(0, 0);
    }

    // Downloads /files/<kFileSize>.bin in 5 segments; true when the file is whole.
    bool Download(const std::wstring& url)
    {
        TempFolder folder;
        DownloadParam param;
        param.nDownloadThread = 5;
        param.strDownloadUrl = url;
        param.strSavePath = folder.Path() + L"\\file.bin";
        CDownloadCancel cancel;
        bool done = HttpDownload(&param, nullptr, &cancel);
        return done && ReadFileBytes(param.strSavePath) == OriginContent(0, kFileSize);
    }

    std::wstring FileUrl(bool https) { return harness.OriginUrl(https, "files/" + std::to_string(kFileSize) + ".bin"); }
    std::string Port(int port) { return std::to_string(port) + " "; }
    // The origin's record of a request that came through squid (from 127.0.0.2) or
    // directly (from 127.0.0.1): "<tls|plain> <method> <status> <path> <host:port> <peer>".
    std::string Origin(bool https, const std::string& method, int status, const std::string& path, bool proxied,
                       const std::string& host = "origin.test")
    {
        return std::string(https ? "tls " : "plain ") + method + " " + std::to_string(status) + " /" + path + " " +
               host + ":" + std::to_string(https ? harness.TlsPort() : harness.PlainPort()) +
               (proxied ? " 127.0.0.2" : " 127.0.0.1");
    }
    std::string File() { return "files/" + std::to_string(kFileSize) + ".bin"; }

    ProxyHarness harness;
};

}  // namespace

TEST_F(ProxyRequests, AFixedProxyCarriesTheSizeQueryAndEverySegment)
{
    UserProxySettings user(harness.Proxy(harness.OpenPort()), L"");
    LogTail squid = LogTail::Squid();
    LogTail log = LogTail::Program();
    std::wstring url = FileUrl(false);
    ASSERT_TRUE(Download(url));

    std::string address = Narrow(url);
    EXPECT_EQ(squid.Count(Port(harness.OpenPort()) + "TCP_MISS/200 HEAD " + address), 1u) << squid.Text();
    EXPECT_EQ(squid.Count(Port(harness.OpenPort()) + "TCP_MISS/206 GET " + address), 5u) << squid.Text();
    EXPECT_GE(log.Count("[WinHttp] http://origin.test:" + std::to_string(harness.PlainPort()) + " proxy 127.0.0.2:" +
                        std::to_string(harness.OpenPort()) + " (user settings)"),
              6u)
        << log.Text();
}

// Squid cannot read a tunnel, and writes its line only when the tunnel closes: the
// origin's record of squid's address proves that each request went through it.
TEST_F(ProxyRequests, HttpsGoesThroughAConnectTunnelOnBothStacks)
{
    UserProxySettings user(harness.Proxy(harness.OpenPort()), L"");
    LogTail squid = LogTail::Squid();
    {
        LogTail origin = LogTail::Origin();
        ASSERT_TRUE(Download(FileUrl(true)));
        EXPECT_EQ(origin.Count(Origin(true, "HEAD", 200, File(), true)), 1u) << origin.Text();
        EXPECT_EQ(origin.Count(Origin(true, "GET", 206, File(), true)), 5u) << origin.Text();
        EXPECT_EQ(origin.Count("127.0.0.1"), 0u) << origin.Text();
    }
    {
        // WinHTTP broken: the size query and every segment over WinINet.
        CBaseRequest::SetBrokenBackEndForTesting("WinHttp");
        LogTail origin = LogTail::Origin();
        LogTail log = LogTail::Program();
        ASSERT_TRUE(Download(FileUrl(true)));
        std::string proxied = "/" + File() + " origin.test:" + std::to_string(harness.TlsPort()) + " 127.0.0.2";
        EXPECT_GE(origin.Count(proxied), 6u) << origin.Text();
        EXPECT_EQ(origin.Count("127.0.0.1"), 0u) << origin.Text();
        EXPECT_EQ(log.Count("[Internet] https://origin.test:" + std::to_string(harness.TlsPort()) + " proxy 127.0.0.2:" +
                            std::to_string(harness.OpenPort()) + " (user settings)"),
                  6u)
            << log.Text();
    }
    // Tunnels are written down when they close; by now at least one has.
    EXPECT_GE(squid.Count("TCP_TUNNEL/200 CONNECT origin.test:" + std::to_string(harness.TlsPort())), 1u)
        << squid.Text();
}

TEST_F(ProxyRequests, TheBypassListAndLoopbackGoDirect)
{
    LogTail origin = LogTail::Origin();
    {
        // "<-loopback>" puts localhost on the proxy; "<local>" (a name without a dot) takes it off again.
        UserProxySettings user(harness.Proxy(harness.OpenPort()), L"<-loopback>;<local>");
        EXPECT_GT(QueryUrlFileSize(harness.OriginUrl(true, "files/1000.bin", "localhost")), 0);
        EXPECT_GT(QueryUrlFileSize(harness.OriginUrl(true, "files/1001.bin")), 0);
    }
    {
        UserProxySettings user(harness.Proxy(harness.OpenPort()), L"<-loopback>");
        EXPECT_GT(QueryUrlFileSize(harness.OriginUrl(true, "files/1002.bin", "localhost")), 0);
    }
    {
        UserProxySettings user(harness.Proxy(harness.OpenPort()), L"*.example;origin.*");
        EXPECT_GT(QueryUrlFileSize(harness.OriginUrl(true, "files/1003.bin", "localhost")), 0);
    }
    EXPECT_EQ(origin.Count(Origin(true, "HEAD", 200, "files/1000.bin", false, "localhost")), 1u) << origin.Text();
    EXPECT_EQ(origin.Count(Origin(true, "HEAD", 200, "files/1001.bin", true)), 1u) << origin.Text();
    EXPECT_EQ(origin.Count(Origin(true, "HEAD", 200, "files/1002.bin", true, "localhost")), 1u) << origin.Text();
    EXPECT_EQ(origin.Count(Origin(true, "HEAD", 200, "files/1003.bin", false, "localhost")), 1u) << origin.Text();
}

TEST_F(ProxyRequests, APacScriptAndTheMachineSettingAreFollowed)
{
    std::wstring script = harness.OriginUrl(false, "proxy.pac", "127.0.0.1");
    {
        UserProxySettings user(L"", L"", script);
        LogTail origin = LogTail::Origin();
        LogTail log = LogTail::Program();
        ASSERT_TRUE(Download(FileUrl(true)));
        EXPECT_EQ(origin.Count(Origin(true, "GET", 206, File(), true)), 5u) << origin.Text();
        EXPECT_EQ(log.Count(" proxy 127.0.0.2:" + std::to_string(harness.OpenPort()) + " (PAC script)"), 6u)
            << log.Text();
    }
    {
        UserProxySettings none(L"", L"");
        MachineProxySetting machine(harness.Proxy(harness.OpenPort()), L"");
        LogTail squid = LogTail::Squid();
        LogTail origin = LogTail::Origin();
        LogTail log = LogTail::Program();
        EXPECT_EQ(QueryUrlFileSize(harness.OriginUrl(true, "files/1000.bin")), 1000);
        EXPECT_EQ(origin.Count(Origin(true, "HEAD", 200, "files/1000.bin", true)), 1u) << origin.Text();
        std::wstring host = L"origin.test:" + std::to_wstring(harness.PlainPort());
        std::wstring url = L"http://" + host + L"/redirect";
        EXPECT_TRUE(GetRedirectUrl(host, L"/redirect", url));
        EXPECT_EQ(squid.Count("TCP_MISS/302 GET http://" + Narrow(host) + "/redirect"), 1u) << squid.Text();
        EXPECT_TRUE(log.Contains("(machine-wide WinHTTP setting)")) << log.Text();
    }
}

TEST_F(ProxyRequests, TheRedirectQueryAndTheAnalyticsEventTakeTheProxyToo)
{
    UserProxySettings user(harness.Proxy(harness.OpenPort()), L"");
    LogTail squid = LogTail::Squid();
    LogTail origin = LogTail::Origin();
    std::wstring host = L"origin.test:" + std::to_wstring(harness.PlainPort());
    std::wstring url = L"http://" + host + L"/redirect";
    ASSERT_TRUE(GetRedirectUrl(host, L"/redirect", url));
    EXPECT_EQ(url, harness.OriginUrl(true, "files/1000.bin"));
    EXPECT_EQ(squid.Count("TCP_MISS/302 GET http://" + Narrow(host) + "/redirect"), 1u) << squid.Text();

    CGA* analytics = GetGAInstance();
    analytics->SetCollectUrl(harness.OriginUrl(true, "collect"));
    EXPECT_TRUE(analytics->SendGACommon("Proxy_Test"));
    EXPECT_EQ(squid.Count("TCP_TUNNEL/200 CONNECT origin.test:" + std::to_string(harness.TlsPort())), 1u)
        << squid.Text();
    EXPECT_EQ(origin.Count("tls POST 204 /collect"), 1u) << origin.Text();
}

TEST_F(ProxyRequests, ABasicLoginIsAskedOnceAndServesEveryRequest)
{
    UserProxySettings user(harness.Proxy(harness.LoginPort()), L"");
    ScriptedPrompt prompt(Logins{{L"alice", L"secret"}});
    LogTail squid = LogTail::Squid();
    LogTail log = LogTail::Program();
    std::wstring url = FileUrl(false);
    ASSERT_TRUE(Download(url));
    std::wstring host = L"origin.test:" + std::to_wstring(harness.PlainPort());
    std::wstring service = L"http://" + host + L"/redirect";
    std::wstring redirect = service;
    ASSERT_TRUE(GetRedirectUrl(host, L"/redirect", redirect));

    IHttpBase* client = nullptr;
    ASSERT_TRUE(CreateHttpClient(&client, kHttpClientWinHttp));
    static_cast<IWinHttp*>(client)->Execute(harness.OriginUrl(false, "collect").c_str(), true, "{}", nullptr);
    EXPECT_EQ(client->GetLastStatus(), 204);
    client->Release();

    EXPECT_EQ(prompt.Prompts(), 1);
    EXPECT_EQ(prompt.LastProxy(), harness.Proxy(harness.LoginPort()));
    std::string port = Port(harness.LoginPort());
    EXPECT_EQ(squid.Count(port + "TCP_MISS/200 HEAD " + Narrow(url) + " alice"), 1u) << squid.Text();
    EXPECT_EQ(squid.Count(port + "TCP_MISS/206 GET " + Narrow(url) + " alice"), 5u) << squid.Text();
    EXPECT_EQ(squid.Count(port + "TCP_MISS/302 GET " + Narrow(service) + " alice"), 1u) << squid.Text();
    EXPECT_EQ(squid.Count(port + "TCP_MISS/204 POST "), 1u) << squid.Text();
    // The password never reaches the log; neither does the user name.
    EXPECT_FALSE(log.Contains("secret")) << log.Text();
    EXPECT_FALSE(log.Contains("alice")) << log.Text();
}

TEST_F(ProxyRequests, WinInetLogsInToo)
{
    UserProxySettings user(harness.Proxy(harness.LoginPort()), L"");
    ScriptedPrompt prompt(Logins{{L"alice", L"secret"}});
    LogTail squid = LogTail::Squid();
    IHttpBase* client = nullptr;
    ASSERT_TRUE(CreateHttpClient(&client, kHttpClientWininet));
    std::string body = static_cast<IWininetHttp*>(client)->Execute(harness.OriginUrl(false, "files/10.bin").c_str(),
                                                                   false, nullptr, nullptr);
    EXPECT_EQ(client->GetLastStatus(), 200);
    EXPECT_EQ(body, OriginContent(0, 10));
    client->Release();
    EXPECT_EQ(prompt.Prompts(), 1);
    EXPECT_EQ(squid.Count(Port(harness.LoginPort()) + "TCP_MISS/200 GET " +
                          Narrow(harness.OriginUrl(false, "files/10.bin")) + " alice"),
              1u)
        << squid.Text();
}

TEST_F(ProxyRequests, AWrongPasswordIsAskedAgainAndACancelFailsCleanly)
{
    UserProxySettings user(harness.Proxy(harness.LoginPort()), L"");
    ScriptedPrompt prompt(Logins{{L"alice", L"wrong"}, {L"alice", L"wrong again"}});
    LogTail squid = LogTail::Squid();
    auto began = std::chrono::steady_clock::now();
    EXPECT_FALSE(Download(FileUrl(false)));
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    EXPECT_EQ(prompt.Prompts(), 3);
    EXPECT_EQ(prompt.Refused(), (std::vector<bool>{false, true, true}));
    EXPECT_TRUE(ProxyCredentialStore::Instance().Declined());
    // No segment keeps retrying after the user cancelled.
    EXPECT_LT(seconds, 10.0);
    EXPECT_EQ(squid.Count("TCP_MISS/"), 0u) << squid.Text();
    // The rest of the run fails at once without asking again.
    EXPECT_EQ(QueryUrlFileSize(FileUrl(false)), 0);
    EXPECT_EQ(prompt.Prompts(), 3);
}
