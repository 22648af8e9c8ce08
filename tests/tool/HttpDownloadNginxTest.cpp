// The segmented downloader against a real server: nginx from Debian, started by the
// download_nginx fixture (tools/nginx-test) on loopback with its own configuration.
#include "tool/HttpDownload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <sstream>
#include <vector>

#include "DownloadTestServer.h"
#include "TestSupport.h"
#include "tool/BaseRequest.h"
#include "tool/DownloadState.h"

namespace {

std::wstring StatePath(const std::wstring& name) { return BuildPath(L"tests\\tool\\nginx\\" + name); }

std::wstring NginxUrl(const std::string& path)
{
    static const int port = [] {
        std::istringstream ports(ReadFileBytes(StatePath(L"ports")));
        std::string scheme;
        int value = 0;
        ports >> scheme >> value;
        return value;
    }();
    if (port == 0) ADD_FAILURE() << "no nginx: the download_nginx fixture writes " << ToUtf8(StatePath(L"ports"));
    return ToWide("https://localhost:" + std::to_string(port) + "/" + path);
}

// One line of nginx's access log: method status "range" "if-range" bytes uri.
struct Logged {
    std::string method, status, range, ifRange, uri;
    long long bytes = 0;
};

// nginx writes a double quote inside a logged value as \x22.
std::string Unescape(std::string text)
{
    for (size_t at; (at = text.find("\\x22")) != std::string::npos;) text.replace(at, 4, "\"");
    return text;
}

// Where the access log ends now: later lines belong to what a test does next.
size_t AccessLogMark() { return ReadFileBytes(StatePath(L"access.log")).size(); }

std::vector<Logged> AccessLogFor(const std::string& uri, size_t since)
{
    std::vector<Logged> found;
    std::string text = ReadFileBytes(StatePath(L"access.log"));
    std::istringstream lines(since <= text.size() ? text.substr(since) : std::string());
    std::string line;
    while (std::getline(lines, line)) {
        Logged logged;
        std::istringstream fields(line);
        fields >> logged.method >> logged.status;
        auto quoted = [&fields]() {
            std::string value;
            fields >> std::ws;
            fields.get();  // the opening quote
            std::getline(fields, value, '"');
            return Unescape(value);
        };
        logged.range = quoted();
        logged.ifRange = quoted();
        fields >> logged.bytes >> logged.uri;
        if (logged.uri == "/" + uri) found.push_back(logged);
    }
    return found;
}

// nginx logs a request whose connection was cut once it notices: wait for them.
std::vector<Logged> AwaitGets(const std::string& uri, size_t since, size_t count)
{
    std::vector<Logged> gets;
    for (DWORD begin = GetTickCount(); GetTickCount() - begin < 10000; Sleep(100)) {
        gets.clear();
        for (const auto& line : AccessLogFor(uri, since)) {
            if (line.method == "GET") gets.push_back(line);
        }
        if (gets.size() >= count) break;
    }
    return gets;
}

long long BytesSent(const std::vector<Logged>& lines)
{
    long long total = 0;
    for (const auto& l : lines) total += l.method == "GET" ? l.bytes : 0;
    return total;
}

CDownloadCancel* g_cancelOnProgress = nullptr;
long long g_cancelAtBytes = 0;

void CancelAtProgress(int event, long long written, long long, DWORD_PTR)
{
    if (event == kDownloadEventProgress && g_cancelOnProgress && written >= g_cancelAtBytes) {
        g_cancelOnProgress->Cancel();
    }
}

int Download(const std::wstring& url, const std::wstring& target, int threads = 3, CDownloadCancel* cancel = nullptr)
{
    DownloadParam param;
    param.nDownloadThread = threads;
    param.strDownloadUrl = url;
    param.strSavePath = target;
    CHttpDownload download(&param, &CancelAtProgress, cancel);
    return download.Download();
}

// Downloads from the slow location until `bytes` are written, then cancels: the
// connections are cut and the state file keeps what arrived.
void DownloadUntil(const std::string& file, long long bytes, const std::wstring& target)
{
    CDownloadCancel cancel;
    g_cancelOnProgress = &cancel;
    g_cancelAtBytes = bytes;
    int result = Download(NginxUrl("slow/" + file), target, 3, &cancel);
    g_cancelOnProgress = nullptr;
    ASSERT_EQ(-5, result);
}

std::string RandomBytes(size_t size, uint64_t seed)
{
    TestRandom random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random.Next());
    return bytes;
}

// Puts a file of these bytes in nginx's folder, dated `age` seconds ago: nginx's
// entity tag is its date and size, so two versions need two dates.
void Serve(const std::string& name, const std::string& bytes, int age)
{
    std::wstring path = StatePath(L"www\\" + ToWide(name));
    std::wstring fresh = path + L".new";
    ASSERT_TRUE(WriteFileBytes(fresh, bytes));
    UniqueFileHandle file(CreateFileW(fresh.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(INVALID_HANDLE_VALUE, file.Get());
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER when{{now.dwLowDateTime, now.dwHighDateTime}};
    when.QuadPart -= static_cast<unsigned long long>(age) * 10000000ULL;
    FILETIME dated{when.LowPart, when.HighPart};
    EXPECT_TRUE(SetFileTime(file.Get(), nullptr, nullptr, &dated));
    file.Reset();
    ASSERT_TRUE(MoveFileExW(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
}

class NginxDownload : public ::testing::Test {
protected:
    void SetUp() override { DownloadTesting::SetRetryPause(0); }
    void TearDown() override { DownloadTesting::SetRetryPause(2000); }
    std::wstring Target() const { return folder_.Path() + L"\\vantelo-download.exe"; }
    TempFolder folder_;
};

}  // namespace

TEST_F(NginxDownload, EveryRangedGetCarriesIfRangeWithNginxsValidator)
{
    // ETag where nginx gives one; its Last-Modified date where it does not.
    std::string served = ReadFileBytes(StatePath(L"www\\file.bin"));
    for (const char* path : {"file.bin", "dated/file.bin"}) {
        SCOPED_TRACE(path);
        size_t mark = AccessLogMark();
        ASSERT_EQ(0, Download(NginxUrl(path), Target(), 5));
        EXPECT_EQ(Sha256(served), Sha256(ReadFileBytes(Target())));
        auto lines = AccessLogFor(path, mark);
        ASSERT_GE(lines.size(), 6u);
        EXPECT_EQ("HEAD", lines[0].method);
        std::unique_ptr<CBaseRequest> head(CBaseRequest::CreateInstance(CBaseRequest::kWinHttpRequest));
        head->strVerb = L"HEAD";
        ASSERT_TRUE(head->OpenUrl(NginxUrl(path)));
        std::wstring validator;
        bool etag = head->GetResponseHeader(L"ETag", validator);
        EXPECT_EQ(std::string(path) == "file.bin", etag);
        if (!etag) {
            ASSERT_TRUE(head->GetResponseHeader(L"Last-Modified", validator));
        }
        for (size_t i = 1; i < lines.size(); ++i) {
            if (lines[i].method != "GET") continue;
            EXPECT_EQ("206", lines[i].status) << lines[i].range;
            EXPECT_EQ(ToUtf8(validator), lines[i].ifRange);
        }
        EXPECT_EQ(static_cast<long long>(served.size()), BytesSent(lines)) << "every byte once";
        EXPECT_FALSE(FileExistsW(DownloadStatePath(Target())));
    }
}

TEST_F(NginxDownload, NginxAnswersAStaleIfRangeWithTheWholeFile)
{
    // What the downloader relies on to notice another file.
    for (int type : {CBaseRequest::kWinHttpRequest, CBaseRequest::kInternetRequest}) {
        std::unique_ptr<CBaseRequest> request(CBaseRequest::CreateInstance(type));
        request->strHeaders = L"Range:bytes=0-9\r\nIf-Range: \"stale\"";
        ASSERT_TRUE(request->OpenUrl(NginxUrl("file.bin")));
        DWORD status = 0;
        EXPECT_TRUE(request->GetStatusCode(status));
        EXPECT_EQ(200u, status) << request->GetTypeName();
        long long length = 0;
        EXPECT_TRUE(request->GetUrlFileSize(length));
        EXPECT_EQ(4194319, length);
    }
}

TEST_F(NginxDownload, ADownloadCutShortContinuesWhereItStopped)
{
    std::string served = ReadFileBytes(StatePath(L"www\\file.bin"));
    size_t mark = AccessLogMark();
    DownloadUntil("file.bin", 1 << 20, Target());
    CDownloadState state;
    ASSERT_TRUE(state.Load(DownloadStatePath(Target())));
    EXPECT_GE(state.DoneBytes(), 1 << 20);

    size_t resumedMark = AccessLogMark();
    ASSERT_EQ(0, Download(NginxUrl("file.bin"), Target()));
    EXPECT_EQ(Sha256(served), Sha256(ReadFileBytes(Target())));
    auto resumed = AccessLogFor("file.bin", resumedMark);
    for (const auto& line : resumed) {
        if (line.method != "GET") continue;
        long long first = -1;
        sscanf(line.range.c_str(), "bytes=%lld-", &first);
        bool outsideDone = true;
        for (const ByteRange& done : state.done) outsideDone &= first < done.llFirst || first >= done.llEnd;
        EXPECT_TRUE(outsideDone) << line.range << " asks again for bytes that were kept";
    }
    // Each cut connection loses at most the piece it was reading and one read ahead.
    EXPECT_LE(BytesSent(AwaitGets("slow/file.bin", mark, 3)) + BytesSent(resumed),
              static_cast<long long>(served.size()) + 3 * 2 * 102400);
}

TEST_F(NginxDownload, AFileReplacedBetweenAttemptsIsDownloadedWholeAgain)
{
    const std::string first = RandomBytes(3 << 20, 1);
    const std::string second = RandomBytes(3 << 20, 2);
    Serve("replaced.bin", first, 60);
    DownloadUntil("replaced.bin", 1 << 20, Target());
    ASSERT_TRUE(FileExistsW(DownloadStatePath(Target())));

    Serve("replaced.bin", second, 0);
    size_t mark = AccessLogMark();
    LogCapture log;
    ASSERT_EQ(0, Download(NginxUrl("replaced.bin"), Target()));
    EXPECT_EQ(Sha256(second), Sha256(ReadFileBytes(Target()))) << "the new file, not a mix";
    std::vector<std::string> ranges;
    for (const auto& line : AccessLogFor("replaced.bin", mark)) {
        if (line.method == "GET") ranges.push_back(line.range);
    }
    std::sort(ranges.begin(), ranges.end());
    EXPECT_EQ(std::vector<std::string>({"bytes=0-1048575", "bytes=1048576-2097151", "bytes=2097152-3145727"}),
              ranges)
        << "from the start: the kept bytes belong to the old file";
    EXPECT_FALSE(log.Contains("continuing")) << log.Text();
}
