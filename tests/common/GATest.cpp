// CGA: the client GUID in the registry of this build's own Wine prefix, and the
// events as the loopback collector receives them. Runs of the installer are played
// by child copies of this program (--send EVENT URL LOGFOLDER).
#include "common/GA.h"

#include "HttpTestSupport.h"
#include "TestSupport.h"
#include "log/Log.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <regex>
#include <thread>

namespace {

const wchar_t kClientKey[] = L"SOFTWARE\\WOW6432Node\\Vantelo\\VanteloDown";
const wchar_t kCategory[] = L"Vantelo Pexar (Windows version)";
const char kExampleGuid[] = "0123ABCD-4567-89ab-CDEF-0123456789AB";
const char kDefaultAgent[] =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/80.0.4044.92 "
    "Safari/537.36";

void DeleteClientKey() { RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kClientKey, KEY_WOW64_64KEY, 0); }

struct StoredValue {
    bool present = false;
    DWORD type = 0;
    DWORD bytes = 0;
    std::wstring text;
};

StoredValue ReadStored()
{
    StoredValue stored;
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kClientKey, 0, KEY_READ | KEY_WOW64_64KEY, key.Receive()) != ERROR_SUCCESS) {
        return stored;
    }
    wchar_t buffer[512] = {};
    stored.bytes = sizeof buffer - sizeof(wchar_t);
    stored.present = RegQueryValueExW(key.Get(), L"GUID", nullptr, &stored.type, reinterpret_cast<BYTE*>(buffer),
                                      &stored.bytes) == ERROR_SUCCESS;
    stored.text = buffer;
    return stored;
}

void Store(const std::wstring& text, bool withTerminator = false)
{
    UniqueRegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kClientKey, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY, nullptr,
                              key.Receive(), nullptr),
              ERROR_SUCCESS);
    DWORD bytes = static_cast<DWORD>((text.size() + (withTerminator ? 1 : 0)) * sizeof(wchar_t));
    RegSetValueExW(key.Get(), L"GUID", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes);
}

bool RunsUnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

bool LooksLikeNewGuid(const std::wstring& text)
{
    static const std::wregex format(L"[0-9A-F]{8}-[0-9A-F]{4}-[0-9a-f]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
    return std::regex_match(text, format);
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

TEST(ClientGuid, FirstRunCreatesAndStoresANewGuid)
{
    DeleteClientKey();
    std::wstring guid = CGA::LoadClientGuid();
    EXPECT_TRUE(LooksLikeNewGuid(guid)) << ToUtf8(guid);
    StoredValue stored = ReadStored();
    ASSERT_TRUE(stored.present);
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
    // Written as 36 characters without a terminating zero; Wine reports one more.
    EXPECT_EQ(stored.bytes, RunsUnderWine() ? 74u : 72u);
    EXPECT_EQ(stored.text, guid);
}

TEST(ClientGuid, LaterRunsReadTheSameGuid)
{
    std::wstring first = CGA::LoadClientGuid();
    EXPECT_EQ(CGA::LoadClientGuid(), first);
    Store(first, true);
    EXPECT_EQ(CGA::LoadClientGuid(), first) << "a value written with its terminating zero reads the same";
}

TEST(ClientGuid, InvalidStoredValuesAreReplaced)
{
    for (const wchar_t* invalid : {L"abc_def", L"", L"abc def", L"g\u00e9n\u00e9ral"}) {
        Store(invalid);
        std::wstring guid = CGA::LoadClientGuid();
        EXPECT_TRUE(LooksLikeNewGuid(guid)) << ToUtf8(invalid);
        EXPECT_EQ(ReadStored().text, guid);
    }
    DeleteClientKey();
    UniqueRegKey key;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kClientKey, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY, nullptr, key.Receive(),
                    nullptr);
    key.Reset();
    EXPECT_TRUE(LooksLikeNewGuid(CGA::LoadClientGuid())) << "an existing key without the value";
}

TEST(ClientGuid, LettersDigitsAndHyphensAreKeptAsTheyAre)
{
    Store(L"abc-DEF-123");
    EXPECT_EQ(CGA::LoadClientGuid(), L"abc-DEF-123");
    EXPECT_EQ(ReadStored().text, L"abc-DEF-123");
}

TEST(CollectUrl, ComesFromTheProductData)
{
    wchar_t configured[1024] = {};
    std::wstring file = HostPathToWindows(VANTELO_PRODUCT_DIR) + L"\\analytics.ini";
    GetPrivateProfileStringW(L"Analytics", L"CollectUrl", L"", configured, 1024, file.c_str());
    ASSERT_NE(configured[0], L'\0');
    EXPECT_EQ(CGA::ConfiguredCollectUrl(), configured);
    std::wstring host, path;
    int port = 0;
    SplitHttpUrl(CGA::ConfiguredCollectUrl(), host, path, port);
    EXPECT_EQ(port, 443);
    EXPECT_EQ(path, L"/mp/collect?measurement_id=G-7QW2HXM4PB&api_secret=Qm3xVb7LpK2sWd9RtY4nHa");
}

class EventTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(collector.Ready()) << "the analytics-collector fixture is not running"; }

    // The product's address with the collector's host and port.
    std::wstring CollectorUrl() const
    {
        std::wstring host, path;
        int port = 0;
        SplitHttpUrl(CGA::ConfiguredCollectUrl(), host, path, port);
        return L"https://localhost:" + std::to_wstring(collector.Port(L"tls")) + path;
    }

    // One run of the installer that sends one event; answers what the collector got.
    std::string RunAndCollect(const std::wstring& event)
    {
        DeleteFileW(collector.RecordPath("collect.req").c_str());
        int code = RunAndWait(SelfPath(), L"--send " + event + L" \"" + CollectorUrl() + L"\" \"" + logs.Path() + L"\"");
        EXPECT_EQ(code, 0);
        return ReadFileBytes(collector.RecordPath("collect.req"));
    }

    std::string Expected(const std::string& event, const std::string& guid) const
    {
        std::string text = ReadFileBytes(TestDataPath(L"analytics\\worked-example.json"));
        text = ReplaceAll(text, "Downloader_Start_Install", event);
        return ReplaceAll(text, kExampleGuid, guid);
    }

    TestServer collector{L"analytics-collector"};
    TempFolder logs;
};

TEST_F(EventTest, FirstRunSendsItsNewGuidAndTheSecondRunTheSame)
{
    DeleteClientKey();
    std::string request = RunAndCollect(L"Installed_Succeed");
    std::string guid = ToUtf8(ReadStored().text);
    ASSERT_TRUE(LooksLikeNewGuid(ToWide(guid))) << guid;

    std::string body = Expected("Installed_Succeed", guid);
    EXPECT_EQ(RequestBody(request), body);
    std::string url = ToUtf8(CollectorUrl());
    EXPECT_EQ(request.substr(0, request.find("\r\n")),
              "POST /mp/collect?measurement_id=G-7QW2HXM4PB&api_secret=Qm3xVb7LpK2sWd9RtY4nHa HTTP/1.1");
    EXPECT_EQ(RequestField(request, "Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(RequestField(request, "Content-Length"), std::to_string(body.size()));
    EXPECT_EQ(RequestField(request, "User-Agent"), kDefaultAgent);
    EXPECT_EQ(RequestField(request, "Accept"), "*/*");
    EXPECT_EQ(RequestField(request, "Accept-Language"), "zh-CN,zh;q=0.9");
    EXPECT_EQ(RequestField(request, "Host"), "localhost:" + std::to_string(collector.Port(L"tls")));
    // Kept for the closing note of the change: what one event looks like on the wire.
    WriteFileBytes(BuildPath(L"testserver\\analytics-collector\\example-event.txt"), request);

    std::string log = ReadFileBytes(logs.Path() + L"\\analytics.log");
    EXPECT_NE(log.find("tran code guid:" + guid + "\r\n"), std::string::npos) << log;
    // The secret of the collection address never reaches the log.
    std::string shown = url.substr(0, url.find("api_secret=")) + "api_secret=(hidden)";
    EXPECT_NE(log.find("request url: " + shown + "\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Qm3xVb7LpK2sWd9RtY4nHa"), std::string::npos) << log;
    EXPECT_NE(log.find("request info: " + body + "\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("request ret Code: 204\r\n"), std::string::npos) << log;

    // Wherever the secret stands in the query, in whatever case.
    std::wstring reordered = L"https://localhost:" + std::to_wstring(collector.Port(L"tls")) +
                             L"/mp/collect?API_Secret=0ther5ecret&measurement_id=G-7QW2HXM4PB";
    EXPECT_EQ(RunAndWait(SelfPath(), L"--send Installed_Succeed \"" + reordered + L"\" \"" + logs.Path() + L"\""), 0);
    log = ReadFileBytes(logs.Path() + L"\\analytics.log");
    EXPECT_NE(log.find("/mp/collect?API_Secret=(hidden)&measurement_id=G-7QW2HXM4PB\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("0ther5ecret"), std::string::npos) << log;

    request = RunAndCollect(L"Downloader_Start_Install");
    EXPECT_EQ(RequestBody(request), Expected("Downloader_Start_Install", guid));
    request = RunAndCollect(L"Downloader_Installed");
    EXPECT_EQ(RequestBody(request), Expected("Downloader_Installed", guid));
}

TEST_F(EventTest, CategoryGoesThroughTheAnsiCodePage)
{
    if (GetACP() != 1252) GTEST_SKIP() << "expects code page 1252";
    CGA* ga = GetGAInstance();
    ga->SetCollectUrl(CollectorUrl());
    ga->SetEventCategory(L"Caf\u00e9 \u2713");
    DeleteFileW(collector.RecordPath("collect.req").c_str());
    EXPECT_TRUE(ga->SendGACommon("Probe"));
    std::string body = RequestBody(ReadFileBytes(collector.RecordPath("collect.req")));
    EXPECT_NE(body.find("\"event_category\": \"Caf\xc3\xa9 ?\""), std::string::npos) << body;
    ga->SetEventCategory(kCategory);
}

TEST_F(EventTest, ALostAttemptIsReportedWithItsReasonAndCode)
{
    CGA* ga = GetGAInstance();
    ga->SetCollectUrl(CollectorUrl());
    ga->SetEventCategory(kCategory);
    DeleteFileW(collector.RecordPath("collect.req").c_str());
    EXPECT_TRUE(ga->SendDownloaderFailed("download", "result", -4));
    std::string sent = RequestBody(ReadFileBytes(collector.RecordPath("collect.req")));
    size_t at = sent.find("\"client_id\": \"");
    ASSERT_NE(at, std::string::npos) << sent;
    std::string guid = sent.substr(at + 14, sent.find('"', at + 14) - at - 14);
    std::string expected = Expected("Downloader_Failed", guid);
    expected = ReplaceAll(expected, "\"event_label\": \"" + guid + "\"",
                          "\"event_label\": \"" + guid + "\",\n                \"reason\": \"download\",\n"
                          "                \"result\": \"-4\"");
    EXPECT_EQ(sent, expected);
    // Without a code, only the reason.
    DeleteFileW(collector.RecordPath("collect.req").c_str());
    EXPECT_TRUE(ga->SendDownloaderFailed("cancelled", nullptr, 0));
    std::string body = RequestBody(ReadFileBytes(collector.RecordPath("collect.req")));
    EXPECT_NE(body.find("\"reason\": \"cancelled\"\n            }"), std::string::npos) << body;
}

TEST_F(EventTest, FailedRequestsStillAnswerTrue)
{
    CGA* ga = GetGAInstance();
    for (const wchar_t* url : {L"https://localhost:9/mp/collect", L"", L"http://127.0.0.1:9/x"}) {
        ga->SetCollectUrl(url);
        EXPECT_TRUE(ga->SendInstallSucceed()) << ToUtf8(url);
    }
    ga->SetCollectUrl(CollectorUrl());
}

TEST_F(EventTest, SendsFromTwoThreadsAtOnce)
{
    CGA* ga = GetGAInstance();
    ga->SetCollectUrl(CollectorUrl());
    ga->SetEventCategory(kCategory);
    int before = 0;
    while (FileExistsW(collector.RecordPath("collect-" + std::to_string(before + 1) + ".req"))) ++before;
    bool results[2] = {false, false};
    std::thread first([&results] { results[0] = GetGAInstance()->SendStartInstall(); });
    std::thread second([&results] { results[1] = GetGAInstance()->SendDownloadFinished(); });
    first.join();
    second.join();
    EXPECT_TRUE(results[0] && results[1]);
    EXPECT_TRUE(FileExistsW(collector.RecordPath("collect-" + std::to_string(before + 2) + ".req")));
}

int SendAsChild(const std::wstring& event, const std::wstring& url, const std::wstring& logFolder)
{
    InitLog(L"analytics.log", logFolder.c_str());
    CGA* ga = GetGAInstance();
    ga->SetCollectUrl(url);
    ga->SetEventCategory(kCategory);
    bool sent = false;
    if (event == L"Downloader_Start_Install") sent = ga->SendStartInstall();
    if (event == L"Downloader_Installed") sent = ga->SendDownloadFinished();
    if (event == L"Installed_Succeed") sent = ga->SendInstallSucceed();
    return sent ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments && count == 5 && std::wstring(arguments[1]) == L"--send") {
        return SendAsChild(arguments[2], arguments[3], arguments[4]);
    }
    LocalFree(arguments);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
