#include "tool/HttpDownload.h"

#include <process.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <memory>
#include <vector>

#include "base/FolderTree.h"
#include "net/ProxyCredentialStore.h"
#include "log/Log.h"
#include "tool/BaseRequest.h"
#include "tool/DetachedRequest.h"
#include "tool/DownloadState.h"
#include "tool/RegularFile.h"
#include "tool/SegmentPlan.h"

namespace {

constexpr int kMaxThreads = MAXIMUM_WAIT_OBJECTS;
constexpr int kMaxAttemptIndex = 10;  // eleven attempts, ten pauses
constexpr int kReadSize = 102400;
// An attempt that wrote at least one full read piece before it failed made progress:
// the next one continues at once and the attempt is not one of the eleven.
constexpr long long kProgressPiece = kReadSize;
constexpr DWORD kConnsPerServer = 50;
const wchar_t kFirstByteOnly[] = L"Range:bytes=0-0";
// A WinINet request drains what is left of its body when it is closed early (a cancel,
// a range taken over), so it asks for at most this much at a time.
constexpr long long kInternetWindow = 8LL << 20;
// Beyond the request's own time-outs, a wait for a request thread ends after this
// much more, should a platform not honour them.
constexpr DWORD kGuardMargin = 5000;

// Shared by every segment of every download in the process; never reset.
std::atomic<int> g_winHttpFailures{0};
std::atomic<int> g_internetFailures{0};
std::atomic<DWORD> g_retryPause{2000};
// About 1 MiB: below that a new ranged GET costs more than the bytes it would win.
std::atomic<long long> g_minPiece{1 << 20};
// A segment that would finish within half a second keeps its range (see CSegmentPlan).
constexpr double kMinRemainingMs = 500;
// How often a segment without work looks whether a range has become worth taking over.
constexpr DWORD kRetakeInterval = 250;
// A connection is judged against the others after this long; one far behind them is
// replaced, at most this often for one range (the whole path may just be slow).
constexpr unsigned long long kJudgeMs = 500;
constexpr int kMaxReplacements = 2;
// How often a segment looks at its request's progress, the cancel aside.
constexpr DWORD kWatchInterval = 250;
std::atomic<DWORD> g_stateInterval{2000};

// "/" to "\" and every run of backslashes to one.
void NormalisePath(std::wstring& path)
{
    std::wstring out;
    out.reserve(path.size());
    for (wchar_t c : path) {
        if (c == L'/') c = L'\\';
        if (c == L'\\' && !out.empty() && out.back() == L'\\') continue;
        out += c;
    }
    path.swap(out);
}

// The longest a request may take to answer: a secure attempt and, for an http://
// address, a plain one, each bounded by the stall limit in connect and in answer.
DWORD AnswerBound() { return 4 * CBaseRequest::StallLimit() + kGuardMargin; }
DWORD PieceBound() { return CBaseRequest::StallLimit() + kGuardMargin; }

// A header value that can go back to the server on a line of its own.
bool IsHeaderText(const std::wstring& text)
{
    if (text.empty() || text.size() > 1024) return false;
    for (wchar_t c : text) {
        if (c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

// "bytes <first>-<last>/<total>", total "*" when unknown (-1).
bool ParseContentRange(const std::wstring& text, long long& first, long long& last, long long& total)
{
    const wchar_t* at = text.c_str();
    auto number = [&at](long long& value) {
        if (*at < L'0' || *at > L'9') return false;
        value = 0;
        for (int digits = 0; *at >= L'0' && *at <= L'9'; ++at) {
            if (++digits > 18) return false;
            value = value * 10 + (*at - L'0');
        }
        return true;
    };
    if (wcsncmp(at, L"bytes ", 6) != 0) return false;
    at += 6;
    if (!number(first) || *at++ != L'-' || !number(last) || *at++ != L'/') return false;
    if (at[0] == L'*' && at[1] == L'\0') {
        total = -1;
        return true;
    }
    return number(total) && *at == L'\0';
}

// What a size query learnt about the file.
struct RemoteFile {
    long long llSize = 0;
    std::wstring strValidator;  // a strong entity tag, else a Last-Modified date, else empty
    bool bETag = false;
};

// One size query: a 2xx answer with a Content-Length. Ends at once, without a size,
// when the cancel is set.
bool QuerySizeOver(int type, const wchar_t* verb, const std::wstring& url, RemoteFile& file,
                   const CDownloadCancel* cancel)
{
    std::unique_ptr<CBaseRequest> request(CBaseRequest::CreateInstance(type));
    request->strVerb = verb;
    // Closing a WinINet request drains the rest of its body first (Wine drained
    // hundreds of megabytes): the GET asks for one byte, and the size comes from the
    // Content-Range of the answer.
    if (type == CBaseRequest::kInternetRequest) request->strHeaders = kFirstByteOnly;
    std::unique_ptr<CDetachedRequest> detached = CDetachedRequest::Start(std::move(request), url);
    if (!detached) return false;
    CDetachedRequest::WaitResult waited = detached->WaitForAnswer(cancel, AnswerBound());
    if (waited == CDetachedRequest::kTimedOut) {
        LOG_A("ERR:[%s] size query: no answer within %lu ms", detached->GetTypeName(), AnswerBound());
    }
    if (waited != CDetachedRequest::kReady) return false;
    const ResponseFacts& facts = detached->Facts();
    if (!facts.bSent || facts.dwStatus == 0) return false;
    if (facts.dwStatus < 200 || facts.dwStatus > 299) {
        LOG_A("ERR:[%s] size query answered with status %u", detached->GetTypeName(),
              static_cast<unsigned>(facts.dwStatus));
        return false;
    }
    long long first = 0, last = 0, total = -1;
    if (facts.dwStatus == 206) {
        if (!ParseContentRange(facts.strContentRange, first, last, total) || total < 0) {
            LOG_W(L"ERR:[%S] size query answered 206 with Content-Range (%s)", detached->GetTypeName(),
                  facts.strContentRange.c_str());
            return false;
        }
        file.llSize = total;
    } else if (facts.bLengthKnown) {
        file.llSize = facts.llContentLength;
    } else {
        return false;
    }
    // A weak entity tag cannot go into If-Range: servers never match it there.
    bool strongETag = IsHeaderText(facts.strETag) && facts.strETag.compare(0, 2, L"W/") != 0;
    file.bETag = strongETag;
    file.strValidator = strongETag ? facts.strETag
                        : IsHeaderText(facts.strLastModified) ? facts.strLastModified
                                                               : std::wstring();
    return true;
}

bool QueryFileSize(const std::wstring& url, RemoteFile& file, const CDownloadCancel* cancel)
{
    if (QuerySizeOver(CBaseRequest::kWinHttpRequest, L"HEAD", url, file, cancel)) return true;
    if (cancel && cancel->IsCancelled()) return false;
    return QuerySizeOver(CBaseRequest::kInternetRequest, L"GET", url, file, cancel);
}

bool WriteAt(HANDLE file, long long offset, const char* data, DWORD size)
{
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    return WriteFile(file, data, size, &written, &position) && written == size;
}

}  // namespace

CDownloadCancel::CDownloadCancel() : m_cancelled(false), m_event(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    if (!m_event.Valid()) LOG_A("ERR:CreateEvent for the cancel fail! (%lu)", GetLastError());
}

void CDownloadCancel::Cancel()
{
    m_cancelled = true;
    if (m_event.Valid()) SetEvent(m_event.Get());
}

bool CDownloadCancel::IsCancelled() const { return m_cancelled; }

bool CDownloadCancel::Wait(DWORD dwMilliseconds) const
{
    if (m_event.Valid()) {
        WaitForSingleObject(m_event.Get(), dwMilliseconds);
        return IsCancelled();
    }
    // Without its event the flag is looked at in short steps.
    for (DWORD begin = GetTickCount(); !IsCancelled();) {
        DWORD elapsed = GetTickCount() - begin;
        if (elapsed >= dwMilliseconds) return false;
        Sleep(std::min<DWORD>(dwMilliseconds - elapsed, 50));
    }
    return true;
}

bool HttpDownload(DownloadParam* pParam, DownloadCallback pCallback, CDownloadCancel* pCancel)
{
    CHttpDownload download(pParam, pCallback, pCancel);
    return download.Download() == 0;
}

long long QueryUrlFileSize(const std::wstring& strUrl)
{
    RemoteFile file;
    return QueryFileSize(strUrl, file, nullptr) ? file.llSize : 0;
}

std::wstring DownloadStatePath(const std::wstring& strSavePath) { return CDownloadState::PathFor(strSavePath); }

CHttpDownload::CHttpDownload(DownloadParam* pParam, DownloadCallback pCallback, CDownloadCancel* pCancel)
    : m_pParam(pParam), m_pCallback(pCallback), m_pCancel(pCancel), m_cancelLogged(false), m_llFileSize(0),
      m_bETag(false), m_bFromScratch(false), m_stopReason(kStopNone), m_noNewWork(false),
      m_workEnded(CreateEventW(nullptr, TRUE, FALSE, nullptr)), m_pLock(nullptr), m_llWritten(0)
{
}

CHttpDownload::~CHttpDownload() = default;

int CHttpDownload::Download()
{
    LOG_A("Download....");
    __time64_t begin = _time64(nullptr);
    Report(kDownloadEventStart, 0, 0);
    int result = DownloadImp();
    int elapsed = static_cast<int>(_time64(nullptr) - begin);
    // The unit is the GBK text for "seconds", as the log has always carried it.
    LOG_A("HttpDownload,ret = %d (time = %d \xC3\xEB)", result, elapsed);
    Report(kDownloadEventEnd, result, elapsed);
    return result;
}

int CHttpDownload::DownloadImp()
{
    if (!CheckParam()) {
        LOG_A("ERR:CheckParam fail!");
        return -1;
    }
    // A file that changed on the server is downloaded again from the start once.
    for (int round = 0;; ++round) {
        if (IsCancle()) return Cancelled();
        if (!GetDownloadFileSize()) {
            if (IsCancle()) return Cancelled();
            LOG_A("ERR:GetDownloadFileSize fail!");
            return -3;
        }
        Report(kDownloadEventSize, m_llFileSize, 0);
        if (DownLoadContent()) return 0;
        if (IsCancle()) return Cancelled();
        if (m_stopReason == kStopChanged && round == 0) {
            LOG_A("WARN:the file changed on the server during the download: downloading it again from the start");
            m_bFromScratch = true;
            m_stopReason = kStopNone;
            m_noNewWork = false;
            continue;
        }
        if (m_stopReason == kStopChanged) LOG_A("ERR:the file changed on the server again");
        LOG_A("ERR:DownLoadContent fail!");
        return -4;
    }
}

bool CHttpDownload::CheckParam()
{
    if (m_pParam->nDownloadThread <= 0) {
        LOG_A("ERR:invalid param (nDownloadThread = %d)", m_pParam->nDownloadThread);
        return false;
    }
    if (m_pParam->strDownloadUrl.empty()) {
        LOG_A("ERR:invalid param (strDownloadUrl)");
        return false;
    }
    std::wstring& path = m_pParam->strSavePath;
    NormalisePath(path);
    size_t slash = path.rfind(L'\\');
    std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
    if (!CreateFolderTree(folder)) {
        LOG_W(L"ERR:make dir (%s) fail!", folder.c_str());
        return false;
    }
    return true;
}

bool CHttpDownload::GetDownloadFileSize()
{
    LOG_A("GetDownloadFileSize....");
    RemoteFile file;
    if (!QueryFileSize(m_pParam->strDownloadUrl, file, m_pCancel)) return false;
    m_llFileSize = file.llSize;
    m_strValidator = file.strValidator;
    m_bETag = file.bETag;
    if (m_strValidator.empty()) {
        LOG_A("GetDownloadFileSize: %lld bytes; the server names no validator: no resume across attempts of "
              "the installer", m_llFileSize);
    } else {
        LOG_W(L"GetDownloadFileSize: %lld bytes, %s %s", m_llFileSize, m_bETag ? L"ETag" : L"Last-Modified",
              m_strValidator.c_str());
    }
    return true;
}

bool CHttpDownload::DownLoadContent()
{
    int wanted = m_pParam->nDownloadThread;
    int count = wanted < 1 ? 1 : wanted > kMaxThreads ? kMaxThreads : wanted;
    // Every segment gets at least one byte; an empty file needs no segment at all.
    if (count > m_llFileSize) count = static_cast<int>(m_llFileSize);
    if (count == wanted) {
        LOG_A("DownLoadContent: ThreadNum = %d", count);
    } else {
        LOG_A("DownLoadContent: ThreadNum = %d (request thread num = %d)", count, wanted);
    }

    const std::wstring& savePath = m_pParam->strSavePath;
    std::wstring statePath = CDownloadState::PathFor(savePath);
    CDownloadState saved;
    // Only the same file continues: same size and validator, and for a date (which
    // two files may share) the same address too.
    bool resume = !m_bFromScratch && !m_strValidator.empty() && saved.Load(statePath) &&
                  saved.llFileSize == m_llFileSize && saved.bETag == m_bETag &&
                  saved.strValidator == m_strValidator && (m_bETag || saved.strUrl == m_pParam->strDownloadUrl);
    UniqueFileHandle file = OpenRegularFile(savePath, resume);
    if (!file.Valid()) {
        LOG_W(L"ERR:Open file fail! (%s)", savePath.c_str());
        return false;
    }
    if (resume) {
        LARGE_INTEGER length{};
        long long needed = saved.done.empty() ? 0 : saved.done.back().llEnd;
        if (!GetFileSizeEx(file.Get(), &length) || length.QuadPart < needed) {
            LOG_A("WARN:the partial file is shorter than its state says: starting from zero");
            resume = false;
            SetEndOfFile(file.Get());
        }
    }
    if (!resume) DeleteFileW(statePath.c_str());

    std::vector<ByteRange> missing = resume ? CSegmentPlan::Complement(m_llFileSize, saved.done)
                                            : CSegmentPlan::EqualRanges(m_llFileSize, count);
    m_pPlan.reset(new CSegmentPlan(missing, count, g_minPiece, kReadSize, kMinRemainingMs));
    m_llWritten = m_llFileSize - m_pPlan->MissingBytes();
    if (resume) {
        LOG_A("DownLoadContent: continuing, %lld of %lld bytes are here already", m_llWritten, m_llFileSize);
        Report(kDownloadEventProgress, m_llWritten, m_llFileSize);
    }

    std::mutex fileLock;
    m_pLock = &fileLock;
    if (m_workEnded.Valid()) ResetEvent(m_workEnded.Get());
    std::vector<DownloadThreadParam> records(count);
    std::vector<UniqueKernelHandle> threads;
    for (int i = 0; i < count; ++i) {
        DownloadThreadParam& record = records[i];
        record.pDownload = this;
        record.nIndex = i;
        record.hFile = file.Get();
        record.pLock = &fileLock;
        ByteRange range;
        bool takenOver = false;
        if (!m_pPlan->Take(i, GetTickCount64(), range, takenOver)) {
            record.bSuccess = true;  // nothing left for it
            continue;
        }
        DebugTrace("[%d] %lld ~ %lld,length = %lld\n", i, range.llFirst, range.llEnd - 1, range.Length());
        HANDLE thread =
            reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &CHttpDownload::DownloadThreadProc, &record, 0, nullptr));
        if (thread) {
            threads.emplace_back(thread);
        } else {
            LOG_A("ERR:start segment thread %d fail! (errno %d)", i, errno);
            std::lock_guard<std::mutex> lock(fileLock);
            m_pPlan->Release(i);
        }
    }

    LOG_A("WaitForMultipleObjects...\n");
    std::vector<HANDLE> handles;
    for (auto& thread : threads) handles.push_back(thread.Get());
    DWORD waitResult = WAIT_OBJECT_0;
    while (!handles.empty()) {
        // The segments end by their own bounds; meanwhile the state file follows them.
        waitResult = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE, g_stateInterval);
        if (waitResult != WAIT_TIMEOUT) break;
        SaveState(file.Get());
    }
    LOG_A("WaitForMultipleObjects end! WaitRet=%d\n", static_cast<int>(waitResult));

    bool success = m_stopReason == kStopNone && m_pPlan->MissingBytes() == 0;
    for (const auto& record : records) success = success && record.bSuccess;
    if (success) {
        DeleteFileW(statePath.c_str());
    } else if (m_stopReason == kStopNone && !IsCancle()) {
        SaveState(file.Get());
    } else if (m_stopReason != kStopNone) {
        // What was written belongs to a file the server no longer serves.
        DeleteFileW(statePath.c_str());
    } else {
        SaveState(file.Get());
    }
    m_pLock = nullptr;
    return success;
}

unsigned __stdcall CHttpDownload::DownloadThreadProc(void* pThreadParam)
{
    auto* record = static_cast<DownloadThreadParam*>(pThreadParam);
    CHttpDownload* download = record->pDownload;
    int threadId = static_cast<int>(GetCurrentThreadId());
    bool success = true;
    while (success) {
        if (!download->FetchRange(record, threadId)) {
            success = false;
            break;
        }
        // The range is written: take more work while other segments still have some.
        bool taken = false;
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(*record->pLock);
                download->m_pPlan->Release(record->nIndex);
                if (download->IsStopping() || download->m_noNewWork || download->m_pPlan->MissingBytes() == 0) break;
                ByteRange range;
                bool takenOver = false;
                if (download->m_pPlan->Take(record->nIndex, GetTickCount64(), range, takenOver)) {
                    if (takenOver) {
                        LOG_A("[Thread][%d][%d] takes over bytes %lld-%lld", threadId, record->nIndex, range.llFirst,
                              range.llEnd - 1);
                    }
                    taken = true;
                    break;
                }
            }
            // Nothing worth taking over yet: a slow range may be worth it later.
            if (!download->WaitForWork()) break;
        }
        if (!taken) break;
    }
    {
        std::lock_guard<std::mutex> lock(*record->pLock);
        download->m_pPlan->Release(record->nIndex);
        if (!success || download->m_pPlan->MissingBytes() == 0) download->EndWaitsForWork();
    }
    record->bSuccess = success;
    if (success) LOG_W(L"[Thread][%d][%d] SUCCCESS!", threadId, record->nIndex);
    return 0;
}

bool CHttpDownload::FetchRange(DownloadThreadParam* pThreadParam, int nThreadId)
{
    std::wstring url = m_pParam->strDownloadUrl;
    bool logged = false;
    int replaced = 0;
    for (int attempt = 0;;) {
        if (IsCancle() || IsStopping()) return false;
        ByteRange asked;
        {
            std::lock_guard<std::mutex> lock(*pThreadParam->pLock);
            asked = m_pPlan->Current(pThreadParam->nIndex);
            m_pPlan->RestartClock(pThreadParam->nIndex, GetTickCount64());
        }
        if (asked.Length() <= 0) return true;
        wchar_t range[64];
        if (!logged) {
            _snwprintf(range, 63, L"Range:bytes=%lld-%lld", asked.llFirst, asked.llEnd - 1);
            range[63] = L'\0';
            LOG_W(L"[Thread][%d][%d][%s] beging...", nThreadId, pThreadParam->nIndex, range);
            logged = true;
        }

        int winHttpFailures = g_winHttpFailures;
        int internetFailures = g_internetFailures;
        int type = internetFailures > winHttpFailures   ? CBaseRequest::kWinHttpRequest
                   : internetFailures < winHttpFailures ? CBaseRequest::kInternetRequest
                   : attempt % 2 == 0                   ? CBaseRequest::kWinHttpRequest
                                                        : CBaseRequest::kInternetRequest;
        std::unique_ptr<CBaseRequest> request(CBaseRequest::CreateInstance(type));
        if (!request) {
            LOG_A("ERR:CBaseRequest::CreateInstance fail!");
            continue;
        }
        if (type == CBaseRequest::kInternetRequest) asked.llEnd = std::min(asked.llEnd, asked.llFirst + kInternetWindow);
        _snwprintf(range, 63, L"Range:bytes=%lld-%lld", asked.llFirst, asked.llEnd - 1);
        range[63] = L'\0';
        request->dwMaxConnsPerServer = kConnsPerServer;
        request->strHeaders = range;
        // The server answers the range only while the file is still the one measured;
        // otherwise it sends the whole new file, which CheckResponse recognises.
        if (!m_strValidator.empty()) request->strHeaders += L"\r\nIf-Range: " + m_strValidator;
        const char* typeName = request->GetTypeName();
        std::unique_ptr<CDetachedRequest> detached =
            CDetachedRequest::Start(std::move(request), url);
        long long received = 0;
        AttemptResult result = detached ? ReadUrlContent(detached.get(), pThreadParam, asked,
                                                         replaced < kMaxReplacements, received)
                                        : kAttemptFailed;
        detached.reset();
        switch (result) {
        // The range, or the window of it that this request asked for, is written.
        case kAttemptDone: continue;
        case kAttemptSlow:
            ++replaced;
            LOG_A("[Thread][%d][%d][%s] the connection is far slower than the others: a new one goes on from byte "
                  "%lld", nThreadId, pThreadParam->nIndex, typeName, asked.llFirst + received);
            continue;
        // A cancel is no failure of the back-end: the counters stay as they are.
        case kAttemptCancelled: return false;
        case kAttemptChanged: {
            int none = kStopNone;
            m_stopReason.compare_exchange_strong(none, kStopChanged);
            return false;
        }
        case kAttemptPermanent: {
            int none = kStopNone;
            m_stopReason.compare_exchange_strong(none, kStopPermanent);
            return false;
        }
        case kAttemptFailed: break;
        }
        (type == CBaseRequest::kWinHttpRequest ? g_winHttpFailures : g_internetFailures)++;
        LOG_A("[Thread][%d][%d][%s] Request fail,  retry %d...(WinHttp fail:%d, Internet fail:%d)", nThreadId,
              pThreadParam->nIndex, typeName, attempt, g_winHttpFailures.load(), g_internetFailures.load());
        // Without the proxy login the user declined, every attempt would be refused.
        if (ProxyCredentialStore::Instance().Declined()) {
            LOG_A("[Thread][%d][%d] the proxy login was declined: no more attempts", nThreadId, pThreadParam->nIndex);
            m_noNewWork = true;
            return false;
        }
        if (received >= kProgressPiece) continue;
        if (attempt >= kMaxAttemptIndex) {
            m_noNewWork = true;
            return false;
        }
        if (!PauseBeforeRetry()) return false;
        ++attempt;
    }
}

CHttpDownload::AttemptResult CHttpDownload::CheckResponse(CDetachedRequest* pRequest,
                                                          const DownloadThreadParam* pThreadParam,
                                                          const ByteRange& asked)
{
    const ResponseFacts& facts = pRequest->Facts();
    if (!facts.bSent || facts.dwStatus == 0) return kAttemptFailed;
    DWORD status = facts.dwStatus;
    const char* typeName = pRequest->GetTypeName();
    long long first = asked.llFirst;
    long long last = asked.llEnd - 1;
    if (status == 404 || status == 410 || status == 416) {
        LOG_A("ERR:[%s] segment %d (bytes %lld-%lld) answered with status %u: no attempt can succeed", typeName,
              pThreadParam->nIndex, first, last, static_cast<unsigned>(status));
        return kAttemptPermanent;
    }
    const std::wstring& answered = m_bETag ? facts.strETag : facts.strLastModified;
    if (!m_strValidator.empty() && !answered.empty() && answered != m_strValidator) {
        LOG_W(L"ERR:[%S] segment %d: the file changed on the server (%s instead of %s)", typeName,
              pThreadParam->nIndex, answered.c_str(), m_strValidator.c_str());
        return kAttemptChanged;
    }
    long long expectedLength = asked.Length();
    if (status == 200 && first == 0 && asked.llEnd == m_llFileSize) {
        // The whole file, as asked.
    } else if (status == 200 && facts.bLengthKnown && facts.llContentLength != m_llFileSize) {
        // A whole file of another size answering a range: the file was replaced.
        LOG_A("ERR:[%s] segment %d: the file changed on the server (%lld bytes instead of %lld)", typeName,
              pThreadParam->nIndex, facts.llContentLength, m_llFileSize);
        return kAttemptChanged;
    } else if (status != 206) {
        LOG_A("ERR:[%s] segment %d (bytes %lld-%lld) answered with status %u", typeName, pThreadParam->nIndex, first,
              last, static_cast<unsigned>(status));
        return kAttemptFailed;
    } else {
        long long rangeFirst = 0, rangeLast = 0, total = 0;
        if (!ParseContentRange(facts.strContentRange, rangeFirst, rangeLast, total)) {
            LOG_W(L"ERR:[%S] segment %d answered 206 with Content-Range (%s)", typeName, pThreadParam->nIndex,
                  facts.strContentRange.c_str());
            return kAttemptFailed;
        }
        if (total >= 0 && total != m_llFileSize) {
            LOG_A("ERR:[%s] segment %d: the file is now %lld bytes instead of %lld: no attempt can succeed", typeName,
                  pThreadParam->nIndex, total, m_llFileSize);
            return kAttemptPermanent;
        }
        if (rangeFirst != first || rangeLast != last) {
            LOG_W(L"ERR:[%S] segment %d answered 206 with Content-Range (%s) instead of (bytes %lld-%lld/%lld)",
                  typeName, pThreadParam->nIndex, facts.strContentRange.c_str(), first, last, m_llFileSize);
            return kAttemptFailed;
        }
    }
    // A body of another length than the range would end short or run into the next segment.
    if (facts.bLengthKnown && facts.llContentLength != expectedLength) {
        LOG_A("ERR:[%s] segment %d answered %lld bytes for its %lld", typeName, pThreadParam->nIndex,
              facts.llContentLength, expectedLength);
        return kAttemptFailed;
    }
    return kAttemptDone;
}

// One attempt's body, written at its segment's next byte on the request's thread.
struct CHttpDownload::AttemptSink final : IPieceSink {
    AttemptSink(CHttpDownload* download, DownloadThreadParam* record, CDetachedRequest* request, const ByteRange& asked)
        : download(download), record(record), request(request), asked(asked), lastPiece(GetTickCount64())
    {
    }

    bool Write(const char* pData, int nSize) override
    {
        if (download->IsCancle() || download->IsStopping()) return false;
        long long end = 0;
        bool written = true;
        bool reached = download->WritePiece(record, pData, nSize, end, written);
        if (!written) {
            writeFailed = true;
            return false;
        }
        lastPiece = GetTickCount64();
        received += nSize;
        if (reached || received >= asked.Length()) {
            reachedEnd = true;
            return false;
        }
        // Another segment took over the rest of this range: read no further than its new end.
        request->LowerBodyLimit(end - asked.llFirst);
        return true;
    }

    CHttpDownload* download;
    DownloadThreadParam* record;
    CDetachedRequest* request;
    ByteRange asked;
    std::atomic<long long> received{0};
    std::atomic<unsigned long long> lastPiece;
    std::atomic<bool> reachedEnd{false};
    std::atomic<bool> writeFailed{false};
};

CHttpDownload::AttemptResult CHttpDownload::ReadUrlContent(CDetachedRequest* pRequest,
                                                           DownloadThreadParam* pThreadParam, const ByteRange& asked,
                                                           bool bMayReplace, long long& llReceived)
{
    llReceived = 0;
    CDetachedRequest::WaitResult waited = pRequest->WaitForAnswer(m_pCancel, AnswerBound());
    if (waited == CDetachedRequest::kCancelled) return IsCancle(), kAttemptCancelled;
    if (waited == CDetachedRequest::kTimedOut) {
        LOG_A("ERR:[%s] segment %d: no answer within %lu ms", pRequest->GetTypeName(), pThreadParam->nIndex,
              AnswerBound());
        return kAttemptFailed;
    }
    AttemptResult checked = CheckResponse(pRequest, pThreadParam, asked);
    if (checked != kAttemptDone) return checked;

    // The request's thread writes the pieces; this one watches it.
    AttemptSink sink(this, pThreadParam, pRequest, asked);
    struct TakeBack {
        CDetachedRequest* request;
        ~TakeBack() { request->EndBody(); }
    } takeBack{pRequest};
    pRequest->ReadBody(&sink, asked.Length());
    bool stalled = false;
    int end = 0;
    for (;;) {
        waited = pRequest->WaitForBody(m_pCancel, kWatchInterval, end);
        llReceived = sink.received;
        if (waited == CDetachedRequest::kCancelled) return IsCancle(), kAttemptCancelled;
        if (waited == CDetachedRequest::kReady) break;
        if (IsStopping()) return kAttemptCancelled;
        if (GetTickCount64() - sink.lastPiece > PieceBound()) {
            stalled = true;
            break;
        }
        if (bMayReplace) {
            std::lock_guard<std::mutex> lock(*pThreadParam->pLock);
            if (m_pPlan->IsFarBehind(pThreadParam->nIndex, GetTickCount64(), kJudgeMs)) return kAttemptSlow;
        }
    }
    if (sink.reachedEnd) return kAttemptDone;
    if (IsCancle()) return kAttemptCancelled;
    if (IsStopping()) return kAttemptCancelled;

    const char* typeName = pRequest->GetTypeName();
    if (sink.writeFailed) LOG_A("ERR:[%s] write to the file fail!", typeName);
    if (stalled) {
        LOG_A("ERR:[%s] segment %d: nothing received within %lu ms", typeName, pThreadParam->nIndex, PieceBound());
    }
    if (end < 0) LOG_A("ERR:[%s] segment %d: the read failed", typeName, pThreadParam->nIndex);
    LOG_A("ERR:[%s] download Fail ,dstSize: %lld !=  downloadingSize: %lld)", typeName, asked.Length(), llReceived);
    return kAttemptFailed;
}

bool CHttpDownload::WritePiece(DownloadThreadParam* pThreadParam, const char* pData, int nSize, long long& llEnd,
                               bool& bWritten)
{
    std::lock_guard<std::mutex> lock(*pThreadParam->pLock);
    ByteRange current = m_pPlan->Current(pThreadParam->nIndex);
    llEnd = current.llEnd;
    // Bytes past a range that shrank while they were read belong to another segment.
    long long usable = std::min<long long>(nSize, current.Length());
    bWritten = usable <= 0 || WriteAt(pThreadParam->hFile, current.llFirst, pData, static_cast<DWORD>(usable));
    if (!bWritten) return false;
    m_pPlan->Advance(pThreadParam->nIndex, usable, GetTickCount64());
    m_llWritten += usable;
    if (usable > 0) Report(kDownloadEventProgress, m_llWritten, m_llFileSize);
    return current.llFirst + usable >= current.llEnd;
}

void CHttpDownload::SaveState(HANDLE hFile)
{
    if (m_strValidator.empty() || !m_pPlan) return;
    CDownloadState state;
    state.llFileSize = m_llFileSize;
    state.bETag = m_bETag;
    state.strValidator = m_strValidator;
    state.strUrl = m_pParam->strDownloadUrl;
    std::vector<ByteRange> missing;
    {
        std::lock_guard<std::mutex> lock(*m_pLock);
        missing = m_pPlan->Missing();
    }
    state.done = CSegmentPlan::Complement(m_llFileSize, missing);
    // The state names only bytes that are on the disk.
    if (!FlushFileBuffers(hFile)) {
        LOG_A("ERR:FlushFileBuffers fail! (%lu): the state file stays as it was", GetLastError());
        return;
    }
    state.Save(CDownloadState::PathFor(m_pParam->strSavePath));
}

bool CHttpDownload::IsStopping() const { return m_stopReason != kStopNone; }

bool CHttpDownload::IsCancle()
{
    if (!m_pCancel || !m_pCancel->IsCancelled()) return false;
    if (!m_cancelLogged.exchange(true)) LOG_A("WARN:check user cancle!");
    return true;
}

int CHttpDownload::Cancelled()
{
    LOG_A("ERR:download cancelled!");
    return -5;
}

bool CHttpDownload::PauseBeforeRetry() { return WaitUnlessCancelled(g_retryPause); }

bool CHttpDownload::WaitForWork()
{
    HANDLE handles[2] = {m_workEnded.Get(), m_pCancel ? m_pCancel->Event() : nullptr};
    if (!handles[0] || (m_pCancel && !handles[1])) return WaitUnlessCancelled(kRetakeInterval);
    WaitForMultipleObjects(handles[1] ? 2 : 1, handles, FALSE, kRetakeInterval);
    return !IsCancle();
}

void CHttpDownload::EndWaitsForWork()
{
    if (m_workEnded.Valid()) SetEvent(m_workEnded.Get());
}

bool CHttpDownload::WaitUnlessCancelled(DWORD dwMilliseconds)
{
    if (!m_pCancel) {
        Sleep(dwMilliseconds);
        return true;
    }
    return !m_pCancel->Wait(dwMilliseconds) || !IsCancle();
}

void CHttpDownload::Report(int nEvent, long long llValue1, long long llValue2)
{
    if (m_pCallback) m_pCallback(nEvent, llValue1, llValue2, m_pParam->dwUserData);
}

namespace DownloadTesting {

void SetFailureCounters(int nWinHttpFailures, int nInternetFailures)
{
    g_winHttpFailures = nWinHttpFailures;
    g_internetFailures = nInternetFailures;
}

void GetFailureCounters(int& nWinHttpFailures, int& nInternetFailures)
{
    nWinHttpFailures = g_winHttpFailures;
    nInternetFailures = g_internetFailures;
}

void SetRetryPause(DWORD dwMilliseconds) { g_retryPause = dwMilliseconds; }

void SetMinPiece(long long llBytes) { g_minPiece = llBytes; }

void SetStateInterval(DWORD dwMilliseconds) { g_stateInterval = dwMilliseconds; }

}  // namespace DownloadTesting
