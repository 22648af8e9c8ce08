#pragma once
// The segmented downloader: one file over HTTP in up to 64 parallel byte ranges,
// written into one output file, each range retried over WinHTTP or WinINet.
//
// A failed attempt keeps what it wrote and the next one asks for the rest. A segment
// that runs out of work takes over half of the largest range still ahead of another
// (CSegmentPlan). Every ranged GET carries If-Range with the validator of the size
// query, so bytes of two versions of the file are never stitched together; a changed
// file is downloaded again from the start once. A state file beside the output
// (CDownloadState) lets Retry and a later start of the installer continue.

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "base/UniqueResource.h"

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

// Event, first value, second value, the caller's dwUserData. The values are 64-bit:
// installers of 2 GiB and more have sizes and positions beyond 32 bits.
typedef void (*DownloadCallback)(int nEvent, long long llValue1, long long llValue2, DWORD_PTR dwUserData);

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
    friend class CHttpDownload;
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
long long QueryUrlFileSize(const std::wstring& strUrl);

// The state file that a download keeps beside its partial file at strSavePath. Whoever
// deletes a partial download deletes both.
std::wstring DownloadStatePath(const std::wstring& strSavePath);

class CBaseRequest;
class CDetachedRequest;
class CSegmentPlan;
struct ByteRange;
struct ResponseFacts;

// Thread contract: Download runs on the caller's thread and blocks until every
// segment thread has ended. Segment threads share the output file, the plan of
// ranges, m_llWritten and the callback, all under the file lock, so the callback
// runs on segment threads one at a time with that lock held. Everything else a
// segment thread touches is its own DownloadThreadParam and request, the stop
// reason (atomic) and the cancel, which any thread may set.
class CHttpDownload {
public:
    struct DownloadThreadParam {
        bool bSuccess = false;
        CHttpDownload* pDownload = nullptr;
        int nIndex = 0;
        HANDLE hFile = nullptr;
        std::mutex* pLock = nullptr;
    };

    CHttpDownload(DownloadParam* pParam, DownloadCallback pCallback, CDownloadCancel* pCancel);
    ~CHttpDownload();
    CHttpDownload(const CHttpDownload&) = delete;
    CHttpDownload& operator=(const CHttpDownload&) = delete;

    // 0 done, -1 bad parameters, -3 no size, -4 a segment failed, a permanent answer,
    // a file that changed twice, or no output file, -5 cancelled.
    int Download();

private:
    enum AttemptResult {
        kAttemptDone,
        kAttemptFailed,
        kAttemptCancelled,
        kAttemptChanged,
        kAttemptPermanent,
        kAttemptSlow,  // the connection went at a fraction of the others' speed
    };
    // Why every segment should end now; kStopNone while they may go on.
    enum StopReason { kStopNone, kStopChanged, kStopPermanent };

    struct AttemptSink;

    int DownloadImp();
    bool CheckParam();
    bool GetDownloadFileSize();
    bool DownLoadContent();
    static unsigned __stdcall DownloadThreadProc(void* pThreadParam);
    // Attempts at the segment's current range until it is written; false when the
    // segment failed for good, was cancelled or stopped.
    bool FetchRange(DownloadThreadParam* pThreadParam, int nThreadId);
    AttemptResult ReadUrlContent(CDetachedRequest* pRequest, DownloadThreadParam* pThreadParam,
                                 const ByteRange& asked, bool bMayReplace, long long& llReceived);
    AttemptResult CheckResponse(CDetachedRequest* pRequest, const DownloadThreadParam* pThreadParam,
                                const ByteRange& asked);
    // Writes at the segment's next byte what still belongs to it; true when the piece
    // reached the end of its range.
    bool WritePiece(DownloadThreadParam* pThreadParam, const char* pData, int nSize, long long& llEnd,
                    bool& bWritten);
    // The ranges written so far, into the state file, after flushing the output.
    void SaveState(HANDLE hFile);
    bool IsStopping() const;
    // True once the caller cancelled; logs it the first time.
    bool IsCancle();
    // Logs the end by a cancel; -5.
    int Cancelled();
    // The 2000 ms between two attempts; false when the cancel ended it early.
    bool PauseBeforeRetry();
    // Waits, ending early on the cancel; false when cancelled.
    bool WaitUnlessCancelled(DWORD dwMilliseconds);
    // For a segment without work: waits until a range may be worth taking over, the
    // download ends or the cancel is set; false when cancelled.
    bool WaitForWork();
    // Wakes the segments waiting for work: nothing is left to take, or they must stop.
    void EndWaitsForWork();
    void Report(int nEvent, long long llValue1, long long llValue2);

    DownloadParam* m_pParam;
    DownloadCallback m_pCallback;
    CDownloadCancel* m_pCancel;
    std::atomic<bool> m_cancelLogged;
    long long m_llFileSize;
    // The If-Range value: a strong entity tag, else a Last-Modified date, else empty.
    std::wstring m_strValidator;
    bool m_bETag;
    // Set for the second round after the file changed: no state file is trusted.
    bool m_bFromScratch;
    std::atomic<int> m_stopReason;
    // After a segment failed for good no segment takes new work.
    std::atomic<bool> m_noNewWork;
    // Set (manual reset) when segments waiting for work should look again at once.
    UniqueKernelHandle m_workEnded;
    // The file lock, while DownLoadContent runs; it guards the members below.
    std::mutex* m_pLock;
    long long m_llWritten;
    std::unique_ptr<CSegmentPlan> m_pPlan;
};

// Test seams over the process-wide state that steers segment attempts.
namespace DownloadTesting {
void SetFailureCounters(int nWinHttpFailures, int nInternetFailures);
void GetFailureCounters(int& nWinHttpFailures, int& nInternetFailures);
// The pause between two attempts of a segment; 2000 ms unless a test changes it.
void SetRetryPause(DWORD dwMilliseconds);
// The least a segment leaves or takes when it takes over part of another's range;
// 1 MiB unless a test changes it.
void SetMinPiece(long long llBytes);
// How often the state file is written while segments run; 2000 ms unless a test
// changes it.
void SetStateInterval(DWORD dwMilliseconds);
}  // namespace DownloadTesting
