#pragma once
// The segmented downloader: one file over HTTP in up to 64 parallel byte ranges,
// written into one output file, each range retried over WinHTTP or WinINet.

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "http/UniqueResource.h"

enum DownloadEvent {
    kDownloadEventStart = 0,     // 0, 0
    kDownloadEventSize = 1,      // file size, 0
    kDownloadEventProgress = 2,  // bytes written by all segments, file size
    kDownloadEventEnd = 3,       // result code of Download, elapsed seconds
};

struct DownloadParam {
    int nDownloadThread = 0;
    DWORD_PTR dwUserData = 0;  // pointer-sized: callers pass an object pointer
    std::wstring strDownloadUrl;
    std::wstring strSavePath;  // normalised in place by the download
};

// Event, first value, second value, the caller's dwUserData.
typedef void (*DownloadCallback)(int nEvent, int nValue1, int nValue2, DWORD_PTR dwUserData);

// A download's cancel: owned by the caller, shared with the download's threads.
// Thread contract: every member may be called from any thread. Lifetime: it must
// outlive every download it was handed to. Once set it stays set.
class CDownloadCancel {
public:
    CDownloadCancel();
    CDownloadCancel(const CDownloadCancel&) = delete;
    CDownloadCancel& operator=(const CDownloadCancel&) = delete;

    void Cancel();
    bool IsCancelled() const;
    // Waits at most dwMilliseconds; true when the cancel was set before or during the wait.
    bool Wait(DWORD dwMilliseconds) const;

private:
    friend class CDetachedRequest;
    // The manual-reset event that Cancel sets; null when it could not be created.
    HANDLE Event() const { return m_event.Get(); }

    std::atomic<bool> m_cancelled;
    UniqueKernelHandle m_event;
};

// Runs one download on the calling thread; true when the whole file was written.
// pCancel may be null (not cancellable); a cancel set before the start is kept, and
// the download then ends at once with -5.
bool HttpDownload(DownloadParam* pParam, DownloadCallback pCallback, CDownloadCancel* pCancel);

// The file's size in bytes, or 0 when neither back-end gives one.
int QueryUrlFileSize(const std::wstring& strUrl);

class CBaseRequest;
class CDetachedRequest;

// Thread contract: Download runs on the caller's thread and blocks until every
// segment thread has ended. Segment threads share the output stream, m_nWritten
// and the callback, all under the file lock, so the callback runs on segment
// threads one at a time with that lock held. Everything else a segment thread
// touches is its own DownloadThreadParam and request, and the cancel, which any
// thread may set.
class CHttpDownload {
public:
    struct DownloadThreadParam {
        bool bSuccess = false;
        CHttpDownload* pDownload = nullptr;
        int nStart = 0;
        int nLength = 0;
        int nIndex = 0;
        FILE* pFile = nullptr;
        CRITICAL_SECTION* pLock = nullptr;
    };

    CHttpDownload(DownloadParam* pParam, DownloadCallback pCallback, CDownloadCancel* pCancel);
    CHttpDownload(const CHttpDownload&) = delete;
    CHttpDownload& operator=(const CHttpDownload&) = delete;

    // 0 done, -1 bad parameters, -3 no size, -4 a segment failed or no output file,
    // -5 cancelled.
    int Download();

private:
    int DownloadImp();
    bool CheckParam();
    bool GetDownloadFileSize();
    bool DownLoadContent();
    static unsigned __stdcall DownloadThreadProc(void* pThreadParam);
    enum AttemptResult { kAttemptDone, kAttemptFailed, kAttemptCancelled };
    AttemptResult ReadUrlContent(CDetachedRequest* pRequest, DownloadThreadParam* pThreadParam);
    bool IsResponseForSegment(CDetachedRequest* pRequest, const DownloadThreadParam* pThreadParam);
    // True once the caller cancelled; logs it the first time.
    bool IsCancle();
    // Logs the end by a cancel; -5.
    int Cancelled();
    // The 2000 ms between two attempts; false when the cancel ended it early.
    bool PauseBeforeRetry();
    void Report(int nEvent, int nValue1, int nValue2);

    DownloadParam* m_pParam;
    DownloadCallback m_pCallback;
    CDownloadCancel* m_pCancel;
    std::atomic<bool> m_cancelLogged;
    int m_nFileSize;
    int m_nWritten;
};

// Test seams over the process-wide state that steers segment attempts.
namespace DownloadTesting {
void SetFailureCounters(int nWinHttpFailures, int nInternetFailures);
void GetFailureCounters(int& nWinHttpFailures, int& nInternetFailures);
// The pause between two attempts of a segment; 2000 ms unless a test changes it.
void SetRetryPause(DWORD dwMilliseconds);
}  // namespace DownloadTesting
