#pragma once
// One request of the download engine, run on a thread of its own. The owner waits
// for the answer and for the end of the body with a bound, and can walk away at once
// (a cancel, a stall) while the request ends by its own time-outs. Under Wine a
// WinHTTP or WinINet call blocked in a read is not woken when another thread closes
// its handle, so walking away is how a cancel ends a segment within a second.
//
// Thread contract: the public members run on the owner's thread. The worker thread
// opens the request, records its answer, and once the owner has looked at it and
// handed it a sink, reads the body and gives every piece to the sink; it touches
// nothing but the state it shares with the owner, and the sink.
//
// Lifetime: the shared state (request object, buffer, events) is held by the owner
// and by the worker; the last of them frees it. The sink belongs to the owner: the
// destructor takes it back, waiting for a piece being written to finish, and does
// not wait for the worker, which ends by the request's time-outs and then frees the
// request. Nothing reaches the owner after its destructor returned.

#include <windows.h>

#include <memory>
#include <string>

class CBaseRequest;
class CDownloadCancel;

// What an answer said, read by the worker right after the request was sent.
struct ResponseFacts {
    bool bSent = false;  // OpenUrl succeeded
    DWORD dwStatus = 0;  // 0 when it could not be read
    bool bLengthKnown = false;  // Content-Length was there and fits
    long long llContentLength = 0;
    std::wstring strContentRange;
    std::wstring strETag;
    std::wstring strLastModified;
};

// Where the body goes. Write runs on the worker thread, one piece at a time in order;
// false ends the reading (the owner has all it wants, or must stop).
class IPieceSink {
public:
    virtual bool Write(const char* pData, int nSize) = 0;

protected:
    ~IPieceSink() = default;
};

class CDetachedRequest {
public:
    enum WaitResult { kReady, kCancelled, kTimedOut };

    // Takes the request (verb, headers and limits already set) and starts a worker
    // that opens strUrl. Null when no thread could be started.
    static std::unique_ptr<CDetachedRequest> Start(std::unique_ptr<CBaseRequest> request, const std::wstring& strUrl);
    ~CDetachedRequest();
    CDetachedRequest(const CDetachedRequest&) = delete;
    CDetachedRequest& operator=(const CDetachedRequest&) = delete;

    const char* GetTypeName() const { return m_pszTypeName; }

    // Waits until the request was sent (or failed to be), the cancel is set, or
    // dwTimeoutMs passed. pCancel may be null.
    WaitResult WaitForAnswer(const CDownloadCancel* pCancel, DWORD dwTimeoutMs);
    // After kReady from WaitForAnswer.
    const ResponseFacts& Facts() const;

    // After the answer: the worker reads at most llBodyLimit bytes of the body into
    // the sink, which must live until this object is destroyed.
    void ReadBody(IPieceSink* pSink, long long llBodyLimit);
    // Waits until the body ended, the cancel is set, or dwTimeoutMs passed. At the
    // end, nResult is 0 (end of body, the limit, or the sink had enough) or -1 (a
    // read failed).
    WaitResult WaitForBody(const CDownloadCancel* pCancel, DWORD dwTimeoutMs, int& nResult);
    // Reads no more than llLimit bytes of the body in all (a limit only goes down).
    void LowerBodyLimit(long long llLimit);
    // Takes the sink back: no piece reaches it after this returns (a piece being
    // written is waited for). The destructor does it too.
    void EndBody();

    struct Shared;

private:
    explicit CDetachedRequest(std::shared_ptr<Shared> shared, const char* pszTypeName);
    WaitResult WaitForWorker(const CDownloadCancel* pCancel, DWORD dwTimeoutMs, bool (*ready)(const Shared&));

    std::shared_ptr<Shared> m_shared;
    const char* m_pszTypeName;
};
