#include "tool/HttpDownload.h"

#include <process.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <memory>
#include <vector>

#include "log/Log.h"
#include "tool/BaseRequest.h"
#include "tool/DetachedRequest.h"

namespace {

constexpr int kMaxThreads = MAXIMUM_WAIT_OBJECTS;
constexpr int kMaxAttemptIndex = 10;  // eleven attempts, ten pauses
constexpr int kReadSize = 102400;
constexpr DWORD kConnsPerServer = 50;
// Beyond the request's own time-outs, a wait for a request thread ends after this
// much more, should a platform not honour them.
constexpr DWORD kGuardMargin = 5000;

// Shared by every segment of every download in the process; never reset.
std::atomic<int> g_winHttpFailures{0};
std::atomic<int> g_internetFailures{0};
std::atomic<DWORD> g_retryPause{2000};

class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    CRITICAL_SECTION* Get() { return &section_; }

private:
    CRITICAL_SECTION section_;
};

class Lock {
public:
    explicit Lock(CRITICAL_SECTION* section) : section_(section) { EnterCriticalSection(section_); }
    ~Lock() { LeaveCriticalSection(section_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    CRITICAL_SECTION* section_;
};

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

bool FolderExists(const std::wstring& folder) { return PathFileExistsW(folder.c_str()) != FALSE; }

// Creates the folder and every missing folder above it.
void MakeFolderTree(std::wstring folder)
{
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    if (folder.empty() || FolderExists(folder)) return;
    folder += L'\\';
    NormalisePath(folder);
    for (size_t i = 1; i < folder.size(); ++i) {
        if (folder[i] != L'\\') continue;
        std::wstring parent = folder.substr(0, i);
        if (!FolderExists(parent)) CreateDirectoryW(parent.c_str(), nullptr);
    }
    CreateDirectoryW(folder.c_str(), nullptr);
}

// The longest a request may take to answer: a secure attempt and, for an http://
// address, a plain one, each bounded by the stall limit in connect and in answer.
DWORD AnswerBound() { return 4 * CBaseRequest::StallLimit() + kGuardMargin; }
DWORD PieceBound() { return CBaseRequest::StallLimit() + kGuardMargin; }

// One size query: a 2xx answer whose Content-Length fits in 32 bits. Ends at once,
// without a size, when the cancel is set.
bool QuerySizeOver(int type, const wchar_t* verb, const std::wstring& url, int& size, const CDownloadCancel* cancel)
{
    std::unique_ptr<CBaseRequest> request(CBaseRequest::CreateInstance(type));
    request->strVerb = verb;
    std::unique_ptr<CDetachedRequest> detached = CDetachedRequest::Start(std::move(request), url, 0);
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
    if (!facts.bLengthKnown) return false;
    size = facts.nContentLength;
    return true;
}

bool QueryFileSize(const std::wstring& url, int& size, const CDownloadCancel* cancel)
{
    if (QuerySizeOver(CBaseRequest::kWinHttpRequest, L"HEAD", url, size, cancel)) return true;
    if (cancel && cancel->IsCancelled()) return false;
    return QuerySizeOver(CBaseRequest::kInternetRequest, L"GET", url, size, cancel);
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

int QueryUrlFileSize(const std::wstring& strUrl)
{
    int size = 0;
    return QueryFileSize(strUrl, size, nullptr) ? size : 0;
}

CHttpDownload::CHttpDownload(DownloadParam* pParam, DownloadCallback pCallback, CDownloadCancel* pCancel)
    : m_pParam(pParam), m_pCallback(pCallback), m_pCancel(pCancel), m_cancelLogged(false), m_nFileSize(0),
      m_nWritten(0)
{
}

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
    if (IsCancle()) return Cancelled();
    if (!GetDownloadFileSize()) {
        if (IsCancle()) return Cancelled();
        LOG_A("ERR:GetDownloadFileSize fail!");
        return -3;
    }
    Report(kDownloadEventSize, m_nFileSize, 0);
    if (!DownLoadContent()) {
        if (IsCancle()) return Cancelled();
        LOG_A("ERR:DownLoadContent fail!");
        return -4;
    }
    return 0;
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
    if (!FolderExists(folder)) MakeFolderTree(folder);
    if (!FolderExists(folder)) {
        LOG_W(L"ERR:make dir (%s) fail!", folder.c_str());
        return false;
    }
    return true;
}

bool CHttpDownload::GetDownloadFileSize()
{
    LOG_A("GetDownloadFileSize....");
    return QueryFileSize(m_pParam->strDownloadUrl, m_nFileSize, m_pCancel);
}

bool CHttpDownload::DownLoadContent()
{
    int wanted = m_pParam->nDownloadThread;
    int count = wanted < 1 ? 1 : wanted > kMaxThreads ? kMaxThreads : wanted;
    // Every segment gets at least one byte; an empty file needs no segment at all.
    if (count > m_nFileSize) count = m_nFileSize;
    if (count == wanted) {
        LOG_A("DownLoadContent: ThreadNum = %d", count);
    } else {
        LOG_A("DownLoadContent: ThreadNum = %d (request thread num = %d)", count, wanted);
    }
    int segmentLength = count > 0 ? m_nFileSize / count : 0;

    UniqueCrtFile file(_wfopen(m_pParam->strSavePath.c_str(), L"wb"));
    if (!file.Valid()) {
        LOG_W(L"ERR:Open file fail! (%s)", m_pParam->strSavePath.c_str());
        return false;
    }
    CriticalSection fileLock;
    std::vector<DownloadThreadParam> records(count);
    std::vector<UniqueKernelHandle> threads;
    for (int i = 0; i < count; ++i) {
        DownloadThreadParam& record = records[i];
        record.pDownload = this;
        record.nStart = i * segmentLength;
        record.nLength = i == count - 1 ? m_nFileSize - (count - 1) * segmentLength : segmentLength;
        record.nIndex = i;
        record.pFile = file.Get();
        record.pLock = fileLock.Get();
        HANDLE thread =
            reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &CHttpDownload::DownloadThreadProc, &record, 0, nullptr));
        if (thread) {
            threads.emplace_back(thread);
        } else {
            LOG_A("ERR:start segment thread %d fail! (errno %d)", i, errno);
        }
        DebugTrace("[%d] %d ~ %d,length = %d\n", i, record.nStart, record.nStart + record.nLength - 1, record.nLength);
    }

    LOG_A("WaitForMultipleObjects...\n");
    std::vector<HANDLE> handles;
    for (auto& thread : threads) handles.push_back(thread.Get());
    DWORD waitResult = handles.empty() ? WAIT_OBJECT_0
                                       : WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(),
                                                                TRUE, INFINITE);
    LOG_A("WaitForMultipleObjects end! WaitRet=%d\n", static_cast<int>(waitResult));

    bool success = true;
    for (const auto& record : records) success = success && record.bSuccess;
    return success;
}

unsigned __stdcall CHttpDownload::DownloadThreadProc(void* pThreadParam)
{
    auto* record = static_cast<DownloadThreadParam*>(pThreadParam);
    CHttpDownload* download = record->pDownload;
    std::wstring url = download->m_pParam->strDownloadUrl;
    wchar_t range[64];
    _snwprintf(range, 63, L"Range:bytes=%d-%d", record->nStart, record->nStart + record->nLength - 1);
    range[63] = L'\0';
    int threadId = static_cast<int>(GetCurrentThreadId());
    LOG_W(L"[Thread][%d][%d][%s] beging...", threadId, record->nIndex, range);

    bool success = false;
    for (int attempt = 0;;) {
        if (download->IsCancle()) break;
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
        request->dwMaxConnsPerServer = kConnsPerServer;
        request->strHeaders = range;
        const char* typeName = request->GetTypeName();
        std::unique_ptr<CDetachedRequest> detached =
            CDetachedRequest::Start(std::move(request), url, record->nLength);
        AttemptResult result = detached ? download->ReadUrlContent(detached.get(), record) : kAttemptFailed;
        detached.reset();
        if (result == kAttemptDone) {
            success = true;
            break;
        }
        // A cancel is no failure of the back-end: the counters stay as they are.
        if (result == kAttemptCancelled) break;
        (type == CBaseRequest::kWinHttpRequest ? g_winHttpFailures : g_internetFailures)++;
        LOG_A("[Thread][%d][%d][%s] Request fail,  retry %d...(WinHttp fail:%d, Internet fail:%d)", threadId,
              record->nIndex, typeName, attempt, g_winHttpFailures.load(), g_internetFailures.load());
        if (attempt >= kMaxAttemptIndex) break;
        if (!download->PauseBeforeRetry()) break;
        ++attempt;
    }
    record->bSuccess = success;
    if (success) LOG_W(L"[Thread][%d][%d] SUCCCESS!", threadId, record->nIndex);
    return 0;
}

bool CHttpDownload::IsResponseForSegment(CDetachedRequest* pRequest, const DownloadThreadParam* pThreadParam)
{
    const ResponseFacts& facts = pRequest->Facts();
    if (!facts.bSent || facts.dwStatus == 0) return false;
    DWORD status = facts.dwStatus;
    int first = pThreadParam->nStart;
    int last = first + pThreadParam->nLength - 1;
    if (status == 200 && first == 0 && pThreadParam->nLength == m_nFileSize) {
        // fall through to the length check
    } else if (status != 206) {
        LOG_A("ERR:[%s] segment %d (bytes %d-%d) answered with status %u", pRequest->GetTypeName(),
              pThreadParam->nIndex, first, last, static_cast<unsigned>(status));
        return false;
    } else {
        wchar_t expected[80];
        _snwprintf(expected, 79, L"bytes %d-%d/%d", first, last, m_nFileSize);
        expected[79] = L'\0';
        if (facts.strContentRange != expected) {
            LOG_W(L"ERR:[%S] segment %d answered 206 with Content-Range (%s) instead of (%s)", pRequest->GetTypeName(),
                  pThreadParam->nIndex, facts.strContentRange.c_str(), expected);
            return false;
        }
    }
    // A body of another length than the range would end short or run into the next segment.
    if (facts.bLengthKnown && facts.nContentLength != pThreadParam->nLength) {
        LOG_A("ERR:[%s] segment %d answered %d bytes for its %d", pRequest->GetTypeName(), pThreadParam->nIndex,
              facts.nContentLength, pThreadParam->nLength);
        return false;
    }
    return true;
}

CHttpDownload::AttemptResult CHttpDownload::ReadUrlContent(CDetachedRequest* pRequest,
                                                           DownloadThreadParam* pThreadParam)
{
    CDetachedRequest::WaitResult waited = pRequest->WaitForAnswer(m_pCancel, AnswerBound());
    if (waited == CDetachedRequest::kCancelled) return IsCancle(), kAttemptCancelled;
    if (waited == CDetachedRequest::kTimedOut) {
        LOG_A("ERR:[%s] segment %d: no answer within %lu ms", pRequest->GetTypeName(), pThreadParam->nIndex,
              AnswerBound());
        return kAttemptFailed;
    }
    if (!IsResponseForSegment(pRequest, pThreadParam)) return kAttemptFailed;

    int received = 0;
    bool written = true;
    bool cancelled = false;
    bool stalled = false;
    for (;;) {
        const char* data = nullptr;
        int got = 0;
        waited = pRequest->WaitForPiece(m_pCancel, PieceBound(), data, got);
        if (waited != CDetachedRequest::kReady) {
            cancelled = waited == CDetachedRequest::kCancelled;
            stalled = !cancelled;
            break;
        }
        if (got <= 0) break;
        {
            Lock lock(pThreadParam->pLock);
            FILE* file = pThreadParam->pFile;
            fseek(file, pThreadParam->nStart + received, SEEK_SET);
            fflush(file);
            written = fwrite(data, 1, got, file) == static_cast<size_t>(got) && fflush(file) == 0;
            if (written) {
                m_nWritten += got;
                Report(kDownloadEventProgress, m_nWritten, m_nFileSize);
                received += got;
            }
        }
        pRequest->ReleasePiece();
        if (!written) break;
        if (IsCancle()) {
            cancelled = true;
            break;
        }
    }
    if (written && !cancelled && !stalled && received == pThreadParam->nLength) return kAttemptDone;

    {
        Lock lock(pThreadParam->pLock);
        m_nWritten -= received;
    }
    if (cancelled) return IsCancle(), kAttemptCancelled;
    if (!written) LOG_A("ERR:[%s] write to the file fail! (errno %d)", pRequest->GetTypeName(), errno);
    if (stalled) {
        LOG_A("ERR:[%s] segment %d: nothing received within %lu ms", pRequest->GetTypeName(), pThreadParam->nIndex,
              PieceBound());
    }
    LOG_A("ERR:[%s] download Fail ,dstSize: %d !=  downloadingSize: %d)", pRequest->GetTypeName(),
          pThreadParam->nLength, received);
    return kAttemptFailed;
}

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

bool CHttpDownload::PauseBeforeRetry()
{
    DWORD pause = g_retryPause;
    if (!m_pCancel) {
        Sleep(pause);
        return true;
    }
    return !m_pCancel->Wait(pause) || !IsCancle();
}

void CHttpDownload::Report(int nEvent, int nValue1, int nValue2)
{
    if (m_pCallback) m_pCallback(nEvent, nValue1, nValue2, m_pParam->dwUserData);
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

}  // namespace DownloadTesting
