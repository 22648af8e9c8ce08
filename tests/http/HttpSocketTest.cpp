#include "http/HttpSocket.h"

#include "HttpTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const char kDefaultAgent[] =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/80.0.4044.92 "
    "Safari/537.36";

class HttpSocketTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Ready()) << "the http-peer fixture is not running"; }

    std::wstring Output() const { return folder.Path() + L"\\out.bin"; }

    // FetchToMemory into a string.
    bool FetchText(ISocketHttp* client, const std::string& path, std::string& text)
    {
        unsigned char* block = nullptr;
        DWORD size = 0;
        bool ok = client->FetchToMemory(server.Url(L"http", path).c_str(), &block, &size);
        if (block) text.assign(reinterpret_cast<char*>(block), size);
        free(block);
        return ok;
    }

    TestServer server{L"http-peer"};
    TempFolder folder;
    ClientPtr<ISocketHttp> client{kHttpClientSocket};
};

TEST_F(HttpSocketTest, RequestTextIsExact)
{
    server.ForgetRecord("/a/b.exe");
    ASSERT_TRUE(client->FetchToFile(server.Url(L"http", "/a/b.exe").c_str(), Output().c_str()));
    EXPECT_EQ(server.Record("/a/b.exe"), std::string("GET /a/b.exe HTTP/1.1\r\n"
                                                     "Accept: */*\r\n"
                                                     "Accept-Language: zh-CN,zh;q=0.9\r\n"
                                                     "Connection: Keep-Alive\r\n"
                                                     "Host: 127.0.0.1\r\n"
                                                     "User-Agent: ") +
                                             kDefaultAgent + "\r\n\r\n\r\n");
    EXPECT_EQ(ReadFileBytes(Output()), "hello world");
    EXPECT_EQ(client->GetLastStatus(), 200);
    EXPECT_EQ(client->GetPeerAddress(), L"127.0.0.1");
}

TEST_F(HttpSocketTest, CallersUserAgentAndHostAreKept)
{
    client->SetHeaderField("User-Agent", "Vantelo-Test");
    client->SetHeaderField("Host", "files.example.test");
    server.ForgetRecord("/a/b.exe");
    ASSERT_TRUE(client->FetchToFile(server.Url(L"http", "/a/b.exe").c_str(), Output().c_str()));
    std::string request = server.Record("/a/b.exe");
    EXPECT_EQ(RequestField(request, "User-Agent"), "Vantelo-Test");
    EXPECT_EQ(RequestField(request, "Host"), "files.example.test");
}

TEST_F(HttpSocketTest, FileDownloadReportsProgressAndCompletion)
{
    RecordingSink sink;
    client->SetProgressSink(&sink, 77);
    ASSERT_TRUE(client->FetchToFile(server.Url(L"http", "/slow").c_str(), Output().c_str()));
    std::string bytes = ReadFileBytes(Output());
    ASSERT_EQ(bytes.size(), 20000u);
    EXPECT_TRUE(IsPatternBody(reinterpret_cast<const unsigned char*>(bytes.data()), 4000));
    ASSERT_GE(sink.calls.size(), 3u);
    EXPECT_EQ(sink.calls.back().state, kHttpProgressDone);
    EXPECT_EQ(sink.calls.back().done, 20000.0);
    EXPECT_EQ(sink.CountState(kHttpProgressDone), 1);
    for (const auto& call : sink.calls) {
        EXPECT_EQ(call.userValue, 77u);
        EXPECT_EQ(call.total, 20000.0);
    }
    EXPECT_GT(sink.shouldStopQuestions, 0);
}

TEST_F(HttpSocketTest, HeaderSplitOverPiecesIsGathered)
{
    ASSERT_TRUE(client->FetchToFile(server.Url(L"http", "/pieces").c_str(), Output().c_str()));
    EXPECT_EQ(ReadFileBytes(Output()), "12345");
    std::string text;
    ASSERT_TRUE(FetchText(client.get(), "/pieces", text)) << client->GetLastErrorCode();
    EXPECT_EQ(text, "12345");
}

TEST_F(HttpSocketTest, ErrorStatusFailsAndLeavesNoFile)
{
    for (const char* path : {"/missing", "/broken"}) {
        RecordingSink sink;
        client->SetProgressSink(&sink, 1);
        EXPECT_FALSE(client->FetchToFile(server.Url(L"http", path).c_str(), Output().c_str())) << path;
        EXPECT_EQ(client->GetLastErrorCode(), kHttpErrStatus) << path;
        EXPECT_FALSE(FileExistsW(Output())) << path;
        ASSERT_EQ(sink.calls.size(), 1u);
        EXPECT_EQ(sink.calls[0].state, kHttpProgressFailed);
        std::string text;
        EXPECT_FALSE(FetchText(client.get(), path, text));
        EXPECT_EQ(client->GetLastErrorCode(), kHttpErrStatus);
    }
    EXPECT_EQ(client->GetLastStatus(), 500);
}

TEST_F(HttpSocketTest, AbsoluteRedirectIsFetchedAnewWithItsOwnHost)
{
    server.ForgetRecord("/a/b.exe");
    ASSERT_TRUE(client->FetchToFile(server.Url(L"http", "/redirect/absolute").c_str(), Output().c_str()));
    EXPECT_EQ(ReadFileBytes(Output()), "hello world");
    EXPECT_EQ(RequestField(server.Record("/a/b.exe"), "Host"), "localhost");
    EXPECT_NE(server.RecordConnection("/a/b.exe"), server.RecordConnection("/redirect/absolute"));

    std::string text;
    ASSERT_TRUE(FetchText(client.get(), "/redirect/absolute", text));
    EXPECT_EQ(text, "hello world");
}

TEST_F(HttpSocketTest, RelativeRedirectStaysOnTheConnection)
{
    // The redirection's body and lower-case field names must not confuse the next answer.
    ASSERT_TRUE(client->FetchToFile(server.Url(L"http", "/redirect/relative").c_str(), Output().c_str()));
    EXPECT_EQ(ReadFileBytes(Output()), "target");
    EXPECT_EQ(server.RecordConnection("/redirect/target"), server.RecordConnection("/redirect/relative"));
    std::string text;
    ASSERT_TRUE(FetchText(client.get(), "/redirect/relative", text));
    EXPECT_EQ(text, "target");
}

TEST_F(HttpSocketTest, RedirectLoopsEndWithStatusError)
{
    for (const char* path : {"/redirect/loop", "/redirect/loop-relative"}) {
        EXPECT_FALSE(client->FetchToFile(server.Url(L"http", path).c_str(), Output().c_str())) << path;
        EXPECT_EQ(client->GetLastErrorCode(), kHttpErrStatus) << path;
        EXPECT_FALSE(FileExistsW(Output()));
        std::string text;
        EXPECT_FALSE(FetchText(client.get(), path, text)) << path;
        EXPECT_EQ(client->GetLastErrorCode(), kHttpErrStatus) << path;
    }
}

TEST_F(HttpSocketTest, SecureUrlsAreRefusedWithoutTouchingTheNetwork)
{
    RecordingSink sink;
    client->SetProgressSink(&sink, 1);
    EXPECT_FALSE(client->FetchToFile(L"https://localhost/x", Output().c_str()));
    EXPECT_FALSE(client->FetchToFile(L"http://localhost:443/x", Output().c_str()));
    EXPECT_FALSE(client->FetchToFile(server.Url(L"tls", "/a/b.exe").c_str(), Output().c_str()));
    EXPECT_EQ(client->GetLastErrorCode(), kHttpErrNone);
    EXPECT_EQ(client->GetPeerAddress(), L"");
    EXPECT_TRUE(sink.calls.empty());
    EXPECT_FALSE(FileExistsW(Output()));
}

TEST_F(HttpSocketTest, StopRequestCancelsAndDeletesTheFile)
{
    RecordingSink sink;
    sink.stopAfterDataCalls = 1;
    client->SetProgressSink(&sink, 5);
    EXPECT_FALSE(client->FetchToFile(server.Url(L"http", "/slow").c_str(), Output().c_str()));
    EXPECT_EQ(client->GetLastErrorCode(), kHttpErrCancelled);
    EXPECT_FALSE(FileExistsW(Output()));
    ASSERT_FALSE(sink.calls.empty());
    EXPECT_EQ(sink.calls.back().state, kHttpProgressFailed);
    EXPECT_EQ(sink.calls.back().total, 0.0);
    EXPECT_EQ(sink.calls.back().done, 0.0);
}

TEST_F(HttpSocketTest, MemoryLimitIsEightMebibytes)
{
    unsigned char* block = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(client->FetchToMemory(server.Url(L"http", "/limit/exact").c_str(), &block, &size));
    EXPECT_EQ(size, 8388608u);
    EXPECT_TRUE(IsPatternBody(block, size));
    free(block);

    block = nullptr;
    EXPECT_FALSE(client->FetchToMemory(server.Url(L"http", "/limit/over").c_str(), &block, &size));
    EXPECT_EQ(client->GetLastErrorCode(), kHttpErrTooLarge);
    EXPECT_EQ(block, nullptr);
    // Without a size the memory download has nothing to size its block by.
    EXPECT_FALSE(client->FetchToMemory(server.Url(L"http", "/unannounced").c_str(), &block, &size));
    EXPECT_EQ(client->GetLastErrorCode(), kHttpErrTooLarge);
}

TEST_F(HttpSocketTest, BodyIsCutAtTheAnnouncedSize)
{
    std::string text;
    ASSERT_TRUE(FetchText(client.get(), "/longer", text));
    EXPECT_EQ(text, "four");
    ASSERT_TRUE(client->FetchToFile(server.Url(L"http", "/longer").c_str(), Output().c_str()));
    EXPECT_EQ(ReadFileBytes(Output()), "four");
}

TEST_F(HttpSocketTest, FieldLinesWithoutSeparatorAreIgnored)
{
    std::string text;
    ASSERT_TRUE(FetchText(client.get(), "/odd-fields", text));
    EXPECT_EQ(text, "abcd");
}

TEST_F(HttpSocketTest, AContentLengthThatIsNoNumberFailsTheDownload)
{
    for (const char* path : {"/length/not-a-number", "/length/signed"}) {
        unsigned char* block = nullptr;
        DWORD size = 0;
        EXPECT_FALSE(client->FetchToMemory(server.Url(L"http", path).c_str(), &block, &size)) << path;
        EXPECT_EQ(block, nullptr) << path;
        EXPECT_FALSE(client->FetchToFile(server.Url(L"http", path).c_str(), Output().c_str())) << path;
        EXPECT_EQ(client->GetLastErrorCode(), kHttpErrQuery) << path;
        EXPECT_FALSE(FileExistsW(Output())) << path;
    }
}

TEST_F(HttpSocketTest, UnannouncedBodyRunsToTheClose)
{
    RecordingSink sink;
    client->SetProgressSink(&sink, 1);
    ASSERT_TRUE(client->FetchToFile(server.Url(L"http", "/unannounced").c_str(), Output().c_str()));
    std::string bytes = ReadFileBytes(Output());
    ASSERT_EQ(bytes.size(), 5000u);
    EXPECT_TRUE(IsPatternBody(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
    EXPECT_EQ(sink.CountState(kHttpProgressDone), 1);
}

TEST_F(HttpSocketTest, ShortBodyFailsWithoutKeepingTheFile)
{
    EXPECT_FALSE(client->FetchToFile(server.Url(L"http", "/short").c_str(), Output().c_str()));
    EXPECT_FALSE(FileExistsW(Output()));
    std::string text;
    EXPECT_FALSE(FetchText(client.get(), "/short", text));
}

TEST_F(HttpSocketTest, RefusedConnectionGivesConnectErrorOrOpenErrorInMemory)
{
    // Port 9 (discard) is not served on this machine's loopback.
    EXPECT_FALSE(client->FetchToFile(L"http://127.0.0.1:9/x", Output().c_str()));
    EXPECT_EQ(client->GetLastErrorCode(), kHttpErrConnect);
    unsigned char* block = nullptr;
    DWORD size = 0;
    EXPECT_FALSE(client->FetchToMemory(L"http://127.0.0.1:9/x", &block, &size));
    EXPECT_EQ(client->GetLastErrorCode(), kHttpErrOpen);
    EXPECT_FALSE(client->FetchToMemory(L"", &block, &size));
    EXPECT_EQ(client->GetLastErrorCode(), kHttpErrBadDownloadParam);
}

}  // namespace
