// CWinHttp and CWininetHttp: the behaviour both share runs against each, then what
// only one of them does.
#include "HttpTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const char kJsonType[] = "Content-Type: application/json; charset=utf-8";
const char kDefaultAgent[] =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/80.0.4044.92 "
    "Safari/537.36";

class WindowsHttpTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { ASSERT_TRUE(server.Ready()) << "the http-peer fixture is not running"; }

    std::string Url(const wchar_t* listener, const std::string& path) const
    {
        return ToUtf8(server.Url(listener, path));
    }
    std::wstring Output() const { return folder.Path() + L"\\out.bin"; }

    TestServer server{L"http-peer"};
    TempFolder folder;
    ClientPtr<IWininetHttp> client{GetParam()};
};

TEST_P(WindowsHttpTest, PostWithJsonBodyArrivesWithDefaultFields)
{
    server.ForgetRecord("/echo?post=1");
    const char body[] = "{\"name\": \"caf\xc3\xa9\"}";
    EXPECT_EQ(client->ExecuteA(Url(L"http", "/echo?post=1").c_str(), true, body, kJsonType), "ok");
    EXPECT_EQ(client->GetLastStatus(), 200);
    std::string request = server.Record("/echo?post=1");
    EXPECT_EQ(request.substr(0, 24), "POST /echo?post=1 HTTP/1");
    EXPECT_EQ(RequestBody(request), body);
    EXPECT_EQ(RequestField(request, "Content-Length"), std::to_string(strlen(body)));
    EXPECT_EQ(RequestField(request, "Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(RequestField(request, "Accept"), "*/*");
    EXPECT_EQ(RequestField(request, "Accept-Language"), "zh-CN,zh;q=0.9");
    EXPECT_EQ(_stricmp(RequestField(request, "Connection").c_str(), "Keep-Alive"), 0);
    EXPECT_EQ(RequestField(request, "User-Agent"), kDefaultAgent);
    EXPECT_EQ(RequestField(request, "Host"), "127.0.0.1:" + std::to_string(server.Port(L"http")));
}

TEST_P(WindowsHttpTest, PostWithoutBodySendsLengthZero)
{
    server.ForgetRecord("/echo?empty=1");
    EXPECT_EQ(client->ExecuteA(Url(L"http", "/echo?empty=1").c_str(), true, nullptr, nullptr), "ok");
    std::string request = server.Record("/echo?empty=1");
    EXPECT_EQ(RequestField(request, "Content-Length"), "0");
    EXPECT_EQ(RequestField(request, "Content-Type"), "");
    EXPECT_EQ(RequestBody(request), "");
}

TEST_P(WindowsHttpTest, GetThroughTheWideForm)
{
    server.ForgetRecord("/echo?get=1");
    EXPECT_EQ(client->Execute(server.Url(L"http", "/echo?get=1").c_str(), false, nullptr, L"X-Extra: 1"), "ok");
    std::string request = server.Record("/echo?get=1");
    EXPECT_EQ(request.substr(0, 21), "GET /echo?get=1 HTTP/");
    EXPECT_EQ(RequestField(request, "X-Extra"), "1");
}

TEST_P(WindowsHttpTest, CallersUserAgentIsKept)
{
    client->SetHeaderField("User-Agent", "Vantelo-Test/2");
    client->SetHeaderField("X-Null", nullptr);
    server.ForgetRecord("/echo?agent=1");
    client->ExecuteA(Url(L"http", "/echo?agent=1").c_str(), false, nullptr, nullptr);
    EXPECT_EQ(RequestField(server.Record("/echo?agent=1"), "User-Agent"), "Vantelo-Test/2");
}

TEST_P(WindowsHttpTest, NotFoundGivesStatusErrorAndEmptyAnswer)
{
    EXPECT_EQ(client->ExecuteA(Url(L"http", "/missing").c_str(), false, nullptr, nullptr), "");
    EXPECT_EQ(client->GetLastErrorCode(), kHttpErrStatus);
    EXPECT_EQ(client->GetLastStatus(), 404);
}

TEST_P(WindowsHttpTest, EmptyUrlsAreRefused)
{
    EXPECT_EQ(client->ExecuteA("", true, "x", nullptr), "");
    EXPECT_EQ(client->GetLastErrorCode(), kHttpErrBadRequestParam);
    EXPECT_FALSE(client->FetchToFile(L"", Output().c_str()));
    EXPECT_EQ(client->GetLastErrorCode(), kHttpErrBadDownloadParam);
}

TEST_P(WindowsHttpTest, FileDownloadWritesTheBody)
{
    RecordingSink sink;
    client->SetProgressSink(&sink, 9);
    ASSERT_TRUE(client->FetchToFile(server.Url(L"http", "/slow").c_str(), Output().c_str()))
        << client->GetLastErrorCode();
    std::string bytes = ReadFileBytes(Output());
    ASSERT_EQ(bytes.size(), 20000u);
    EXPECT_TRUE(IsPatternBody(reinterpret_cast<const unsigned char*>(bytes.data()), 4000));
    ASSERT_FALSE(sink.calls.empty());
    EXPECT_EQ(sink.calls.back().userValue, 9u);
    EXPECT_EQ(sink.calls.back().done, 20000.0);
}

TEST_P(WindowsHttpTest, ErrorPagesAreNotSavedAsTheFile)
{
    for (const char* path : {"/missing", "/broken"}) {
        EXPECT_FALSE(client->FetchToFile(server.Url(L"http", path).c_str(), Output().c_str())) << path;
        EXPECT_EQ(client->GetLastErrorCode(), kHttpErrStatus) << path;
        EXPECT_FALSE(FileExistsW(Output())) << path;
    }
}

TEST_P(WindowsHttpTest, MemoryLimitIsEightMebibytes)
{
    unsigned char* block = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(client->FetchToMemory(server.Url(L"http", "/limit/exact").c_str(), &block, &size))
        << client->GetLastErrorCode();
    EXPECT_EQ(size, 8388608u);
    EXPECT_TRUE(IsPatternBody(block, size));
    free(block);
    block = nullptr;
    EXPECT_FALSE(client->FetchToMemory(server.Url(L"http", "/limit/over").c_str(), &block, &size));
    EXPECT_EQ(client->GetLastErrorCode(), kHttpErrTooLarge);
    EXPECT_EQ(block, nullptr);
}

TEST_P(WindowsHttpTest, ShortBodyIsAReadError)
{
    unsigned char* block = nullptr;
    DWORD size = 0;
    EXPECT_FALSE(client->FetchToMemory(server.Url(L"http", "/short").c_str(), &block, &size));
    EXPECT_EQ(block, nullptr);
    EXPECT_FALSE(client->FetchToFile(server.Url(L"http", "/short").c_str(), Output().c_str()));
    EXPECT_FALSE(FileExistsW(Output()));
}

// A length that is no plain decimal number is no length: the body is not taken
// as an empty or a cut answer.
TEST_P(WindowsHttpTest, AContentLengthThatIsNoNumberFailsTheDownload)
{
    for (const char* path : {"/length/not-a-number", "/length/signed"}) {
        unsigned char* block = nullptr;
        DWORD size = 0;
        EXPECT_FALSE(client->FetchToMemory(server.Url(L"http", path).c_str(), &block, &size)) << path;
        EXPECT_EQ(client->GetLastErrorCode(), kHttpErrQuery) << path;
        EXPECT_EQ(block, nullptr) << path;
        EXPECT_FALSE(client->FetchToFile(server.Url(L"http", path).c_str(), Output().c_str())) << path;
        EXPECT_EQ(client->GetLastErrorCode(), kHttpErrQuery) << path;
        EXPECT_FALSE(FileExistsW(Output())) << path;
    }
}

TEST_P(WindowsHttpTest, TrustedCertificateOnAnyPortIsSecure)
{
    server.ForgetRecord("/echo?tls=1");
    EXPECT_EQ(client->ExecuteA(Url(L"tls", "/echo?tls=1").c_str(), true, "{}", kJsonType), "ok")
        << client->GetLastErrorCode();
    EXPECT_EQ(RequestBody(server.Record("/echo?tls=1")), "{}");
}

TEST_P(WindowsHttpTest, SelfSignedCertificateIsRefused)
{
    server.ForgetRecord("/echo?self=1");
    EXPECT_EQ(client->ExecuteA(Url(L"selfsigned", "/echo?self=1").c_str(), true, "secret", kJsonType), "");
    EXPECT_EQ(client->GetLastErrorCode(), kHttpErrSend);
    EXPECT_EQ(client->GetLastStatus(), 0);
    EXPECT_EQ(server.Record("/echo?self=1"), "");
}

TEST_P(WindowsHttpTest, AnHttpsAnswerRedirectingToHttpIsRefused)
{
    server.ForgetRecord("/echo?downgraded=1");
    unsigned char* block = nullptr;
    DWORD size = 0;
    EXPECT_FALSE(client->FetchToMemory(server.Url(L"tls", "/redirect/to-http").c_str(), &block, &size));
    EXPECT_EQ(block, nullptr);
    EXPECT_FALSE(client->FetchToFile(server.Url(L"tls", "/redirect/to-http").c_str(), Output().c_str()));
    EXPECT_FALSE(FileExistsW(Output()));
    EXPECT_EQ(client->ExecuteA(Url(L"tls", "/redirect/to-http").c_str(), false, nullptr, nullptr), "");
    EXPECT_NE(client->GetLastErrorCode(), kHttpErrNone);
    // A followed redirect would have been answered, and so recorded, before the
    // client returned: no need to wait for the record.
    EXPECT_EQ(server.RecordConnection("/echo?downgraded=1"), 0) << "nothing may arrive in clear text";
}

TEST_P(WindowsHttpTest, AnHttpsAnswerRedirectingToHttpsIsFollowed)
{
    EXPECT_EQ(client->ExecuteA(Url(L"tls", "/redirect/to-https").c_str(), false, nullptr, nullptr), "target")
        << client->GetLastErrorCode();
    EXPECT_EQ(client->GetLastStatus(), 200);
}

INSTANTIATE_TEST_SUITE_P(BackEnds, WindowsHttpTest, ::testing::Values(kHttpClientWininet, kHttpClientWinHttp),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == kHttpClientWinHttp ? "WinHttp" : "Wininet";
                         });

class WininetOnlyTest : public WindowsHttpTest {};

TEST_P(WininetOnlyTest, ExpiredCertificateIsRefused)
{
    ASSERT_GT(server.Port(L"expired"), 0);
    EXPECT_EQ(client->ExecuteA(Url(L"expired", "/echo").c_str(), false, nullptr, nullptr), "");
    EXPECT_EQ(client->GetLastErrorCode(), kHttpErrSend);
}

TEST_P(WininetOnlyTest, UnannouncedSizeIsTakenUpToTheLimit)
{
    unsigned char* block = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(client->FetchToMemory(server.Url(L"http", "/unannounced").c_str(), &block, &size));
    EXPECT_EQ(size, 5000u);
    EXPECT_TRUE(IsPatternBody(block, size));
    free(block);
    block = nullptr;
    EXPECT_FALSE(client->FetchToMemory(server.Url(L"http", "/limit/unannounced").c_str(), &block, &size));
    EXPECT_EQ(client->GetLastErrorCode(), kHttpErrTooLarge);
    EXPECT_EQ(block, nullptr);
}

TEST_P(WininetOnlyTest, FileDownloadCreatesFoldersAndReportsCompletionOnce)
{
    RecordingSink sink;
    client->SetProgressSink(&sink, 3);
    std::wstring nested = folder.Path() + L"\\one\\two\\file.bin";
    ASSERT_TRUE(client->FetchToFile(server.Url(L"http", "/a/b.exe").c_str(), nested.c_str()));
    EXPECT_EQ(ReadFileBytes(nested), "hello world");
    EXPECT_EQ(sink.CountState(kHttpProgressDone), 1);
    EXPECT_EQ(sink.calls.back().state, kHttpProgressDone);
}

INSTANTIATE_TEST_SUITE_P(Wininet, WininetOnlyTest, ::testing::Values(kHttpClientWininet));

class WinHttpOnlyTest : public WindowsHttpTest {};

TEST_P(WinHttpOnlyTest, ExpiredCertificateIsRefused)
{
    ASSERT_GT(server.Port(L"expired"), 0);
    EXPECT_EQ(client->ExecuteA(Url(L"expired", "/echo").c_str(), false, nullptr, nullptr), "");
    EXPECT_EQ(client->GetLastErrorCode(), kHttpErrSend);
}

TEST_P(WinHttpOnlyTest, ReceiveTimeoutEndsASilentRequest)
{
    static_cast<IWinHttp*>(client.get())->SetTimeouts(2000, 2000, 300);
    DWORD start = GetTickCount();
    EXPECT_EQ(client->ExecuteA(Url(L"http", "/silent").c_str(), false, nullptr, nullptr), "");
    EXPECT_EQ(client->GetLastErrorCode(), kHttpErrOpen);
    EXPECT_LT(GetTickCount() - start, 2500u);
}

INSTANTIATE_TEST_SUITE_P(WinHttp, WinHttpOnlyTest, ::testing::Values(kHttpClientWinHttp));

}  // namespace
