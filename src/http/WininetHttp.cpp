#include "http/WininetHttp.h"

#include "base/FolderTree.h"
#include "http/ContentLength.h"
#include "net/WinInetProxy.h"
#include "net/WinInetTransport.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

const wchar_t kAgent[] = L"Http-connect";
const DWORD kPieceSize = 4096;

}  // namespace

CWininetHttp::~CWininetHttp() = default;

void CWininetHttp::CloseHandles()
{
    m_hRequest.Reset();
    m_hConnection.Reset();
    m_hSession.Reset();
}

void CWininetHttp::SendRequest(const std::wstring& url, bool post, const char* body, const wchar_t* extraHeaders)
{
    CloseHandles();
    TransportOptions options;
    options.pszAgent = kAgent;
    // A redirected POST would have to become a GET without its body: the answer is
    // the redirect.
    options.bFollowRedirects = !post;

    TransportAddress target = TargetOf(url);
    m_bSecure = target.bSecure;

    ProxyRoute route;
    m_hSession.Reset(WinInetTransport::OpenSession(options, target, route));
    if (!m_hSession.Valid()) throw kHttpErrOpen;

    // Connection and request for one address; a followed redirect opens them again.
    auto open = [&](const TransportAddress& address) {
        m_hRequest.Reset();
        m_hConnection.Reset(WinInetTransport::Connect(m_hSession.Get(), address));
        if (!m_hConnection.Valid()) throw kHttpErrConnect;
        m_hRequest.Reset(WinInetTransport::OpenRequest(m_hConnection.Get(), post ? L"POST" : L"GET", address,
                                                       L"HTTP/1.1", nullptr, INTERNET_FLAG_RELOAD));
        if (!m_hRequest.Valid()) throw kHttpErrOpen;
        return true;
    };
    auto send = [&]() -> HINTERNET {
        std::string lines = m_header.BuildHeaderLines();
        HttpAddRequestHeadersA(m_hRequest.Get(), lines.c_str(), static_cast<DWORD>(-1),
                               HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
        DWORD headerLength = extraHeaders ? static_cast<DWORD>(wcslen(extraHeaders)) : 0;
        DWORD bodyLength = body ? static_cast<DWORD>(strlen(body)) : 0;
        if (!HttpSendRequestW(m_hRequest.Get(), extraHeaders, headerLength, const_cast<char*>(body), bodyLength)) {
            throw kHttpErrSend;
        }
        return m_hRequest.Get();
    };
    open(target);
    // Without a login for its proxy the request still ends with the proxy's 407 answer.
    SendThroughInternetProxy(
        route, [&] { return m_hRequest.Get(); },
        [&] {
            if (!WinInetTransport::SendFollowingRedirects(target, options, send, open)) throw kHttpErrSend;
            return true;
        },
        [&] { return open(target); });
}

int CWininetHttp::ReadStatus()
{
    wchar_t text[24] = {};
    DWORD length = sizeof text;
    if (!HttpQueryInfoW(m_hRequest.Get(), HTTP_QUERY_STATUS_CODE, text, &length, nullptr)) return 0;
    return _wtoi(text);
}

DWORD CWininetHttp::ReadPiece(void* buffer, DWORD capacity)
{
    DWORD read = 0;
    if (!InternetReadFile(m_hRequest.Get(), buffer, capacity, &read)) throw kHttpErrRead;
    return read;
}

void CWininetHttp::ReadBody(const std::function<void(const char* data, DWORD count)>& consume)
{
    char piece[kPieceSize];
    while (DWORD read = ReadPiece(piece, sizeof piece)) consume(piece, read);
}

bool CWininetHttp::ReadContentLength(long long& length)
{
    wchar_t text[32] = {};
    DWORD size = sizeof text;
    if (!HttpQueryInfoW(m_hRequest.Get(), HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) {
        if (GetLastError() != ERROR_HTTP_HEADER_NOT_FOUND) throw kHttpErrQuery;
        return false;
    }
    ContentLength::Parsed parsed = ContentLength::Parse(text, length);
    if (parsed == ContentLength::Parsed::kTooLarge) throw kHttpErrTooLarge;
    if (parsed != ContentLength::Parsed::kValid) throw kHttpErrQuery;
    return true;
}

bool CWininetHttp::FetchToFile(const wchar_t* url, const wchar_t* filePath)
{
    UniqueCrtFile file;
    try {
        SendFileRequest(url);
        long long length = 0;
        if (!ReadContentLength(length)) throw kHttpErrQuery;
        double total = static_cast<double>(length);

        CreateFolderTreeFor(filePath);
        file.Reset(_wfopen(filePath, L"wb+"));
        if (!file.Valid()) throw kHttpErrCreateFile;

        double done = 0;
        ReadBody([&](const char* data, DWORD count) {
            if (fwrite(data, 1, count, file.Get()) != count) throw kHttpErrWriteFile;
            done += count;
            ReportProgress(kHttpProgressData, total, done);
        });
        if (done != total) throw kHttpErrRead;
        ReportProgress(kHttpProgressDone, total, done);
        return true;
    } catch (HttpInterfaceError error) {
        return FailFileFetch(error, file, filePath);
    }
}

bool CWininetHttp::FetchToMemory(const wchar_t* url, unsigned char** block, DWORD* size)
{
    try {
        StartMemoryFetch(url, block, size);
        SendRequest(url, false, nullptr, nullptr);
        m_nStatusCode = ReadStatus();
        if (m_nStatusCode >= 400) throw kHttpErrStatus;

        long long length = 0;
        bool announced = ReadContentLength(length);
        if (announced && length > kHttpMemoryLimit) throw kHttpErrTooLarge;
        DWORD capacity = announced ? static_cast<DWORD>(length) : kHttpMemoryLimit;

        UniqueMallocBlock memory(static_cast<unsigned char*>(malloc(capacity ? capacity : 1)));
        if (!memory.Valid()) throw kHttpErrTooLarge;
        DWORD done = 0;
        char spare[kPieceSize];
        for (;;) {
            if (done < capacity) {
                DWORD read = ReadPiece(memory.Get() + done, std::min(kPieceSize, capacity - done));
                if (read == 0) break;
                done += read;
                continue;
            }
            // The block is full: anything more is cut when a size was announced, and
            // too large when none was.
            if (ReadPiece(spare, sizeof spare) == 0) break;
            if (!announced) throw kHttpErrTooLarge;
        }
        if (announced && done != capacity) throw kHttpErrRead;
        *block = memory.Release();
        *size = done;
        return true;
    } catch (HttpInterfaceError error) {
        m_error = error;
        return false;
    }
}
