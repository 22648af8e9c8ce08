#include "http/HttpHeader.h"
#include "http/HttpInterface.h"

#include <gtest/gtest.h>

namespace {

const char kDefaultAgent[] =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/80.0.4044.92 "
    "Safari/537.36";

struct UrlCase {
    const char* url;
    const char* host;
    const char* path;
    int port;
};

TEST(SplitHttpUrl, TakesHostPathAndPortFromEitherForm)
{
    const UrlCase cases[] = {
        {"http://example.test/a/b.exe", "example.test", "/a/b.exe", 80},
        {"https://example.test/mp/collect?x=1", "example.test", "/mp/collect?x=1", 443},
        {"http://example.test:8080/x", "example.test", "/x", 8080},
        {"https://localhost:4443/", "localhost", "/", 4443},
        {"http://example.test", "example.test", "/", 80},
        {"example.test:81/p", "example.test", "/p", 81},
        {"http://example.test:/p", "example.test", "/p", 0},
        // Another address in the query is not the one to connect to.
        {"https://example.test/mp?next=http://other.test/x", "example.test", "/mp?next=http://other.test/x", 443},
        {"http://example.test/r?to=https://other.test:8443/", "example.test", "/r?to=https://other.test:8443/", 80},
    };
    for (const auto& c : cases) {
        std::string host, path;
        int port = -1;
        SplitHttpUrl(std::string(c.url), host, path, port);
        EXPECT_EQ(host, c.host) << c.url;
        EXPECT_EQ(path, c.path) << c.url;
        EXPECT_EQ(port, c.port) << c.url;

        std::wstring wideUrl(c.url, c.url + strlen(c.url));
        std::wstring wideHost, widePath;
        int widePort = -1;
        SplitHttpUrl(wideUrl, wideHost, widePath, widePort);
        EXPECT_EQ(wideHost, std::wstring(c.host, c.host + strlen(c.host))) << c.url;
        EXPECT_EQ(widePath, std::wstring(c.path, c.path + strlen(c.path))) << c.url;
        EXPECT_EQ(widePort, c.port) << c.url;
    }
}

TEST(HeaderLines, DefaultsComeSortedByteWise)
{
    CHttpHeader header;
    EXPECT_EQ(header.BuildHeaderLines(), std::string("Accept: */*\r\n"
                                                     "Accept-Language: zh-CN,zh;q=0.9\r\n"
                                                     "Connection: Keep-Alive\r\n"
                                                     "User-Agent: ") +
                                             kDefaultAgent + "\r\n");
}

TEST(HeaderLines, CallersFieldsKeepTheirValueAndSortBeforeLowerCase)
{
    CHttpHeader header;
    header.SetHeaderField("User-Agent", "Vantelo/1.0");
    header.SetHeaderField("x-lower", "1");
    header.SetHeaderField("Zeta", "2");
    header.SetHeaderField("Zeta", "ignored: already present");
    header.SetHeaderField("", "no name");
    header.SetHeaderField("Empty", "");
    EXPECT_EQ(header.BuildHeaderLines(), "Accept: */*\r\n"
                                         "Accept-Language: zh-CN,zh;q=0.9\r\n"
                                         "Connection: Keep-Alive\r\n"
                                         "User-Agent: Vantelo/1.0\r\n"
                                         "Zeta: 2\r\n"
                                         "x-lower: 1\r\n");
    EXPECT_FALSE(header.HasField("Empty"));
}

TEST(GetRequest, EndsWithThreeLineBreaksAfterTheLastField)
{
    CHttpHeader header;
    header.SetPath("/a/b.exe");
    header.SetHeaderField("Host", "example.test");
    EXPECT_EQ(header.BuildGetRequest(), std::string("GET /a/b.exe HTTP/1.1\r\n"
                                                    "Accept: */*\r\n"
                                                    "Accept-Language: zh-CN,zh;q=0.9\r\n"
                                                    "Connection: Keep-Alive\r\n"
                                                    "Host: example.test\r\n"
                                                    "User-Agent: ") +
                                            kDefaultAgent + "\r\n\r\n\r\n");
    header.SetVersion("HTTP/1.0");
    EXPECT_EQ(header.BuildGetRequest().substr(0, 24), "GET /a/b.exe HTTP/1.0\r\nA");
}

TEST(ResponseHeader, ReadsStatusLineAndFields)
{
    CHttpHeader response;
    response.ParseResponseHeader("HTTP/1.1 302 Found Elsewhere\r\nLocation: /next\r\nSet-Cookie: a=1\r\n"
                                 "Set-Cookie: b=2\r\nX-Empty: ");
    EXPECT_EQ(response.Version(), "HTTP/1.1");
    EXPECT_EQ(response.StatusCode(), 302);
    EXPECT_EQ(response.Reason(), "Found Elsewhere");
    EXPECT_EQ(response.GetField("Location"), "/next");
    EXPECT_EQ(response.GetField("Set-Cookie"), "a=1");
    EXPECT_EQ(response.GetField("Absent"), "");
}

TEST(ResponseHeader, FindsFieldsInAnyLetterCase)
{
    CHttpHeader response;
    response.ParseResponseHeader("HTTP/1.1 200 OK\r\ncontent-length: 12\r\nLOCATION: /x");
    EXPECT_EQ(response.GetField("Content-Length"), "12");
    EXPECT_EQ(response.GetField("Location"), "/x");
}

TEST(ResponseHeader, IgnoresLinesWithoutSeparator)
{
    CHttpHeader response;
    response.ParseResponseHeader("HTTP/1.1 200 OK\r\nBroken\r\nContent-Length:3\r\nContent-Length: 4");
    EXPECT_EQ(response.GetField("Content-Length"), "4");
    EXPECT_FALSE(response.HasField("Broken"));
}

TEST(ResponseHeader, StatusLineWithoutReason)
{
    CHttpHeader response;
    response.ParseResponseHeader("HTTP/1.0 204");
    EXPECT_EQ(response.StatusCode(), 204);
    EXPECT_EQ(response.Reason(), "");
}

TEST(CreateHttpClient, MakesTheThreeBackEndsAndRefusesOtherCodes)
{
    for (int type : {kHttpClientSocket, kHttpClientWininet, kHttpClientWinHttp}) {
        IHttpBase* client = nullptr;
        ASSERT_TRUE(CreateHttpClient(&client, type)) << type;
        ASSERT_NE(client, nullptr);
        EXPECT_EQ(client->GetLastErrorCode(), kHttpErrNone);
        EXPECT_EQ(client->GetLastStatus(), 0);
        client->Release();
    }
    IHttpBase* client = reinterpret_cast<IHttpBase*>(1);
    EXPECT_FALSE(CreateHttpClient(&client, 3));
    EXPECT_EQ(client, nullptr);
}

}  // namespace
