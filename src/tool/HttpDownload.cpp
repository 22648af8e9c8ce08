#include "tool/HttpDownload.h"

#include <process.h>
#include <shlwapi.h>

#include <atomic>
#include <ctime>
#include <memory>
#include <vector>

#include "http/ProxyCredentialStore.h"
#include "log/Log.h"
#include "tool/BaseRequest.h"

// Cancelling: the caller's flag is cleared at the start and IsCancle reads it, but
// no step asks it yet. To cancel, a segment thread would ask IsCancle before each
// attempt and after each piece it writes, and end its segment as failed without
// counting a back-end failure; the 2000 ms pause would become a wait on an event the
// canceller also sets. DownLoadContent then fails once every thread has ended, and
// Download answers a code of its own (-5) in its result and in event 3. The flag is
// written by another thread, so it would need to be read as an atomic.

namespace {

constexpr int kMaxThreads = MAXIMUM_WAIT_OBJECTS;
constexpr int kMaxAttemptIndex = 10;  // eleven attempts, ten pauses
constexpr int kReadSize = 102400;
constexpr DWORD kConnsPerServer = 50;

// Shared by every segment of every download in the process; never reset.
std::atomic<int> g_winHttpFailures{0};
std::atomic<int> g_internetFailures{0};
std::atomic<DWORD> g_retryPause{2000};

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

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

// One size query: a 2xx answer whose Content-Length fits in 32 bits.
bool QuerySizeOver(int type, const wchar_t* verb, const std::wstring& url, int& size)
{
    std::unique_ptr<CBaseRequest> request(CBaseRequest::CreateInstance(type));
    request->strVerb = verb;
    if (!request->OpenUrl(url)) return false;
    DWORD status = 0;
    if (!request->GetStatusCode(status)) return false;
    if (status < 200 || status > 299) {
        LOG_A("ERR:[%s] size query answered with status %u", request->GetTypeName(), static_cast<unsigned>(status));
        return false;
    }
    return request->GetUrlFileSize(size);
}

bool QueryFileSize(const std::wstring& url, int& size)
{
    return QuerySizeOver(CBaseRequest::kWinHttpRequest, L"HEAD", url, size) ||
           QuerySizeOver(CBaseRequest::kInternetRequest, L"GET", url, size);
}

}  // namespace

bool HttpDownload(DownloadParam* pParam, DownloadCallback pCallback, bool* pCancel)
{
    if (pCancel) *pCancel = false;
    CHttpDownload download(pParam, pCallback, pCancel);
    return download.Download() == 0;
}

int QueryUrlFileSize(const std::wstring& strUrl)
{
    int size = 0;
    return QueryFileSize(strUrl, size) ? size : 0;
}

CHttpDownload::CHttpDownload(DownloadParam* pParam, DownloadCallback pCallback, bool* pCancel)
    : m_pParam(pParam), m_pCallback(pCallback), m_pCancel(pCancel), m_nFileSize(0), m_nWritten(0)
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
    if (!GetDownloadFileSize()) {
        LOG_A("ERR:GetDownloadFileSize fail!");
        return -3;
    }
    Report(kDownloadEventSize, m_nFileSize, 0);
    if (!DownLoadContent()) {
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
    return QueryFileSize(m_pParam->strDownloadUrl, m_nFileSize);
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

    UniqueFile file(_wfopen(m_pParam->strSavePath.c_str(), L"wb"));
    if (!file) {
        LOG_W(L"ERR:Open file fail! (%s)", m_pParam->strSavePath.c_str());
        return false;
    }
    CriticalSection fileLock;
    std::vector<DownloadThreadParam> records(count);
    std::vector<UniqueHandle> threads;
    for (int i = 0; i < count; ++i) {
        DownloadThreadParam& record = records[i];
        record.pDownload = this;
        record.nStart = i * segmentLength;
        record.nLength = i == count - 1 ? m_nFileSize - (count - 1) * segmentLength : segmentLength;
        record.nIndex = i;
        record.pFile = file.get();
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
    for (auto& thread : threads) handles.push_back(thread.get());
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
        if (request->OpenUrl(url) && download->ReadUrlContent(request.get(), record)) {
            success = true;
            break;
        }
        (type == CBaseRequest::kWinHttpRequest ? g_winHttpFailures : g_internetFailures)++;
        LOG_A("[Thread][%d][%d][%s] Request fail,  retry %d...(WinHttp fail:%d, Internet fail:%d)", threadId,
              record->nIndex, request->GetTypeName(), attempt, g_winHttpFailures.load(), g_internetFailures.load());
        request.reset();
        if (attempt >= kMaxAttemptIndex) break;
        // Without the proxy login the user declined, every attempt would be refused.
        if (ProxyCredentialStore::Instance().Declined()) {
            LOG_A("[Thread][%d][%d] the proxy login was declined: no more attempts", threadId, record->nIndex);
            break;
        }
        Sleep(g_retryPause);
        ++attempt;
    }
    record->bSuccess = success;
    if (success) LOG_W(L"[Thread][%d][%d] SUCCCESS!", threadId, record->nIndex);
    return 0;
}

bool CHttpDownload::IsResponseForSegment(CBaseRequest* pRequest, const DownloadThreadParam* pThreadParam)
{
    DWORD status = 0;
    if (!pRequest->GetStatusCode(status)) return false;
    int first = pThreadParam->nStart;
    int last = first + pThreadParam->nLength - 1;
    if (status == 200 && first == 0 && pThreadParam->nLength == m_nFileSize) return true;
    if (status != 206) {
        LOG_A("ERR:[%s] segment %d (bytes %d-%d) answered with status %u", pRequest->GetTypeName(),
              pThreadParam->nIndex, first, last, static_cast<unsigned>(status));
        return false;
    }
    wchar_t expected[80];
    _snwprintf(expected, 79, L"bytes %d-%d/%d", first, last, m_nFileSize);
    expected[79] = L'\0';
    std::wstring range;
    pRequest->GetResponseHeader(L"Content-Range", range);
    if (range != expected) {
        LOG_W(L"ERR:[%S] segment %d answered 206 with Content-Range (%s) instead of (%s)", pRequest->GetTypeName(),
              pThreadParam->nIndex, range.c_str(), expected);
        return false;
    }
    return true;
}

bool CHttpDownload::ReadUrlContent(CBaseRequest* pRequest, DownloadThreadParam* pThreadParam)
{
    if (!IsResponseForSegment(pRequest, pThreadParam)) return false;
    std::unique_ptr<char[]> buffer(new char[kReadSize]);
    int received = 0;
    bool written = true;
    bool overrun = false;
    for (int got; (got = pRequest->HttpRead(buffer.get(), kReadSize)) > 0;) {
        // A longer body would land on the next segment's bytes.
        if (got > pThreadParam->nLength - received) {
            overrun = true;
            break;
        }
        Lock lock(pThreadParam->pLock);
        FILE* file = pThreadParam->pFile;
        fseek(file, pThreadParam->nStart + received, SEEK_SET);
        fflush(file);
        written = fwrite(buffer.get(), 1, got, file) == static_cast<size_t>(got) && fflush(file) == 0;
        if (!written) break;
        m_nWritten += got;
        Report(kDownloadEventProgress, m_nWritten, m_nFileSize);
        received += got;
    }
    if (written && !overrun && received == pThreadParam->nLength) return true;

    {
        Lock lock(pThreadParam->pLock);
        m_nWritten -= received;
    }
    if (!written) LOG_A("ERR:[%s] write to the file fail! (errno %d)", pRequest->GetTypeName(), errno);
    if (overrun) {
        LOG_A("ERR:[%s] body runs past the end of segment %d (%d bytes)", pRequest->GetTypeName(),
              pThreadParam->nIndex, pThreadParam->nLength);
    }
    LOG_A("ERR:[%s] download Fail ,dstSize: %d !=  downloadingSize: %d)", pRequest->GetTypeName(),
          pThreadParam->nLength, received);
    return false;
}

bool CHttpDownload::IsCancle()
{
    if (!m_pCancel || !*m_pCancel) return false;
    LOG_A("WARN:check user cancle!");
    return true;
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
