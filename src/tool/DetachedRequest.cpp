#include "tool/DetachedRequest.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

#include "base/UniqueResource.h"
#include "log/Log.h"
#include "tool/BaseRequest.h"
#include "tool/HttpDownload.h"

namespace {

constexpr int kPieceSize = 102400;  // the downloader's read buffer
// How often a worker waiting for its owner looks whether the owner has gone.
constexpr DWORD kWorkerPoll = 1000;
// Without an event to wait on, a cancel is looked at this often.
constexpr DWORD kCancelPoll = 50;

}  // namespace

struct CDetachedRequest::Shared {
    std::unique_ptr<CBaseRequest> request;
    std::wstring url;
    UniqueKernelHandle workerEvent;  // set by the worker when the answer or the end is there
    UniqueKernelHandle ownerEvent;   // set by the owner when it handed over a sink or left
    std::atomic<long long> bodyLimit{0};

    std::mutex lock;  // guards the fields below
    bool answered = false;
    ResponseFacts facts;
    bool bodyWanted = false;
    bool ended = false;
    int endResult = 0;  // 0 end of body, limit or enough; -1 failed read
    bool ownerGone = false;

    // Held while the worker writes a piece and while the owner takes the sink back,
    // so a piece is never written into a sink whose owner has left.
    std::mutex sinkLock;
    IPieceSink* sink = nullptr;
};

namespace {

std::wstring HeaderOf(CBaseRequest& request, const wchar_t* name)
{
    std::wstring value;
    return request.GetResponseHeader(name, value) ? value : std::wstring();
}

void Finish(CDetachedRequest::Shared& shared, int result)
{
    {
        std::lock_guard<std::mutex> guard(shared.lock);
        shared.ended = true;
        shared.endResult = result;
    }
    SetEvent(shared.workerEvent.Get());
}

void Work(const std::shared_ptr<CDetachedRequest::Shared>& shared)
{
    CBaseRequest& request = *shared->request;
    ResponseFacts facts;
    facts.bSent = request.OpenUrl(shared->url);
    if (facts.bSent) {
        if (!request.GetStatusCode(facts.dwStatus)) facts.dwStatus = 0;
        facts.strContentRange = HeaderOf(request, L"Content-Range");
        facts.bLengthKnown = request.GetUrlFileSize(facts.llContentLength);
        facts.strETag = HeaderOf(request, L"ETag");
        facts.strLastModified = HeaderOf(request, L"Last-Modified");
    }
    {
        std::lock_guard<std::mutex> guard(shared->lock);
        shared->facts = facts;
        shared->answered = true;
    }
    SetEvent(shared->workerEvent.Get());
    if (!facts.bSent) return;

    // The owner looks at the answer first, then wants the body or leaves.
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(shared->lock);
            if (shared->ownerGone) return;
            if (shared->bodyWanted) break;
        }
        WaitForSingleObject(shared->ownerEvent.Get(), kWorkerPoll);
    }

    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kPieceSize]);
    if (!buffer) return Finish(*shared, -1);
    for (long long read = 0;;) {
        long long want = std::min<long long>(kPieceSize, shared->bodyLimit - read);
        int got = want > 0 ? request.HttpRead(buffer.get(), static_cast<int>(want)) : 0;
        if (got <= 0) return Finish(*shared, got < 0 ? -1 : 0);
        read += got;
        std::lock_guard<std::mutex> guard(shared->sinkLock);
        if (!shared->sink) return;  // the owner has gone
        if (!shared->sink->Write(buffer.get(), got)) return Finish(*shared, 0);
    }
}

}  // namespace

std::unique_ptr<CDetachedRequest> CDetachedRequest::Start(std::unique_ptr<CBaseRequest> request,
                                                          const std::wstring& strUrl)
{
    auto shared = std::make_shared<Shared>();
    const char* typeName = request->GetTypeName();
    shared->request = std::move(request);
    shared->url = strUrl;
    shared->workerEvent.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    shared->ownerEvent.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!shared->workerEvent.Valid() || !shared->ownerEvent.Valid()) {
        LOG_A("ERR:[%s] CreateEvent fail! (%lu)", typeName, GetLastError());
        return nullptr;
    }
    try {
        std::thread([shared] { Work(shared); }).detach();
    } catch (const std::exception& error) {
        LOG_A("ERR:[%s] start request thread fail! (%s)", typeName, error.what());
        return nullptr;
    }
    return std::unique_ptr<CDetachedRequest>(new CDetachedRequest(std::move(shared), typeName));
}

CDetachedRequest::CDetachedRequest(std::shared_ptr<Shared> shared, const char* pszTypeName)
    : m_shared(std::move(shared)), m_pszTypeName(pszTypeName)
{
}

CDetachedRequest::~CDetachedRequest()
{
    EndBody();
    {
        std::lock_guard<std::mutex> guard(m_shared->lock);
        m_shared->ownerGone = true;
    }
    SetEvent(m_shared->ownerEvent.Get());
}

CDetachedRequest::WaitResult CDetachedRequest::WaitForAnswer(const CDownloadCancel* pCancel, DWORD dwTimeoutMs)
{
    return WaitForWorker(pCancel, dwTimeoutMs, [](const Shared& shared) { return shared.answered; });
}

const ResponseFacts& CDetachedRequest::Facts() const { return m_shared->facts; }

void CDetachedRequest::ReadBody(IPieceSink* pSink, long long llBodyLimit)
{
    m_shared->bodyLimit = llBodyLimit;
    {
        std::lock_guard<std::mutex> guard(m_shared->sinkLock);
        m_shared->sink = pSink;
    }
    {
        std::lock_guard<std::mutex> guard(m_shared->lock);
        m_shared->bodyWanted = true;
    }
    SetEvent(m_shared->ownerEvent.Get());
}

CDetachedRequest::WaitResult CDetachedRequest::WaitForBody(const CDownloadCancel* pCancel, DWORD dwTimeoutMs,
                                                           int& nResult)
{
    WaitResult result = WaitForWorker(pCancel, dwTimeoutMs, [](const Shared& shared) { return shared.ended; });
    if (result == kReady) {
        std::lock_guard<std::mutex> guard(m_shared->lock);
        nResult = m_shared->endResult;
    }
    return result;
}

void CDetachedRequest::EndBody()
{
    std::lock_guard<std::mutex> guard(m_shared->sinkLock);
    m_shared->sink = nullptr;
}

void CDetachedRequest::LowerBodyLimit(long long llLimit)
{
    long long current = m_shared->bodyLimit;
    while (llLimit < current && !m_shared->bodyLimit.compare_exchange_weak(current, llLimit)) {
    }
}

CDetachedRequest::WaitResult CDetachedRequest::WaitForWorker(const CDownloadCancel* pCancel, DWORD dwTimeoutMs,
                                                             bool (*ready)(const Shared&))
{
    DWORD begin = GetTickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(m_shared->lock);
            if (ready(*m_shared)) return kReady;
        }
        if (pCancel && pCancel->IsCancelled()) return kCancelled;
        DWORD elapsed = GetTickCount() - begin;
        if (elapsed >= dwTimeoutMs) return kTimedOut;
        DWORD left = dwTimeoutMs - elapsed;
        HANDLE handles[2] = {m_shared->workerEvent.Get(), pCancel ? pCancel->Event() : nullptr};
        if (handles[1]) {
            WaitForMultipleObjects(2, handles, FALSE, left);
        } else {
            WaitForSingleObject(handles[0], pCancel ? std::min(left, kCancelPoll) : left);
        }
    }
}
