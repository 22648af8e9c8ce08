#include "tool/InternetRequest.h"

#include <wininet.h>

namespace {

// Fixed for both attempts: the connection is always secure.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_SECURE | INTERNET_FLAG_KEEP_CONNECTION |
                                INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTH |
                                INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP | INTERNET_FLAG_NO_UI;
static_assert(kRequestFlags == 0x80CC8200, "the request flags the installer has always sent");

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
    DWORD access = IsUseProxyConnect() ? INTERNET_OPEN_TYPE_PRECONFIG : INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY;
    hSession = InternetOpenW(L"", access, nullptr, nullptr, 0);
    return hSession || FailCall("InternetOpen", "CInternetRequest::OpenSession");
}

bool CInternetRequest::ConnectSession(bool /*bSecure: the request flags decide*/)
{
    INTERNET_PORT port = nPort ? static_cast<INTERNET_PORT>(nPort) : INTERNET_DEFAULT_HTTPS_PORT;
    hConnect = InternetConnectW(hSession, strHost.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    return hConnect || FailCall("InternetConnect", "CInternetRequest::ConnectSession");
}

bool CInternetRequest::OpenRequest(bool /*bSecure: the request flags decide*/)
{
    const wchar_t* acceptTypes[] = {L"*/*", nullptr};
    hRequest = HttpOpenRequestW(hConnect, strVerb.c_str(), strObject.c_str(), L"HTTP/1.1", nullptr, acceptTypes,
                                kRequestFlags, 0);
    return hRequest || FailCall("HttpOpenRequest", "CInternetRequest::OpenRequest");
}

bool CInternetRequest::SendRequest()
{
    const char* context = "CInternetRequest::SendRequest";
    if (!strHeaders.empty() && !HttpAddRequestHeadersW(hRequest, strHeaders.c_str(),
                                                       static_cast<DWORD>(strHeaders.size()), HTTP_ADDREQ_FLAG_ADD)) {
        return FailCall("\"HttpAddRequestHeaders\"", context);
    }
    return HttpSendRequestW(hRequest, nullptr, 0, nullptr, 0) || FailCall("HttpSendRequest", context);
}

// The request's time-outs, kept in one place until the transport policy takes them.
// They are set on the request handle: Wine ignores them on the session.
void CInternetRequest::ApplyTimeouts()
{
    DWORD value = StallLimit();
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        if (!InternetSetOptionW(hRequest, option, &value, sizeof value)) {
            FailCall("InternetSetOption", "CInternetRequest::ApplyTimeouts");
        }
    }
}

bool CInternetRequest::GetUrlFileSize(int& nSize)
{
    if (!hRequest) return false;
    wchar_t text[260] = {};
    DWORD length = sizeof text;
    DWORD index = 0;
    if (!HttpQueryInfoW(hRequest, HTTP_QUERY_CONTENT_LENGTH, text, &length, &index)) {
        return FailCall("HttpQueryInfo", "CInternetRequest::GetUrlFileSize");
    }
    return ParseContentLength(text, nSize);
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
