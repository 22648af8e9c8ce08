#pragma once
// One request of the download engine, run on a thread of its own. The owner waits
// for the answer and for each piece of the body with a bound, and can walk away at
// once (a cancel, a stall) while the request ends by its own time-outs. Under Wine a
// WinHTTP or WinINet call blocked in a read is not woken when another thread closes
// its handle, so walking away is how a cancel ends a segment within a second.
//
// Thread contract: the public members run on the owner's thread. The worker thread
// opens the request, records its answer and reads ahead into two piece buffers; it
// touches nothing but the state it shares with the owner.
//
// Lifetime: the shared state (request object, buffers, events) is held by the owner
// and by the worker; the last of them frees it. The destructor asks the worker to
// stop and does not wait, so a worker still blocked in a platform call ends by the
// request's time-outs and then frees the request. No callback reaches the owner.

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

class CDetachedRequest {
public:
    enum WaitResult { kReady, kCancelled, kTimedOut };

    // Takes the request (verb, headers and limits already set) and starts a worker
    // that opens strUrl and then reads at most llBodyLimit bytes of the body. Null
    // when no thread could be started.
    static std::unique_ptr<CDetachedRequest> Start(std::unique_ptr<CBaseRequest> request, const std::wstring& strUrl,
                                                   long long llBodyLimit);
    ~CDetachedRequest();
    CDetachedRequest(const CDetachedRequest&) = delete;
    CDetachedRequest& operator=(const CDetachedRequest&) = delete;

    const char* GetTypeName() const { return m_pszTypeName; }

    // Waits until the request was sent (or failed to be), the cancel is set, or
    // dwTimeoutMs passed. pCancel may be null.
    WaitResult WaitForAnswer(const CDownloadCancel* pCancel, DWORD dwTimeoutMs);
    // After kReady from WaitForAnswer.
    const ResponseFacts& Facts() const;

    // The next piece of the body: nSize > 0 with pData pointing at the bytes (valid
    // until ReleasePiece), 0 at the end of the body or the limit, -1 when a read failed.
    WaitResult WaitForPiece(const CDownloadCancel* pCancel, DWORD dwTimeoutMs, const char*& pData, int& nSize);
    // Hands the buffer of the piece just taken back to the worker.
    void ReleasePiece();
    // Reads no more than llLimit bytes of the body in all (a limit only goes down).
    void LowerBodyLimit(long long llLimit);

    struct Shared;

private:
    explicit CDetachedRequest(std::shared_ptr<Shared> shared, const char* pszTypeName);
    WaitResult WaitForWorker(const CDownloadCancel* pCancel, DWORD dwTimeoutMs, bool (*ready)(const Shared&));

    std::shared_ptr<Shared> m_shared;
    const char* m_pszTypeName;
};
