#pragma once
// The segmented downloader: one file over HTTP in up to 64 parallel byte ranges,
// written into one output file, each range retried over WinHTTP or WinINet.

#include <windows.h>

#include <cstdio>
#include <string>

enum DownloadEvent {
    kDownloadEventStart = 0,     // 0, 0
    kDownloadEventSize = 1,      // file size, 0
    kDownloadEventProgress = 2,  // bytes written by all segments, file size
    kDownloadEventEnd = 3,       // result code of Download, elapsed seconds
};

struct DownloadParam {
    int nDownloadThread = 0;
    DWORD dwUserData = 0;
    std::wstring strDownloadUrl;
    std::wstring strSavePath;  // normalised in place by the download
};

// Event, first value, second value, the caller's dwUserData.
typedef void (*DownloadCallback)(int nEvent, int nValue1, int nValue2, DWORD dwUserData);

// Runs one download on the calling thread; true when the whole file was written.
// A non-null pCancel is cleared first.
bool HttpDownload(DownloadParam* pParam, DownloadCallback pCallback, bool* pCancel);

// The file's size in bytes, or 0 when neither back-end gives one.
int QueryUrlFileSize(const std::wstring& strUrl);

class CBaseRequest;

// Thread contract: Download runs on the caller's thread and blocks until every
// segment thread has ended. Segment threads share the output stream, m_nWritten
// and the callback, all under the file lock, so the callback runs on segment
// threads one at a time with that lock held. Everything else a segment thread
// touches is its own DownloadThreadParam and request object.
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

    CHttpDownload(DownloadParam* pParam, DownloadCallback pCallback, bool* pCancel);
    CHttpDownload(const CHttpDownload&) = delete;
    CHttpDownload& operator=(const CHttpDownload&) = delete;

    // 0 done, -1 bad parameters, -3 no size, -4 a segment failed or no output file.
    int Download();

private:
    int DownloadImp();
    bool CheckParam();
    bool GetDownloadFileSize();
    bool DownLoadContent();
    static unsigned __stdcall DownloadThreadProc(void* pThreadParam);
    bool ReadUrlContent(CBaseRequest* pRequest, DownloadThreadParam* pThreadParam);
    bool IsResponseForSegment(CBaseRequest* pRequest, const DownloadThreadParam* pThreadParam);
    // Not consulted yet: see the note on cancelling in HttpDownload.cpp.
    bool IsCancle();
    void Report(int nEvent, int nValue1, int nValue2);

    DownloadParam* m_pParam;
    DownloadCallback m_pCallback;
    bool* m_pCancel;
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
