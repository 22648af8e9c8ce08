#include "tool/DetachedRequest.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

#include "http/UniqueResource.h"
#include "log/Log.h"
#include "tool/BaseRequest.h"
#include "tool/HttpDownload.h"

namespace {

constexpr int kPieceSize = 102400;  // the downloader's read buffer
constexpr int kSlots = 2;           // one piece being written, one being read ahead
// How often a worker waiting for a free buffer looks whether its owner has gone.
constexpr DWORD kWorkerPoll = 1000;
// Without an event to wait on, a cancel is looked at this often.
constexpr DWORD kCancelPoll = 50;

}  // namespace

struct CDetachedRequest::Shared {
    std::unique_ptr<CBaseRequest> request;
    std::wstring url;
    std::atomic<long long> bodyLimit{0};
    UniqueKernelHandle workerEvent;  // set by the worker whenever it published something
    UniqueKernelHandle ownerEvent;   // set by the owner when it freed a buffer or left
    std::atomic<bool> stop{false};

    std::mutex lock;  // guards everything below
    bool answered = false;
    ResponseFacts facts;
    std::unique_ptr<char[]> buffers[kSlots];
    int sizes[kSlots] = {};
    int head = 0;       // the oldest full buffer
    int fullCount = 0;  // full buffers, the one the owner holds included
    bool ended = false;
    int endResult = 0;  // 0 end of body or limit, -1 failed read
};

namespace {

std::wstring HeaderOf(CBaseRequest& request, const wchar_t* name)
{
    std::wstring value;
    return request.GetResponseHeader(name, value) ? value : std::wstring();
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
        if (!facts.bSent) shared->ended = true, shared->endResult = -1;
    }
    SetEvent(shared->workerEvent.Get());
    if (!facts.bSent) return;

    long long read = 0;
    for (;;) {
        int slot = 0;
        for (;;) {
            if (shared->stop) return;
            {
                std::lock_guard<std::mutex> guard(shared->lock);
                if (shared->fullCount < kSlots) {
                    slot = (shared->head + shared->fullCount) % kSlots;
                    break;
                }
            }
            WaitForSingleObject(shared->ownerEvent.Get(), kWorkerPoll);
        }
        long long want = std::min<long long>(kPieceSize, shared->bodyLimit - read);
        int got = want > 0 ? request.HttpRead(shared->buffers[slot].get(), static_cast<int>(want)) : 0;
        {
            std::lock_guard<std::mutex> guard(shared->lock);
            if (got > 0) {
                shared->sizes[slot] = got;
                ++shared->fullCount;
            } else {
                shared->ended = true;
                shared->endResult = got < 0 ? -1 : 0;
            }
        }
        SetEvent(shared->workerEvent.Get());
        if (got <= 0) return;
        read += got;
    }
}

}  // namespace

std::unique_ptr<CDetachedRequest> CDetachedRequest::Start(std::unique_ptr<CBaseRequest> request,
                                                          const std::wstring& strUrl, long long llBodyLimit)
{
    auto shared = std::make_shared<Shared>();
    const char* typeName = request->GetTypeName();
    shared->request = std::move(request);
    shared->url = strUrl;
    shared->bodyLimit = llBodyLimit;
    shared->workerEvent.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    shared->ownerEvent.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!shared->workerEvent.Valid() || !shared->ownerEvent.Valid()) {
        LOG_A("ERR:[%s] CreateEvent fail! (%lu)", typeName, GetLastError());
        return nullptr;
    }
    try {
        for (auto& buffer : shared->buffers) buffer.reset(new char[kPieceSize]);
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
    m_shared->stop = true;
    SetEvent(m_shared->ownerEvent.Get());
}

CDetachedRequest::WaitResult CDetachedRequest::WaitForAnswer(const CDownloadCancel* pCancel, DWORD dwTimeoutMs)
{
    return WaitForWorker(pCancel, dwTimeoutMs, [](const Shared& shared) { return shared.answered; });
}

const ResponseFacts& CDetachedRequest::Facts() const { return m_shared->facts; }

CDetachedRequest::WaitResult CDetachedRequest::WaitForPiece(const CDownloadCancel* pCancel, DWORD dwTimeoutMs,
                                                            const char*& pData, int& nSize)
{
    WaitResult result =
        WaitForWorker(pCancel, dwTimeoutMs, [](const Shared& shared) { return shared.fullCount > 0 || shared.ended; });
    if (result != kReady) return result;
    std::lock_guard<std::mutex> guard(m_shared->lock);
    if (m_shared->fullCount > 0) {
        pData = m_shared->buffers[m_shared->head].get();
        nSize = m_shared->sizes[m_shared->head];
    } else {
        pData = nullptr;
        nSize = m_shared->endResult;
    }
    return kReady;
}

void CDetachedRequest::LowerBodyLimit(long long llLimit)
{
    long long current = m_shared->bodyLimit;
    while (llLimit < current && !m_shared->bodyLimit.compare_exchange_weak(current, llLimit)) {
    }
}

void CDetachedRequest::ReleasePiece()
{
    {
        std::lock_guard<std::mutex> guard(m_shared->lock);
        if (m_shared->fullCount == 0) return;
        m_shared->head = (m_shared->head + 1) % kSlots;
        --m_shared->fullCount;
    }
    SetEvent(m_shared->ownerEvent.Get());
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
