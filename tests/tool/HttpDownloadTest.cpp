#include "tool/HttpDownload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <cstdio>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "DownloadTestServer.h"
#include "TestSupport.h"
#include "tool/BaseRequest.h"
#include "tool/DownloadState.h"
#include "tool/SegmentPlan.h"

namespace {

struct Event {
    int code;
    long long first, second;
};

std::mutex g_eventLock;
std::vector<Event> g_events;
DWORD g_lastUserData = 0;

// Set by a test: the download is cancelled once this many bytes are written.
CDownloadCancel* g_cancelOnProgress = nullptr;
long long g_cancelAtBytes = 0;

void RecordEvent(int code, long long first, long long second, DWORD_PTR userData)
{
    std::lock_guard<std::mutex> lock(g_eventLock);
    g_events.push_back({code, first, second});
    g_lastUserData = userData;
    if (code == kDownloadEventProgress && g_cancelOnProgress && first >= g_cancelAtBytes) g_cancelOnProgress->Cancel();
}

struct Outcome {
    int result = 1;
    std::vector<Event> events;
    std::wstring savePath;  // as the download normalised it
    DWORD elapsedMs = 0;

    std::vector<long long> Progress() const
    {
        std::vector<long long> totals;
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
        DownloadTesting::SetMinPiece(1 << 20);
        DownloadTesting::SetStateInterval(2000);
    }

    std::wstring Target(const wchar_t* name = L"out.bin") const { return folder_.Path() + L"\\" + name; }

    TempFolder folder_;
};

// "bytes=A-B" as [A, B + 1).
ByteRange RangeOf(const std::string& header)
{
    long long first = -1, last = -2;
    sscanf(header.c_str(), "bytes=%lld-%lld", &first, &last);
    return {first, last + 1};
}

std::vector<ServedRequest> GetsOf(const std::vector<ServedRequest>& served)
{
    std::vector<ServedRequest> gets;
    for (const auto& r : served) {
        if (r.method == "GET") gets.push_back(r);
    }
    return gets;
}

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
    long long previous = 0;
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
    EXPECT_EQ("bytes=0-0", served[0].range) << "one byte: WinINet would drain a whole body when closed";
    EXPECT_LE(BytesSentFor(path), 1);
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

TEST_F(DownloadTest, AMissingContentLengthIsNoSizeUnlessARangeAnswerNamesTheTotal)
{
    // WinHTTP's HEAD finds no length; WinINet's one-byte GET reads the total from
    // Content-Range, and the segments' bodies end where their ranges do.
    EXPECT_EQ(1000, QueryUrlFileSize(ServerUrl(ServerPort::kTls, true, "no-length/1000.bin")));
    EXPECT_EQ(0, RunDownload(ServerUrl(ServerPort::kTls, true, "no-length/1000.bin"), 3, Target()).result);
    EXPECT_EQ(ServedFile("1000.bin"), ReadFileBytes(Target()));
    // Without ranges nothing names the size.
    EXPECT_EQ(0, QueryUrlFileSize(ServerUrl(ServerPort::kTls, true, "ignore-range/no-length/1000.bin")));
    EXPECT_EQ(-3,
              RunDownload(ServerUrl(ServerPort::kTls, true, "ignore-range/no-length/1000.bin"), 3, Target()).result);
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
        // Which segments meet the two faults depends on the order the requests reach the
        // server: one segment may meet both.
        EXPECT_EQ(2u, log.Count("] Request fail,  retry ")) << log.Text();
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
    CBaseRequest::SetStallLimitForTesting(1000);
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

// --- Continue instead of restarting ---------------------------------------------

class Continue : public DownloadTest, public ::testing::WithParamInterface<BackEnd> {};

TEST_P(Continue, ACutAttemptAsksOnlyForTheRestOfItsRange)
{
    // The body breaks off after 300000 bytes: the next GET starts where the file ends,
    // at most one read piece earlier.
    for (const char* cut : {"drop=300000", "stall=300000"}) {
        SCOPED_TRACE(cut);
        CBaseRequest::SetStallLimitForTesting(1000);
        SteerTo(GetParam());
        std::string path = UniquePath(std::string("times=1/") + cut + "/1048579.bin");
        Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), 1, Target());
        ASSERT_EQ(0, outcome.result);
        EXPECT_EQ(Sha256(ServedFile("1048579.bin")), Sha256(ReadFileBytes(Target())));
        auto gets = GetsOf(RequestsFor(path));
        ASSERT_EQ(2u, gets.size());
        ByteRange second = RangeOf(gets[1].range);
        EXPECT_LE(second.llFirst, 300000);
        EXPECT_GE(second.llFirst, 300000 - 102400) << gets[1].range;
        EXPECT_EQ(1048579, second.llEnd);
        EXPECT_LE(BytesSentFor(path), 1048579 + 102400) << "at most one read piece fetched twice";
        auto progress = outcome.Progress();
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end())) << "kept bytes are never taken back";
        EXPECT_EQ(1048579, progress.back());
    }
}

INSTANTIATE_TEST_SUITE_P(BothStacks, Continue, ::testing::Values(kWinHttp, kWinInet),
                         [](const auto& info) { return info.param == kWinHttp ? "WinHttp" : "WinInet"; });

TEST_F(DownloadTest, AnAttemptThatMadeProgressIsContinuedAtOnceAndDoesNotUseUpTheEleven)
{
    // Every GET breaks off after 200000 bytes: 25 attempts, none of them wasted.
    DownloadTesting::SetRetryPause(2000);
    LogCapture log;
    std::string path = UniquePath("drop=200000/5000000.bin");
    Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), 1, Target());
    ASSERT_EQ(0, outcome.result) << log.Text();
    EXPECT_EQ(Sha256(ServedFile("5000000.bin")), Sha256(ReadFileBytes(Target())));
    EXPECT_LT(outcome.elapsedMs, 15000u) << "no pause after an attempt that wrote bytes (24 would take 48 s)";
    EXPECT_GE(GetsOf(RequestsFor(path)).size(), 25u);
    EXPECT_LE(BytesSentFor(path), 5000000 + 30 * 102400);
}

// --- Taking over the rest of a slow range ---------------------------------------

TEST_F(DownloadTest, ASegmentThatRunsOutOfWorkTakesOverTheTailOfTheSlowestRange)
{
    // Every GET from byte 0 goes at 150000 bytes per second, the others at full
    // speed: that range alone would take 6.7 s.
    DownloadTesting::SetMinPiece(64 * 1024);
    LogCapture log;
    std::string path = UniquePath("slow-first=150000/5000000.bin");
    Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), 5, Target());
    ASSERT_EQ(0, outcome.result) << log.Text();
    EXPECT_EQ(Sha256(ServedFile("5000000.bin")), Sha256(ReadFileBytes(Target())));
    EXPECT_LT(outcome.elapsedMs, 3500u);
    // The slow connection is replaced, or its range taken over, or both.
    EXPECT_GE(log.Count("] takes over bytes ") + log.Count("is far slower than the others: a new one goes on"), 1u)
        << log.Text();
    EXPECT_EQ(0u, log.Count("[5]")) << "never more segments than threads";
    // Our reads never overlap (see the plan's tests); the server may have sent some of a
    // range ahead into the connection before the range shrank.
    EXPECT_LE(BytesSentFor(path), 5000000 * 5 / 4);
    auto progress = outcome.Progress();
    EXPECT_EQ(5000000, progress.back());
    EXPECT_EQ(5000000, *std::max_element(progress.begin(), progress.end()));
}

// --- One file, provably ------------------------------------------------------------

TEST_F(DownloadTest, EveryRangedGetCarriesIfRangeWithTheValidatorOfTheSizeQuery)
{
    // A strong ETag is the validator; without one, or with a weak one, the date.
    struct Case {
        const char* directive;
        bool etag;
    };
    for (Case c : {Case{"", true}, Case{"no-etag/", false}, Case{"weak-etag/", false}}) {
        SCOPED_TRACE(c.directive);
        LogCapture log;
        std::string path = UniquePath(std::string(c.directive) + "1048579.bin");
        ASSERT_EQ(0, RunDownload(ServerUrl(ServerPort::kTls, true, path), 3, Target()).result);
        auto gets = GetsOf(RequestsFor(path));
        ASSERT_EQ(3u, gets.size());
        for (const auto& get : gets) {
            EXPECT_EQ(c.etag ? '"' : 'T', get.ifRange[0]) << get.ifRange;  // "..." or Thu,_01_...
            EXPECT_EQ("206", get.status);
        }
        EXPECT_TRUE(log.Contains(c.etag ? "bytes, ETag \"" : "bytes, Last-Modified ")) << log.Text();
    }
}

TEST_F(DownloadTest, WithoutAValidatorNothingIsKeptForALaterAttempt)
{
    LogCapture log;
    std::string path = UniquePath("no-validator/dead-after=400000/1048579.bin");
    EXPECT_EQ(-4, RunDownload(ServerUrl(ServerPort::kTls, true, path), 1, Target()).result);
    EXPECT_TRUE(log.Contains("the server names no validator")) << log.Text();
    for (const auto& get : GetsOf(RequestsFor(path))) EXPECT_EQ("-", get.ifRange);
    EXPECT_FALSE(FileExistsW(DownloadStatePath(Target())));
    std::string again = UniquePath("no-validator/1048579.bin");
    ASSERT_EQ(0, RunDownload(ServerUrl(ServerPort::kTls, true, again), 1, Target()).result);
    EXPECT_EQ("bytes=0-1048578", GetsOf(RequestsFor(again)).at(0).range) << "from the start";
}

TEST_F(DownloadTest, AFileReplacedDuringTheDownloadIsDownloadedAgainFromTheStartOnce)
{
    // Two GETs see the first version; the third finds another file of the same size.
    LogCapture log;
    std::string path = UniquePath("replace-after=2/1048579.bin");
    Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), 3, Target());
    ASSERT_EQ(0, outcome.result) << log.Text();
    EXPECT_EQ(Sha256(ServedFile("1048579.bin.v2")), Sha256(ReadFileBytes(Target()))) << "the new file, whole";
    EXPECT_TRUE(log.Contains("the file changed on the server")) << log.Text();
    EXPECT_TRUE(log.Contains("downloading it again from the start")) << log.Text();
    auto served = RequestsFor(path);
    EXPECT_EQ(2, std::count_if(served.begin(), served.end(), [](const ServedRequest& r) { return r.method == "HEAD"; }));
    EXPECT_EQ(2u, std::count_if(outcome.events.begin(), outcome.events.end(),
                                [](const Event& e) { return e.code == kDownloadEventSize; }));
}

TEST_F(DownloadTest, AFileThatKeepsChangingFailsCleanly)
{
    LogCapture log;
    std::string path = UniquePath("replace-every=2/1048579.bin");
    Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), 3, Target());
    EXPECT_EQ(-4, outcome.result);
    EXPECT_TRUE(log.Contains("ERR:the file changed on the server again")) << log.Text();
    EXPECT_LE(GetsOf(RequestsFor(path)).size(), 6u) << "no retries of a changed file";
    EXPECT_FALSE(FileExistsW(DownloadStatePath(Target()))) << "nothing to continue from";
}

TEST_F(DownloadTest, PermanentAnswersEndTheDownloadAtOnce)
{
    // Not found, gone, a range the file no longer has, and a file that is suddenly of
    // another size (with no validator to tell a new file): no pause, no retry.
    DownloadTesting::SetRetryPause(2000);
    for (const char* directive : {"get-status=404", "get-status=410", "get-status=416",
                                  "no-validator/resize-after=1"}) {
        SCOPED_TRACE(directive);
        LogCapture log;
        std::string path = UniquePath(std::string(directive) + "/1048579.bin");
        Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), 3, Target());
        EXPECT_EQ(-4, outcome.result);
        EXPECT_LT(outcome.elapsedMs, 1500u);
        EXPECT_LE(GetsOf(RequestsFor(path)).size(), 3u) << "one GET per segment at most";
        EXPECT_TRUE(log.Contains("no attempt can succeed")) << log.Text();
        EXPECT_EQ(0u, log.Count("Request fail")) << log.Text();
    }
}

// --- Resume across Retry and across starts -----------------------------------------

TEST_F(DownloadTest, RetryContinuesFromTheStateFileBesideThePartialFile)
{
    // The server dies after 400000 bytes: the download fails, keeping what it wrote.
    std::string dying = UniquePath("dead-after=400000/1048579.bin");
    ASSERT_EQ(-4, RunDownload(ServerUrl(ServerPort::kTls, true, dying), 1, Target()).result);
    CDownloadState state;
    ASSERT_TRUE(state.Load(DownloadStatePath(Target())));
    EXPECT_EQ(1048579, state.llFileSize);
    EXPECT_TRUE(state.bETag);
    ASSERT_EQ(1u, state.done.size());
    EXPECT_EQ(0, state.done[0].llFirst);
    EXPECT_GE(state.done[0].llEnd, 400000 - 102400);

    // Retry: a new download of the same file asks only for what is missing.
    LogCapture log;
    std::string path = UniquePath("1048579.bin");
    Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), 3, Target());
    ASSERT_EQ(0, outcome.result) << log.Text();
    EXPECT_EQ(Sha256(ServedFile("1048579.bin")), Sha256(ReadFileBytes(Target())));
    EXPECT_TRUE(log.Contains("DownLoadContent: continuing, ")) << log.Text();
    for (const auto& get : GetsOf(RequestsFor(path))) EXPECT_GE(RangeOf(get.range).llFirst, state.done[0].llEnd);
    EXPECT_LE(BytesSentFor(dying) + BytesSentFor(path), 1048579 + 102400);
    EXPECT_EQ(state.done[0].llEnd, outcome.Progress().front()) << "the bar starts where the file is";
    EXPECT_FALSE(FileExistsW(DownloadStatePath(Target()))) << "success removes the state file";
}

TEST_F(DownloadTest, ACancelledDownloadContinuesInTheNextStart)
{
    std::string slow = UniquePath("rate=200000/1048579.bin");
    CDownloadCancel cancel;
    g_cancelOnProgress = &cancel;
    g_cancelAtBytes = 400000;
    Outcome cancelled = RunDownload(ServerUrl(ServerPort::kTls, true, slow), 3, Target(), &cancel);
    g_cancelOnProgress = nullptr;
    ASSERT_EQ(-5, cancelled.result);
    CDownloadState state;
    ASSERT_TRUE(state.Load(DownloadStatePath(Target())));
    EXPECT_GE(state.DoneBytes(), 400000) << "what was written is kept";

    std::string path = UniquePath("1048579.bin");
    ASSERT_EQ(0, RunDownload(ServerUrl(ServerPort::kTls, true, path), 3, Target()).result);
    EXPECT_EQ(Sha256(ServedFile("1048579.bin")), Sha256(ReadFileBytes(Target())));
    // A cancel loses what each connection had read into an unfinished piece.
    EXPECT_LE(BytesSentFor(slow) + BytesSentFor(path), 1048579 + 3 * 2 * 102400);
}

TEST_F(DownloadTest, TheStateFileNamesOnlyBytesThatAreInThePartialFile)
{
    DownloadTesting::SetStateInterval(100);
    std::string path = UniquePath("rate=400000/1048579.bin");
    std::string served = ServedFile("1048579.bin");
    std::atomic<bool> running{true};
    int checked = 0;
    std::thread reader([&] {
        while (running) {
            Sleep(150);
            CDownloadState state;
            if (!state.Load(DownloadStatePath(Target()))) continue;
            std::string partial = ReadFileBytes(Target());
            for (const ByteRange& range : state.done) {
                ASSERT_LE(range.llEnd, static_cast<long long>(partial.size()));
                EXPECT_EQ(served.substr(range.llFirst, range.Length()), partial.substr(range.llFirst, range.Length()))
                    << range.llFirst << "-" << range.llEnd;
            }
            ++checked;
        }
    });
    Outcome outcome = RunDownload(ServerUrl(ServerPort::kTls, true, path), 3, Target());
    running = false;
    reader.join();
    ASSERT_EQ(0, outcome.result);
    EXPECT_GE(checked, 3);
}

TEST_F(DownloadTest, AStateFileOfAnotherVersionOrAddressIsNotUsed)
{
    // Left by a download of the first version, cut short.
    std::string first = UniquePath("dead-after=400000/1048579.bin");
    ASSERT_EQ(-4, RunDownload(ServerUrl(ServerPort::kTls, true, first), 1, Target()).result);
    ASSERT_TRUE(FileExistsW(DownloadStatePath(Target())));
    // The server now has another file: everything is fetched again, from the start.
    std::string replaced = UniquePath("replace-after=0/1048579.bin");
    ASSERT_EQ(0, RunDownload(ServerUrl(ServerPort::kTls, true, replaced), 3, Target()).result);
    EXPECT_EQ(Sha256(ServedFile("1048579.bin.v2")), Sha256(ReadFileBytes(Target())));
    EXPECT_EQ(std::vector<std::string>({"bytes=0-349525", "bytes=349526-699051", "bytes=699052-1048578"}),
              RangesOf(RequestsFor(replaced)));

    // A date validator continues only at the same address: two files can share a date.
    std::string dated = UniquePath("no-etag/dead-after=400000/1048579.bin");
    ASSERT_EQ(-4, RunDownload(ServerUrl(ServerPort::kTls, true, dated), 1, Target()).result);
    std::string elsewhere = UniquePath("no-etag/1048579.bin");
    ASSERT_EQ(0, RunDownload(ServerUrl(ServerPort::kTls, true, elsewhere), 1, Target()).result);
    EXPECT_EQ("bytes=0-1048578", GetsOf(RequestsFor(elsewhere)).at(0).range);
}

TEST_F(DownloadTest, AStateFileThatDoesNotMatchThePartialFileIsNotUsed)
{
    std::string first = UniquePath("dead-after=400000/1048579.bin");
    ASSERT_EQ(-4, RunDownload(ServerUrl(ServerPort::kTls, true, first), 1, Target()).result);
    WriteFileBytes(Target(), "shortened by someone");
    LogCapture log;
    std::string path = UniquePath("1048579.bin");
    ASSERT_EQ(0, RunDownload(ServerUrl(ServerPort::kTls, true, path), 1, Target()).result);
    EXPECT_TRUE(log.Contains("the partial file is shorter than its state says")) << log.Text();
    EXPECT_EQ(Sha256(ServedFile("1048579.bin")), Sha256(ReadFileBytes(Target())));
}

// --- Sizes beyond 32 bits --------------------------------------------------------------

TEST_F(DownloadTest, AFileBeyondFourGibibytesIsMeasuredAndItsFarBytesWritten)
{
    // big.bin is sparse: 5 GiB + 12345 bytes, random around 2 GiB, 4 GiB and the end.
    // A partial file with everything else done proves the 64-bit offsets without
    // fetching gigabytes.
    const long long size = 5LL * 1024 * 1024 * 1024 + 12345;
    const std::vector<ByteRange> windows = {{(1LL << 31) - 300000, (1LL << 31) + 300000},
                                            {(1LL << 32) - 300000, (1LL << 32) + 300000},
                                            {size - 300000, size}};
    std::string measured = UniquePath("big.bin");
    EXPECT_EQ(size, QueryUrlFileSize(ServerUrl(ServerPort::kTls, true, measured)));
    CBaseRequest::SetBrokenBackEndForTesting("WinHttp");
    EXPECT_EQ(size, QueryUrlFileSize(ServerUrl(ServerPort::kTls, true, measured))) << "WinINet's GET";
    CBaseRequest::SetBrokenBackEndForTesting(nullptr);
    std::string path = UniquePath("big.bin");

    {
        UniqueFileHandle file(CreateFileW(Target().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_NE(INVALID_HANDLE_VALUE, file.Get());
        LARGE_INTEGER end;
        end.QuadPart = size;
        EXPECT_TRUE(SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.Get()));
    }
    CDownloadState state;
    state.llFileSize = size;
    state.bETag = true;
    state.strUrl = ServerUrl(ServerPort::kTls, true, path);
    {
        // The validator as the server names it.
        std::unique_ptr<CBaseRequest> head(CBaseRequest::CreateInstance(CBaseRequest::kWinHttpRequest));
        head->strVerb = L"HEAD";
        ASSERT_TRUE(head->OpenUrl(state.strUrl));
        ASSERT_TRUE(head->GetResponseHeader(L"ETag", state.strValidator));
    }
    state.done = CSegmentPlan::Complement(size, windows);
    ASSERT_TRUE(state.Save(DownloadStatePath(Target())));

    Outcome outcome = RunDownload(state.strUrl, 5, Target());
    ASSERT_EQ(0, outcome.result);
    ASSERT_GE(outcome.events.size(), 3u);
    EXPECT_EQ(size, outcome.events[1].first) << "event 1 carries the whole size";
    EXPECT_EQ(size, outcome.Progress().back());
    EXPECT_EQ(size, outcome.events[outcome.events.size() - 2].first);
    std::vector<std::string> expectedRanges;
    for (const ByteRange& w : windows) {
        expectedRanges.push_back("bytes=" + std::to_string(w.llFirst) + "-" + std::to_string(w.llEnd - 1));
    }
    EXPECT_EQ(expectedRanges, RangesOf(RequestsFor(path)));

    UniqueFileHandle file(
        CreateFileW(Target().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(INVALID_HANDLE_VALUE, file.Get());
    LARGE_INTEGER length{};
    EXPECT_TRUE(GetFileSizeEx(file.Get(), &length));
    EXPECT_EQ(size, length.QuadPart);
    UniqueFileHandle servedFile(CreateFileW(BuildPath(L"tests\\tool\\download-server\\files\\big.bin").c_str(),
                                            GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(INVALID_HANDLE_VALUE, servedFile.Get());
    for (const ByteRange& w : windows) {
        std::string ours(static_cast<size_t>(w.Length()), '\0'), theirs(ours);
        for (auto pair : {std::make_pair(file.Get(), &ours), std::make_pair(servedFile.Get(), &theirs)}) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(w.llFirst);
            at.OffsetHigh = static_cast<DWORD>(w.llFirst >> 32);
            DWORD read = 0;
            EXPECT_TRUE(ReadFile(pair.first, &(*pair.second)[0], static_cast<DWORD>(w.Length()), &read, &at));
        }
        EXPECT_EQ(Sha256(theirs), Sha256(ours)) << "bytes " << w.llFirst << "-" << w.llEnd;
        EXPECT_NE(std::string(ours.size(), '\0'), ours);
    }
    servedFile.Reset();
    file.Reset();
    DeleteFileW(Target().c_str());
}
