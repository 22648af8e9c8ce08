#include "tool/HttpDownload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "DownloadTestServer.h"
#include "TestSupport.h"
#include "tool/BaseRequest.h"

namespace {

struct Event {
    int code, first, second;
};

std::mutex g_eventLock;
std::vector<Event> g_events;
DWORD g_lastUserData = 0;

void RecordEvent(int code, int first, int second, DWORD_PTR userData)
{
    std::lock_guard<std::mutex> lock(g_eventLock);
    g_events.push_back({code, first, second});
    g_lastUserData = userData;
}

struct Outcome {
    int result = 1;
    std::vector<Event> events;
    std::wstring savePath;  // as the download normalised it
    DWORD elapsedMs = 0;

    std::vector<int> Progress() const
    {
        std::vector<int> totals;
        for (const auto& e : events) {
            if (e.code == kDownloadEventProgress) totals.push_back(e.first);
        }
        return totals;
    }
};

Outcome RunDownload(const std::wstring& url, int threads, const std::wstring& savePath,
                    CDownloadCancel* cancel = nullptr)
{
    {
        std::lock_guard<std::mutex> lock(g_eventLock);
        g_events.clear();
    }
    DownloadParam param;
    param.nDownloadThread = threads;
    param.dwUserData = 0xC0FFEE;
    param.strDownloadUrl = url;
    param.strSavePath = savePath;
    CHttpDownload download(&param, &RecordEvent, cancel);
    Outcome outcome;
    DWORD begin = GetTickCount();
    outcome.result = download.Download();
    outcome.elapsedMs = GetTickCount() - begin;
    outcome.savePath = param.strSavePath;
    std::lock_guard<std::mutex> lock(g_eventLock);
    outcome.events = g_events;
    return outcome;
}

enum BackEnd { kWinHttp, kWinInet };

// Equal failure counters send every first attempt to WinHTTP; one more WinHTTP
// failure sends them all to WinINet.
void SteerTo(BackEnd backEnd) { DownloadTesting::SetFailureCounters(backEnd == kWinInet ? 1 : 0, 0); }

void ExpectCountersStill(BackEnd backEnd)
{
    int winHttp = -1, internet = -1;
    DownloadTesting::GetFailureCounters(winHttp, internet);
    EXPECT_EQ(backEnd == kWinInet ? 1 : 0, winHttp) << "a failed attempt went to the other back-end";
    EXPECT_EQ(0, internet);
}

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DownloadTesting::SetFailureCounters(0, 0);
        DownloadTesting::SetRetryPause(0);
        CBaseRequest::SetBrokenBackEndForTesting(nullptr);
    }
    void TearDown() override
    {
        DownloadTesting::SetRetryPause(2000);
        CBaseRequest::SetBrokenBackEndForTesting(nullptr);
        CBaseRequest::SetStallLimitForTesting(30000);
    }

    std::wstring Target(const wchar_t* name = L"out.bin") const { return folder_.Path() + L"\\" + name; }

    TempFolder folder_;
};

std::vector<std::string> RangesOf(const std::vector<ServedRequest>& served)
{
    std::vector<std::string> ranges;
    for (const auto& r : served) {
        if (r.method == "GET") ranges.push_back(r.range);
    }
    std::sort(ranges.begin(), ranges.end());
    return ranges;
}

}  // namespace

// --- Whole files over both back-ends --------------------------------------------

class DownloadedFile : public DownloadTest,
                       public ::testing::WithParamInterface<std::tuple<BackEnd, int, int>> {};

TEST_P(DownloadedFile, IsByteIdenticalWithOneGetPerSegment)
{
    BackEnd backEnd = std::get<0>(GetParam());
    int size = std::get<1>(GetParam());
    int threads = std::get<2>(GetParam());
    std::string name = std::to_string(size) + ".bin";
    std::string path = UniquePath(name);
    SteerTo(backEnd);
    Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), threads, Target());
    ASSERT_EQ(0, outcome.result);
    ExpectCountersStill(backEnd);
    std::string got = ReadFileBytes(Target());
    EXPECT_EQ(static_cast<size_t>(size), got.size());
    EXPECT_EQ(Sha256(ServedFile(name)), Sha256(got));
    size_t segments = std::min(threads, std::max(size, 0));
    EXPECT_EQ(segments, RangesOf(RequestsFor(path)).size());
    auto progress = outcome.Progress();
    if (size > 0) {
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(size, progress.back());
    }
}

INSTANTIATE_TEST_SUITE_P(SizesAndThreads, DownloadedFile,
                         ::testing::Combine(::testing::Values(kWinHttp, kWinInet),
                                            ::testing::Values(1000, 102400, 1048579, 5000000),
                                            ::testing::Values(1, 3, 5, 64)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) == kWinHttp ? "WinHttp" : "WinInet") + "_" +
                                    std::to_string(std::get<1>(info.param)) + "bytes_" +
                                    std::to_string(std::get<2>(info.param)) + "threads";
                         });

TEST_F(DownloadTest, ThousandBytesInThreeThreadsAskForTheDocumentedRanges)
{
    std::string path = UniquePath("1000.bin");
    ASSERT_EQ(0, RunDownload(ServerUrl(ServerPort::kTls, true, path), 3, Target()).result);
    EXPECT_EQ((std::vector<std::string>{"bytes=0-332", "bytes=333-665", "bytes=666-999"}),
              RangesOf(RequestsFor(path)));
}

TEST_F(DownloadTest, WinHttpFetchesAPlainHttpAddressOverThePlainPort)
{
    std::string path = UniquePath("102401.bin");
    ASSERT_EQ(0, RunDownload(ServerUrl(ServerPort::kPlain, false, path), 3, Target()).result);
    ExpectCountersStill(kWinHttp);
    EXPECT_EQ(Sha256(ServedFile("102401.bin")), Sha256(ReadFileBytes(Target())));
    for (const auto& r : RequestsFor(path)) EXPECT_EQ(PortOf(ServerPort::kPlain), r.port);
}

TEST_F(DownloadTest, SegmentsRunInParallel)
{
    // 1048579 bytes at 100000 bytes per second per connection: 10.5 s one after the
    // other, 2.1 s side by side.
    std::string path = UniquePath("rate=100000/1048579.bin");
    Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), 5, Target());
    ASSERT_EQ(0, outcome.result);
    EXPECT_LT(outcome.elapsedMs, 6000u);
    EXPECT_EQ(Sha256(ServedFile("1048579.bin")), Sha256(ReadFileBytes(Target())));
}

// --- Small and empty files ------------------------------------------------------

TEST_F(DownloadTest, FewerBytesThanThreadsGiveOneByteSegmentsAndNoNegativeRange)
{
    LogCapture log;
    std::string path = UniquePath("3.bin");
    Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), 5, Target());
    ASSERT_EQ(0, outcome.result);
    EXPECT_EQ(ServedFile("3.bin"), ReadFileBytes(Target()));
    EXPECT_EQ((std::vector<std::string>{"bytes=0-0", "bytes=1-1", "bytes=2-2"}), RangesOf(RequestsFor(path)));
    EXPECT_TRUE(log.Contains("DownLoadContent: ThreadNum = 3 (request thread num = 5)")) << log.Text();
}

TEST_F(DownloadTest, AnEmptyFileIsWrittenEmptyWithoutAnyGet)
{
    WriteFileBytes(Target(), "stale");
    std::string path = UniquePath("0.bin");
    Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), 5, Target());
    ASSERT_EQ(0, outcome.result);
    EXPECT_TRUE(FileExistsW(Target()));
    EXPECT_EQ("", ReadFileBytes(Target()));
    EXPECT_TRUE(RangesOf(RequestsFor(path)).empty());
    EXPECT_TRUE(outcome.Progress().empty());
}

// --- Events and results ---------------------------------------------------------

TEST_F(DownloadTest, ReportsStartSizeProgressAndEndWithTheUserValue)
{
    Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, "1048579.bin"), 3, Target());
    ASSERT_EQ(0, outcome.result);
    ASSERT_GE(outcome.events.size(), 4u);
    EXPECT_EQ(kDownloadEventStart, outcome.events.front().code);
    EXPECT_EQ(0, outcome.events.front().first);
    EXPECT_EQ(kDownloadEventSize, outcome.events[1].code);
    EXPECT_EQ(1048579, outcome.events[1].first);
    EXPECT_EQ(kDownloadEventEnd, outcome.events.back().code);
    EXPECT_EQ(0, outcome.events.back().first);
    EXPECT_GE(outcome.events.back().second, 0);
    int previous = 0;
    for (size_t i = 2; i + 1 < outcome.events.size(); ++i) {
        const Event& e = outcome.events[i];
        EXPECT_EQ(kDownloadEventProgress, e.code);
        EXPECT_EQ(1048579, e.second);
        EXPECT_GT(e.first, previous) << "written totals only grow while no attempt fails";
        previous = e.first;
    }
    EXPECT_EQ(1048579, previous);
    EXPECT_EQ(0xC0FFEEu, g_lastUserData);
}

TEST_F(DownloadTest, HttpDownloadAnswersSuccessWithOrWithoutACancel)
{
    DownloadParam param;
    param.nDownloadThread = 2;
    param.strDownloadUrl = ServerUrl(ServerPort::kTls, true, "1000.bin");
    param.strSavePath = Target();
    CDownloadCancel cancel;
    EXPECT_TRUE(HttpDownload(&param, nullptr, &cancel));
    EXPECT_FALSE(cancel.IsCancelled());
    EXPECT_EQ(ServedFile("1000.bin"), ReadFileBytes(Target()));
    EXPECT_TRUE(HttpDownload(&param, nullptr, nullptr));
    param.nDownloadThread = 0;
    EXPECT_FALSE(HttpDownload(&param, nullptr, nullptr));
}

TEST_F(DownloadTest, ZeroThreadsFailWithMinusOneBeforeAnyRequest)
{
    LogCapture log;
    std::string path = UniquePath("1000.bin");
    Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), 0, Target());
    EXPECT_EQ(-1, outcome.result);
    EXPECT_TRUE(log.Contains("ERR:invalid param (nDownloadThread = 0)")) << log.Text();
    EXPECT_TRUE(log.Contains("ERR:CheckParam fail!"));
    EXPECT_TRUE(log.Contains("HttpDownload,ret = -1 (time = 0 \xC3\xEB)")) << log.Text();
    EXPECT_TRUE(RequestsFor(path).empty());
    ASSERT_EQ(2u, outcome.events.size());
    EXPECT_EQ(kDownloadEventStart, outcome.events[0].code);
    EXPECT_EQ(kDownloadEventEnd, outcome.events[1].code);
    EXPECT_EQ(-1, outcome.events[1].first);
}

TEST_F(DownloadTest, AnEmptyUrlFailsWithMinusOne)
{
    LogCapture log;
    Outcome outcome = RunDownload(L"", 5, Target());
    EXPECT_EQ(-1, outcome.result);
    EXPECT_TRUE(log.Contains("ERR:invalid param (strDownloadUrl)")) << log.Text();
    ASSERT_EQ(2u, outcome.events.size());
    EXPECT_EQ(-1, outcome.events[1].first);
}

TEST_F(DownloadTest, MoreThanSixtyFourThreadsAreCutToSixtyFour)
{
    LogCapture log;
    std::string path = UniquePath("102401.bin");
    ASSERT_EQ(0, RunDownload(ServerUrl(ServerPort::kTls, true, path), 100, Target()).result);
    EXPECT_TRUE(log.Contains("DownLoadContent: ThreadNum = 64 (request thread num = 100)")) << log.Text();
    EXPECT_EQ(64u, RangesOf(RequestsFor(path)).size());
    EXPECT_EQ(Sha256(ServedFile("102401.bin")), Sha256(ReadFileBytes(Target())));
}

TEST_F(DownloadTest, AWantedCountWithinLimitsIsLoggedAlone)
{
    LogCapture log;
    ASSERT_EQ(0, RunDownload(ServerUrl(ServerPort::kTls, true, "1000.bin"), 5, Target()).result);
    EXPECT_TRUE(log.Contains("DownLoadContent: ThreadNum = 5\r\n")) << log.Text();
    EXPECT_TRUE(log.Contains("WaitForMultipleObjects end! WaitRet=0\n")) << log.Text();
    EXPECT_EQ(5u, log.Count("] SUCCCESS!"));
}

TEST_F(DownloadTest, ASavePathWithForwardSlashesAndDoubledBackslashesIsNormalisedAndCreated)
{
    std::wstring messy = folder_.Path() + L"/new//deeper\\\\deepest/file.bin";
    Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, "1000.bin"), 3, messy);
    ASSERT_EQ(0, outcome.result);
    std::wstring clean = folder_.Path() + L"\\new\\deeper\\deepest\\file.bin";
    EXPECT_EQ(clean, outcome.savePath);
    EXPECT_EQ(ServedFile("1000.bin"), ReadFileBytes(clean));
}

TEST_F(DownloadTest, AFolderThatCannotBeMadeFailsWithMinusOne)
{
    LogCapture log;
    WriteFileBytes(Target(L"blocker"), "a file where a folder should go");
    Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, "1000.bin"), 3, Target(L"blocker\\sub\\x.bin"));
    EXPECT_EQ(-1, outcome.result);
    EXPECT_TRUE(log.Contains("ERR:make dir (" + ToUtf8(Target(L"blocker\\sub")) + ") fail!")) << log.Text();
}

TEST_F(DownloadTest, AnOutputFileThatCannotBeOpenedFailsWithMinusFourBeforeAnyGet)
{
    LogCapture log;
    CreateDirectoryW(Target(L"folder.bin").c_str(), nullptr);
    std::string path = UniquePath("1000.bin");
    Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), 3, Target(L"folder.bin"));
    EXPECT_EQ(-4, outcome.result);
    EXPECT_TRUE(log.Contains("ERR:Open file fail! (" + ToUtf8(Target(L"folder.bin")) + ")")) << log.Text();
    EXPECT_TRUE(log.Contains("ERR:DownLoadContent fail!"));
    EXPECT_TRUE(RangesOf(RequestsFor(path)).empty());
}

// --- Size query -----------------------------------------------------------------

TEST_F(DownloadTest, QueryUrlFileSizeAsksWithHeadOverWinHttp)
{
    std::string path = UniquePath("1048579.bin");
    EXPECT_EQ(1048579, QueryUrlFileSize(ServerUrl(ServerPort::kTls, true, path)));
    auto served = RequestsFor(path);
    ASSERT_EQ(1u, served.size());
    EXPECT_EQ("HEAD", served[0].method);
}

TEST_F(DownloadTest, QueryUrlFileSizeFallsBackToAWinInetGet)
{
    CBaseRequest::SetBrokenBackEndForTesting("WinHttp");
    std::string path = UniquePath("1000.bin");
    EXPECT_EQ(1000, QueryUrlFileSize(ServerUrl(ServerPort::kTls, true, path)));
    auto served = RequestsFor(path);
    ASSERT_EQ(1u, served.size());
    EXPECT_EQ("GET", served[0].method);
    EXPECT_EQ("-", served[0].range);
}

TEST_F(DownloadTest, AnErrorPageIsNoSize)
{
    for (const char* status : {"404", "500"}) {
        LogCapture log;
        std::string path = UniquePath(std::string("status=") + status + "/1000.bin");
        EXPECT_EQ(0, QueryUrlFileSize(ServerUrl(ServerPort::kTls, true, path)));
        Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), 3, Target());
        EXPECT_EQ(-3, outcome.result);
        EXPECT_TRUE(log.Contains(std::string("ERR:[WinHttp] size query answered with status ") + status)) << log.Text();
        EXPECT_TRUE(log.Contains(std::string("ERR:[Internet] size query answered with status ") + status));
        EXPECT_TRUE(log.Contains("ERR:GetDownloadFileSize fail!"));
        EXPECT_TRUE(RangesOf(RequestsFor(path)).size() == 2u) << "only the two size queries' GET";
    }
}

TEST_F(DownloadTest, AMissingContentLengthIsNoSize)
{
    EXPECT_EQ(0, QueryUrlFileSize(ServerUrl(ServerPort::kTls, true, "no-length/1000.bin")));
    EXPECT_EQ(-3, RunDownload(ServerUrl(ServerPort::kTls, true, "no-length/1000.bin"), 3, Target()).result);
}

TEST_F(DownloadTest, TwoGibibytesOrMoreFailTheSizeQueryCleanly)
{
    for (const char* length : {"2147483648", "4294967297"}) {
        LogCapture log;
        std::string path = UniquePath(std::string("length=") + length + "/1000.bin");
        Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), 3, Target());
        EXPECT_EQ(-3, outcome.result) << length;
        EXPECT_TRUE(log.Contains(std::string("Content-Length ") + length + " does not fit in 32 bits")) << log.Text();
        for (const auto& e : outcome.events) EXPECT_NE(kDownloadEventSize, e.code);
        EXPECT_TRUE(RangesOf(RequestsFor(path)).size() <= 1u) << "no segment GET";
    }
}

TEST_F(DownloadTest, AnHttpsAddressIsNotDownloadedFromAPlainOnlyHost)
{
    std::string path = UniquePath("plain-only/1000.bin");
    EXPECT_EQ(-3, RunDownload(ServerUrl(ServerPort::kDual, true, path), 3, Target()).result);
    for (const auto& r : RequestsFor(path)) EXPECT_EQ("tls", r.scheme);
}

TEST_F(DownloadTest, AnHttpsDownloadRedirectedToHttpFailsWithoutAClearTextByte)
{
    // The size query (HEAD over WinHTTP, then GET over WinINet) is redirected, or
    // only the segments' GETs are, over either back-end.
    struct Case {
        const char* directive;
        BackEnd backEnd;
        int result;
    };
    for (const Case& c : {Case{"redirect=http", kWinHttp, -3}, Case{"get-redirect=http", kWinHttp, -4},
                          Case{"get-redirect=http", kWinInet, -4}}) {
        SteerTo(c.backEnd);
        std::string path = UniquePath(std::string(c.directive) + "/1000.bin");
        EXPECT_EQ(c.result, RunDownload(ServerUrl(ServerPort::kTls, true, path), 2, Target()).result) << c.directive;
        EXPECT_EQ(std::vector<std::string>(), ClearTextWith(path.substr(0, path.find('/')))) << c.directive;
        for (const auto& r : RequestsFor(path)) {
            if (r.method == "GET") {
                EXPECT_EQ("302", r.status) << "only the refused redirects";
            }
        }
    }
}

TEST_F(DownloadTest, UntrustedExpiredAndWrongHostCertificatesFailTheDownload)
{
    for (ServerPort port : {ServerPort::kSelfSigned, ServerPort::kExpired, ServerPort::kWrongHost}) {
        EXPECT_EQ(-3, RunDownload(ServerUrl(port, true, UniquePath("1000.bin")), 2, Target()).result)
            << static_cast<int>(port);
        EXPECT_EQ(0, QueryUrlFileSize(ServerUrl(port, true, "1000.bin")));
    }
}

// --- Segment answers that must not reach the file -------------------------------

TEST_F(DownloadTest, AServerThatIgnoresRangesFailsElevenTimesPerSegment)
{
    LogCapture log;
    std::string path = UniquePath("ignore-range/1000.bin");
    Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), 3, Target());
    EXPECT_EQ(-4, outcome.result);
    EXPECT_EQ(33u, RangesOf(RequestsFor(path)).size());
    EXPECT_EQ(33u, log.Count("answered with status 200")) << log.Text();
    EXPECT_EQ(3u, log.Count("] Request fail,  retry 10...("));
    EXPECT_TRUE(outcome.Progress().empty()) << "no byte of a wrong answer is written";
}

TEST_F(DownloadTest, AServerThatIgnoresRangesServesASingleSegmentDownload)
{
    std::string path = UniquePath("ignore-range/1000.bin");
    ASSERT_EQ(0, RunDownload(ServerUrl(ServerPort::kTls, true, path), 1, Target()).result);
    EXPECT_EQ(ServedFile("1000.bin"), ReadFileBytes(Target()));
}

TEST_F(DownloadTest, AnErrorStatusOnTheGetFailsTheSegment)
{
    LogCapture log;
    std::string path = UniquePath("get-status=500/1000.bin");
    EXPECT_EQ(-4, RunDownload(ServerUrl(ServerPort::kTls, true, path), 1, Target()).result);
    EXPECT_EQ(11u, RangesOf(RequestsFor(path)).size());
    EXPECT_TRUE(log.Contains("segment 0 (bytes 0-999) answered with status 500")) << log.Text();
    EXPECT_EQ("", ReadFileBytes(Target())) << "the error page is not the file";
}

TEST_F(DownloadTest, ALongerBodyNeverWritesPastItsSegment)
{
    LogCapture log;
    std::string path = UniquePath("long=5000/1000.bin");
    EXPECT_EQ(-4, RunDownload(ServerUrl(ServerPort::kTls, true, path), 1, Target()).result);
    EXPECT_LE(ReadFileBytes(Target()).size(), 1000u);
    EXPECT_TRUE(log.Contains("segment 0 answered 6000 bytes for its 1000")) << log.Text();

    // Once the server mends, the retried segments leave the neighbours intact.
    std::string once = UniquePath("times=2/long=200000/1048579.bin");
    ASSERT_EQ(0, RunDownload(ServerUrl(ServerPort::kTls, true, once), 3, Target()).result);
    EXPECT_EQ(Sha256(ServedFile("1048579.bin")), Sha256(ReadFileBytes(Target())));
}

// --- Retries --------------------------------------------------------------------

TEST_F(DownloadTest, AFailedFirstAttemptIsRetriedAfterTwoSeconds)
{
    DownloadTesting::SetRetryPause(2000);
    LogCapture log;
    std::string path = UniquePath("fail=1/1000.bin");
    Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), 1, Target());
    ASSERT_EQ(0, outcome.result);
    EXPECT_GE(outcome.elapsedMs, 1900u);
    EXPECT_EQ(ServedFile("1000.bin"), ReadFileBytes(Target()));
    auto served = RequestsFor(path);
    ASSERT_EQ(3u, served.size());  // HEAD, then the 503 and the good GET
    EXPECT_EQ("503", served[1].status);
    EXPECT_EQ("206", served[2].status);
    for (const auto& r : served) EXPECT_EQ(PortOf(ServerPort::kTls), r.port) << "the URL's port on every attempt";
    EXPECT_TRUE(log.Contains("][0][WinHttp] Request fail,  retry 0...(WinHttp fail:1, Internet fail:0)")) << log.Text();
}

TEST_F(DownloadTest, ACutOrShortBodyIsRetriedAndNoByteIsCountedTwice)
{
    for (const char* fault : {"drop=300000", "short=10"}) {
        LogCapture log;
        std::string path = UniquePath(std::string("times=2/") + fault + "/1048579.bin");
        Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), 3, Target());
        ASSERT_EQ(0, outcome.result) << fault;
        EXPECT_EQ(Sha256(ServedFile("1048579.bin")), Sha256(ReadFileBytes(Target())));
        EXPECT_EQ(5u, RangesOf(RequestsFor(path)).size()) << "three segments, two of them twice";
        auto progress = outcome.Progress();
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(1048579, progress.back());
        EXPECT_LE(*std::max_element(progress.begin(), progress.end()), 1048579);
        EXPECT_EQ(2u, log.Count("] Request fail,  retry 0...")) << log.Text();
    }
}

// --- Steering between the back-ends ----------------------------------------------

TEST_F(DownloadTest, ABrokenWinHttpSendsTheSegmentsToWinInet)
{
    CBaseRequest::SetBrokenBackEndForTesting("WinHttp");
    LogCapture log;
    std::string path = UniquePath("102401.bin");
    ASSERT_EQ(0, RunDownload(ServerUrl(ServerPort::kTls, true, path), 5, Target()).result);
    EXPECT_EQ(Sha256(ServedFile("102401.bin")), Sha256(ReadFileBytes(Target())));
    int winHttp = 0, internet = 0;
    DownloadTesting::GetFailureCounters(winHttp, internet);
    EXPECT_GE(winHttp, 1) << "the first attempt of the first segment uses WinHTTP";
    EXPECT_LE(winHttp, 5) << "at most the first attempt of each segment";
    EXPECT_EQ(0, internet);
    EXPECT_EQ(static_cast<size_t>(winHttp), log.Count("[WinHttp] Request fail,  retry 0..."));
    EXPECT_EQ(6u, RequestsFor(path).size()) << "one size query, one GET per segment";

    // From now on the counters send every attempt to WinINet first.
    LogCapture again;
    ASSERT_EQ(0, RunDownload(ServerUrl(ServerPort::kTls, true, "102401.bin"), 5, Target()).result);
    int winHttpAfter = 0;
    DownloadTesting::GetFailureCounters(winHttpAfter, internet);
    EXPECT_EQ(winHttp, winHttpAfter);
    EXPECT_EQ(0u, again.Count("Request fail"));
}

TEST_F(DownloadTest, ABrokenWinInetSendsTheSegmentsBackToWinHttp)
{
    CBaseRequest::SetBrokenBackEndForTesting("Internet");
    SteerTo(kWinInet);
    std::string path = UniquePath("1000.bin");
    ASSERT_EQ(0, RunDownload(ServerUrl(ServerPort::kTls, true, path), 1, Target()).result);
    int winHttp = 0, internet = 0;
    DownloadTesting::GetFailureCounters(winHttp, internet);
    // W=1 N=0: WinINet fails; W=N=1 on attempt 1 (odd): WinINet again; then N>W.
    EXPECT_EQ(1, winHttp);
    EXPECT_EQ(2, internet);
    EXPECT_EQ(ServedFile("1000.bin"), ReadFileBytes(Target()));
}

// --- Cancel and stalls --------------------------------------------------------------

namespace {

// Cancels after a delay on a thread of its own; remembers when.
class CancelLater {
public:
    CancelLater(CDownloadCancel& cancel, DWORD delayMs)
        : thread_([this, &cancel, delayMs] {
              Sleep(delayMs);
              cancelledAt_ = GetTickCount();
              cancel.Cancel();
          })
    {
    }
    ~CancelLater() { thread_.join(); }
    DWORD CancelledAt() const { return cancelledAt_; }

private:
    std::atomic<DWORD> cancelledAt_{0};
    std::thread thread_;
};

// A cancelled download ends with its own code within a second of the cancel, logs
// it once, and counts as failed only the attempts the server itself refused.
void ExpectCancelled(const std::string& path, int threads, const std::wstring& target, DWORD delayMs)
{
    std::wstring url = ServerUrl(ServerPort::kTls, true, path);
    LogCapture log;
    CDownloadCancel cancel;
    Outcome outcome;
    DWORD endedAt = 0, cancelledAt = 0;
    {
        CancelLater later(cancel, delayMs);
        outcome = RunDownload(url, threads, target, &cancel);
        endedAt = GetTickCount();
        cancelledAt = later.CancelledAt();
    }
    EXPECT_EQ(-5, outcome.result) << log.Text();
    ASSERT_NE(0u, cancelledAt) << "the download ended before the cancel";
    EXPECT_LT(endedAt - cancelledAt, 1000u);
    printf("ended %lu ms after the cancel\n", endedAt - cancelledAt);
    ASSERT_FALSE(outcome.events.empty());
    EXPECT_EQ(kDownloadEventEnd, outcome.events.back().code);
    EXPECT_EQ(-5, outcome.events.back().first);
    EXPECT_EQ(1u, log.Count("WARN:check user cancle!")) << log.Text();
    size_t refused = 0;
    for (const auto& r : RequestsFor(path)) refused += r.status == "503";
    EXPECT_EQ(refused, log.Count("Request fail")) << log.Text();
    EXPECT_TRUE(log.Contains("HttpDownload,ret = -5 (")) << log.Text();
    EXPECT_TRUE(cancel.IsCancelled());
}

}  // namespace

class Cancel : public DownloadTest, public ::testing::WithParamInterface<BackEnd> {};

TEST_P(Cancel, EndsEverySegmentWithinASecond)
{
    // Blocked in a read, blocked waiting for an answer, and in the pause between two
    // attempts: each segment ends within a second of the cancel, on either stack.
    DownloadTesting::SetRetryPause(2000);
    for (const char* directive : {"stall=200000", "silent", "fail=100"}) {
        SCOPED_TRACE(directive);
        SteerTo(GetParam());
        ExpectCancelled(UniquePath(std::string(directive) + "/1048579.bin"), 3, Target(), 800);
    }
}

INSTANTIATE_TEST_SUITE_P(BothStacks, Cancel, ::testing::Values(kWinHttp, kWinInet),
                         [](const auto& info) { return info.param == kWinHttp ? "WinHttp" : "WinInet"; });

TEST_F(DownloadTest, ACancelSetBeforeTheStartIsKeptAndNothingIsAsked)
{
    LogCapture log;
    CDownloadCancel cancel;
    cancel.Cancel();
    std::string path = UniquePath("1000.bin");
    Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), 3, Target(), &cancel);
    EXPECT_EQ(-5, outcome.result);
    EXPECT_TRUE(cancel.IsCancelled());
    EXPECT_TRUE(RequestsFor(path).empty());
    EXPECT_FALSE(FileExistsW(Target())) << "not even the output file is made";
    ASSERT_EQ(2u, outcome.events.size());
    EXPECT_EQ(-5, outcome.events[1].first);
    EXPECT_TRUE(log.Contains("WARN:check user cancle!")) << log.Text();
}

TEST_F(DownloadTest, ACancelDuringTheSizeQueryEndsAtOnce)
{
    // The size query itself never answers.
    ExpectCancelled(UniquePath("silent-head/silent/1000.bin"), 3, Target(), 1000);
}

TEST_F(DownloadTest, TheCancelWaitAnswersWhetherItWasSet)
{
    CDownloadCancel cancel;
    DWORD begin = GetTickCount();
    EXPECT_FALSE(cancel.Wait(200));
    EXPECT_GE(GetTickCount() - begin, 150u);
    std::thread([&cancel] {
        Sleep(100);
        cancel.Cancel();
    }).join();
    begin = GetTickCount();
    EXPECT_TRUE(cancel.Wait(5000));
    EXPECT_LT(GetTickCount() - begin, 100u) << "a cancel set before the wait ends it at once";
}

class Stall : public DownloadTest, public ::testing::WithParamInterface<BackEnd> {};

TEST_P(Stall, AConnectionThatFallsSilentIsGivenUpAndRetried)
{
    CBaseRequest::SetStallLimitForTesting(1500);
    for (const char* directive : {"times=1/stall=300000", "times=1/silent"}) {
        SCOPED_TRACE(directive);
        LogCapture log;
        SteerTo(GetParam());
        std::string path = UniquePath(std::string(directive) + "/1048579.bin");
        Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), 1, Target());
        ASSERT_EQ(0, outcome.result) << log.Text();
        EXPECT_EQ(Sha256(ServedFile("1048579.bin")), Sha256(ReadFileBytes(Target())));
        EXPECT_EQ(1u, log.Count("] Request fail,  retry 0...")) << log.Text();
        EXPECT_LT(outcome.elapsedMs, 10000u);
    }
}

INSTANTIATE_TEST_SUITE_P(BothStacks, Stall, ::testing::Values(kWinHttp, kWinInet),
                         [](const auto& info) { return info.param == kWinHttp ? "WinHttp" : "WinInet"; });
