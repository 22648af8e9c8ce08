#include "http/WinHttp.h"

#include "http/ContentLength.h"
#include "net/WinHttpProxy.h"
#include "net/WinHttpTransport.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

const wchar_t kAgent[] = L"Microsoft Internet Explorer";

}  // namespace

CWinHttp::CWinHttp()
{
    try {
        OpenSession(TransportAddress());
    } catch (HttpInterfaceError error) {
        m_error = error;
    }
}

CWinHttp::~CWinHttp() = default;

void CWinHttp::SetTimeouts(DWORD connectMs, DWORD sendMs, DWORD receiveMs)
{
    m_dwConnectTimeout = connectMs;
    m_dwSendTimeout = sendMs;
    m_dwReceiveTimeout = receiveMs;
}

void CWinHttp::CloseHandles()
{
    m_hRequest.Reset();
    m_hConnection.Reset();
    m_hSession.Reset();
}

TransportOptions CWinHttp::Options() const
{
    TransportOptions options;
    options.pszAgent = kAgent;
    options.dwConnectTimeout = m_dwConnectTimeout;
    options.dwSendTimeout = m_dwSendTimeout;
    options.dwReceiveTimeout = m_dwReceiveTimeout;
    return options;
}

void CWinHttp::OpenSession(const TransportAddress& target)
{
    m_hSession.Reset(WinHttpTransport::OpenSession(Options(), target, m_route));
    if (!m_hSession.Valid()) throw kHttpErrOpen;
}

void CWinHttp::SendRequest(const std::wstring& url, bool post, const char* body, const wchar_t* extraHeaders)
{
    CloseHandles();

    TransportAddress target = TargetOf(url);
    m_bSecure = target.bSecure;
    OpenSession(target);

    m_hConnection.Reset(WinHttpTransport::Connect(m_hSession.Get(), target));
    if (!m_hConnection.Valid()) throw kHttpErrConnect;

    TransportOptions options = Options();
    auto openRequest = [&] {
        m_hRequest.Reset(WinHttpTransport::OpenRequest(m_hConnection.Get(), post ? L"POST" : L"GET", target, nullptr,
                                                       WINHTTP_DEFAULT_ACCEPT_TYPES, 0, options));
        return m_hRequest.Valid();
    };
    if (!openRequest()) throw kHttpErrOpen;

    HttpInterfaceError failure = kHttpErrNone;
    auto send = [&](bool newHandle) {
        if (newHandle) {
            std::wstring lines = Text::AnsiToWide(m_header.BuildHeaderLines());
            WinHttpAddRequestHeaders(m_hRequest.Get(), lines.c_str(), static_cast<DWORD>(-1),
                                     WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
        }
        DWORD bodyLength = body ? static_cast<DWORD>(strlen(body)) : 0;
        if (!WinHttpSendRequest(m_hRequest.Get(), extraHeaders ? extraHeaders : WINHTTP_NO_ADDITIONAL_HEADERS,
                                extraHeaders ? static_cast<DWORD>(-1) : 0,
                                body ? const_cast<char*>(body) : WINHTTP_NO_REQUEST_DATA, bodyLength, bodyLength, 0)) {
            failure = kHttpErrSend;
            return false;
        }
        if (!WinHttpReceiveResponse(m_hRequest.Get(), nullptr)) {
            failure = kHttpErrOpen;
            return false;
        }
        return true;
    };
    auto reopen = [&] {
        if (openRequest()) return true;
        failure = kHttpErrOpen;
        return false;
    };
    // Without a login for its proxy the request still ends with the proxy's 407 answer.
    if (!SendThroughWinHttpProxy(m_route, [&] { return m_hRequest.Get(); }, send, reopen) && failure) throw failure;
    if (!WinHttpTransport::CheckAnswer(m_hRequest.Get(), target, options)) throw kHttpErrOpen;
}

int CWinHttp::ReadStatus()
{
    wchar_t text[24] = {};  // 48 bytes
    DWORD length = sizeof text;
    if (!WinHttpQueryHeaders(m_hRequest.Get(), WINHTTP_QUERY_STATUS_CODE, WINHTTP_HEADER_NAME_BY_INDEX, text, &length,
                             WINHTTP_NO_HEADER_INDEX)) {
        return 0;
    }
    return _wtoi(text);
}

unsigned long long CWinHttp::ReadContentLength()
{
    wchar_t text[32] = {};
    DWORD length = sizeof text;
    if (!WinHttpQueryHeaders(m_hRequest.Get(), WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text,
                             &length, WINHTTP_NO_HEADER_INDEX)) {
        throw kHttpErrQuery;
    }
    long long size = 0;
    if (ContentLength::Parse(text, size) != ContentLength::Parsed::kValid) throw kHttpErrQuery;
    return static_cast<unsigned long long>(size);
}

void CWinHttp::ReadBody(const std::function<void(const char* data, DWORD count)>& consume)
{
    std::vector<char> buffer(4096);
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(m_hRequest.Get(), &available)) throw kHttpErrRead;
        if (available == 0) return;
        if (available > buffer.size()) buffer.resize(available);
        DWORD read = 0;
        if (!WinHttpReadData(m_hRequest.Get(), buffer.data(), available, &read)) throw kHttpErrRead;
        if (read == 0) return;
        consume(buffer.data(), read);
    }
}

bool CWinHttp::FetchToFile(const wchar_t* url, const wchar_t* filePath)
{
    UniqueFileHandle file;
    try {
        SendFileRequest(url);
        unsigned long long total = ReadContentLength();

        file.Reset(CreateFileW(filePath, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) throw kHttpErrCreateFile;
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(total);
        SetFilePointerEx(file.Get(), position, nullptr, FILE_BEGIN);
        SetEndOfFile(file.Get());
        position.QuadPart = 0;
        SetFilePointerEx(file.Get(), position, nullptr, FILE_BEGIN);

        unsigned long long done = 0;
        ReadBody([&](const char* data, DWORD count) {
            DWORD written = 0;
            if (!WriteFile(file.Get(), data, count, &written, nullptr) || written != count) throw kHttpErrWriteFile;
            done += count;
            ReportProgress(kHttpProgressData, double(total), double(done));
        });
        // The file was sized in advance: a short body would leave zeros behind.
        if (done != total) throw kHttpErrRead;
        return true;
    } catch (HttpInterfaceError error) {
        return FailFileFetch(error, file, filePath);
    }
}

bool CWinHttp::FetchToMemory(const wchar_t* url, unsigned char** block, DWORD* size)
{
    try {
        StartMemoryFetch(url, block, size);
        try {
            SendRequest(url, false, nullptr, nullptr);
        } catch (HttpInterfaceError) {
            throw kHttpErrOpen;
        }
        m_nStatusCode = ReadStatus();
        if (m_nStatusCode >= 400) throw kHttpErrStatus;
        unsigned long long announced = ReadContentLength();
        if (announced > kHttpMemoryLimit) throw kHttpErrTooLarge;
        DWORD total = static_cast<DWORD>(announced);

        UniqueMallocBlock memory(static_cast<unsigned char*>(malloc(total ? total : 1)));
        if (!memory.Valid()) throw kHttpErrTooLarge;
        DWORD done = 0;
        ReadBody([&](const char* data, DWORD count) {
            DWORD take = std::min(count, total - done);
            memcpy(memory.Get() + done, data, take);
            done += take;
            ReportProgress(kHttpProgressData, double(total), double(done));
        });
        if (done != total) throw kHttpErrRead;
        *block = memory.Release();
        *size = done;
        return true;
    } catch (HttpInterfaceError error) {
        m_error = error;
        return false;
    }
}
