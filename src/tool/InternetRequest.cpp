#include "tool/InternetRequest.h"

#include "net/WinInetProxy.h"
#include "net/WinInetTransport.h"

namespace {

// The transport policy adds INTERNET_FLAG_SECURE for an https attempt. Without
// INTERNET_FLAG_NO_AUTH, which would keep WinINet from sending a proxy login.
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;

}  // namespace

CInternetRequest::~CInternetRequest() { CInternetRequest::CloseHandles(); }

void CInternetRequest::CloseHandles()
{
    for (void** handle : {&hRequest, &hConnect, &hSession}) {
        if (*handle) InternetCloseHandle(*handle);
        *handle = nullptr;
    }
}

const char* CInternetRequest::GetTypeName() { return "Internet"; }

bool CInternetRequest::OpenSession()
{
    TransportOptions options = RequestOptions();
    options.pszAgent = L"";
    hSession = WinInetTransport::OpenSession(options, m_target, m_route);
    return hSession || FailCall("InternetOpen", "CInternetRequest::OpenSession");
}

bool CInternetRequest::ConnectSession(bool /*bSecure: in m_target*/)
{
    hConnect = WinInetTransport::Connect(hSession, m_target);
    return hConnect || FailCall("InternetConnect", "CInternetRequest::ConnectSession");
}

bool CInternetRequest::OpenRequest(bool /*bSecure: in m_target*/)
{
    const wchar_t* acceptTypes[] = {L"*/*", nullptr};
    hRequest = WinInetTransport::OpenRequest(hConnect, strVerb.c_str(), m_target, L"HTTP/1.1", acceptTypes,
                                             kRequestFlags, RequestOptions());
    return hRequest || FailCall("HttpOpenRequest", "CInternetRequest::OpenRequest");
}

bool CInternetRequest::SendRequest()
{
    return SendThroughInternetProxy(
        m_route, [this] { return hRequest; }, [this] { return SendOnce(); },
        [this] {
            InternetCloseHandle(hRequest);
            hRequest = nullptr;
            return OpenRequest(m_target.bSecure);
        });
}

// Sends on hRequest and follows the answer's redirects.
bool CInternetRequest::SendOnce()
{
    const char* context = "CInternetRequest::SendRequest";
    // Failed steps log themselves; a redirect the policy refused is logged below.
    bool stepFailed = false;
    auto send = [&]() -> HINTERNET {
        const char* failedCall = nullptr;
        if (!strHeaders.empty() && !HttpAddRequestHeadersW(hRequest, strHeaders.c_str(),
                                                           static_cast<DWORD>(strHeaders.size()),
                                                           HTTP_ADDREQ_FLAG_ADD)) {
            failedCall = "\"HttpAddRequestHeaders\"";
        } else if (!HttpSendRequestW(hRequest, nullptr, 0, nullptr, 0)) {
            failedCall = "HttpSendRequest";
        }
        if (!failedCall) return hRequest;
        stepFailed = true;
        FailCall(failedCall, context);
        return nullptr;
    };
    auto reopen = [&](const TransportAddress& next) {
        for (void** handle : {&hRequest, &hConnect}) {
            if (*handle) InternetCloseHandle(*handle);
            *handle = nullptr;
        }
        strHost = next.strHost;
        nPort = next.nPort;
        strObject = next.strObject.substr(1);
        stepFailed = !(ConnectSession(next.bSecure) && OpenRequest(next.bSecure));
        return !stepFailed;
    };
    if (WinInetTransport::SendFollowingRedirects(m_target, RequestOptions(), send, reopen)) return true;
    if (!stepFailed) FailCall("WinInetTransport::SendFollowingRedirects", context);
    return false;
}

bool CInternetRequest::GetUrlFileSize(long long& llSize)
{
    if (!hRequest) return false;
    wchar_t text[260] = {};
    DWORD length = sizeof text;
    DWORD index = 0;
    if (!HttpQueryInfoW(hRequest, HTTP_QUERY_CONTENT_LENGTH, text, &length, &index)) {
        return FailCall("HttpQueryInfo", "CInternetRequest::GetUrlFileSize");
    }
    return ParseContentLength(text, llSize);
}

int CInternetRequest::HttpRead(void* pBuffer, int nCapacity)
{
    DWORD read = 0;
    if (!InternetReadFile(hRequest, pBuffer, static_cast<DWORD>(nCapacity), &read)) {
        FailCall("InternetReadFile", "CInternetRequest::HttpRead");
        return -1;
    }
    return static_cast<int>(read);
}

bool CInternetRequest::GetStatusCode(DWORD& dwStatus)
{
    if (!hRequest) return false;
    DWORD length = sizeof dwStatus;
    DWORD index = 0;
    return HttpQueryInfoW(hRequest, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &dwStatus, &length, &index) ||
           FailCall("HttpQueryInfo", "CInternetRequest::GetStatusCode");
}

bool CInternetRequest::GetResponseHeader(const wchar_t* pszName, std::wstring& strValue)
{
    if (!hRequest) return false;
    // HTTP_QUERY_CUSTOM takes the header's name in the buffer that receives its value.
    wchar_t text[260] = {};
    lstrcpynW(text, pszName, 259);
    DWORD length = sizeof text - sizeof text[0];
    DWORD index = 0;
    if (!HttpQueryInfoW(hRequest, HTTP_QUERY_CUSTOM, text, &length, &index)) {
        // An absent header is an answer, not a failed call.
        return GetLastError() != ERROR_HTTP_HEADER_NOT_FOUND &&
               FailCall("HttpQueryInfo", "CInternetRequest::GetResponseHeader");
    }
    strValue = text;
    return true;
}
