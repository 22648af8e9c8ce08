#include "tool/WinHttpRequest.h"

#include "net/WinHttpProxy.h"
#include "net/WinHttpTransport.h"

CWinHttpRequest::~CWinHttpRequest() { CWinHttpRequest::CloseHandles(); }

void CWinHttpRequest::CloseHandles()
{
    for (void** handle : {&hRequest, &hConnect, &hSession}) {
        if (*handle) WinHttpCloseHandle(*handle);
        *handle = nullptr;
    }
}

const char* CWinHttpRequest::GetTypeName() { return "WinHttp"; }

bool CWinHttpRequest::OpenSession()
{
    hSession = WinHttpTransport::OpenSession(RequestOptions(), m_target, m_route);
    return hSession || FailCall("WinHttpOpen", "CWinHttpRequest::OpenSession");
}

bool CWinHttpRequest::ConnectSession(bool /*bSecure: in m_target*/)
{
    hConnect = WinHttpTransport::Connect(hSession, m_target);
    return hConnect || FailCall("WinHttpConnect", "CWinHttpRequest::ConnectSession");
}

bool CWinHttpRequest::OpenRequest(bool /*bSecure: in m_target*/)
{
    const wchar_t* acceptTypes[] = {L"*/*", nullptr};
    hRequest = WinHttpTransport::OpenRequest(hConnect, strVerb.c_str(), m_target, L"HTTP/1.1", acceptTypes,
                                             WINHTTP_FLAG_REFRESH, RequestOptions());
    return hRequest || FailCall("WinHttpOpenRequest", "CWinHttpRequest::OpenRequest");
}

bool CWinHttpRequest::SendRequest()
{
    return SendThroughWinHttpProxy(
        m_route, [this] { return hRequest; }, [this](bool newHandle) { return SendOnce(newHandle); },
        [this] {
            WinHttpCloseHandle(hRequest);
            hRequest = nullptr;
            return OpenRequest(m_target.bSecure);
        });
}

bool CWinHttpRequest::SendOnce(bool bAddHeaders)
{
    const char* context = "CWinHttpRequest::SendRequest";
    if (bAddHeaders && !strHeaders.empty() &&
        !WinHttpAddRequestHeaders(hRequest, strHeaders.c_str(), static_cast<DWORD>(strHeaders.size()),
                                  WINHTTP_ADDREQ_FLAG_ADD)) {
        return FailCall("WinHttpAddRequestHeaders", context);
    }
    if (!WinHttpSendRequest(hRequest, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
        return FailCall("WinHttpSendRequest", context);
    }
    if (!WinHttpReceiveResponse(hRequest, nullptr)) return FailCall("WinHttpReceiveResponse", context);
    return WinHttpTransport::CheckAnswer(hRequest, m_target, RequestOptions()) ||
           FailCall("WinHttpTransport::CheckAnswer", context);
}

bool CWinHttpRequest::GetUrlFileSize(long long& llSize)
{
    if (!hRequest) return false;
    // As text rather than WINHTTP_QUERY_FLAG_NUMBER, which cannot tell 4 GiB + 1 from 1.
    wchar_t text[260] = {};
    DWORD length = sizeof text - sizeof text[0];
    if (!WinHttpQueryHeaders(hRequest, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &length,
                             WINHTTP_NO_HEADER_INDEX)) {
        return FailCall("WinHttpQueryHeaders", "CWinHttpRequest::GetUrlFileSize");
    }
    return ParseContentLength(text, llSize);
}

int CWinHttpRequest::HttpRead(void* pBuffer, int nCapacity)
{
    DWORD read = 0;
    if (!WinHttpReadData(hRequest, pBuffer, static_cast<DWORD>(nCapacity), &read)) {
        FailCall("WinHttpReadData", "CWinHttpRequest::HttpRead");
        return -1;
    }
    return static_cast<int>(read);
}

bool CWinHttpRequest::GetStatusCode(DWORD& dwStatus)
{
    if (!hRequest) return false;
    DWORD length = sizeof dwStatus;
    return WinHttpQueryHeaders(hRequest, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &dwStatus, &length, WINHTTP_NO_HEADER_INDEX) ||
           FailCall("WinHttpQueryHeaders", "CWinHttpRequest::GetStatusCode");
}

bool CWinHttpRequest::GetResponseHeader(const wchar_t* pszName, std::wstring& strValue)
{
    if (!hRequest) return false;
    wchar_t text[260] = {};
    DWORD length = sizeof text - sizeof text[0];
    if (!WinHttpQueryHeaders(hRequest, WINHTTP_QUERY_CUSTOM, pszName, text, &length, WINHTTP_NO_HEADER_INDEX)) {
        // An absent header is an answer, not a failed call.
        return GetLastError() != ERROR_WINHTTP_HEADER_NOT_FOUND &&
               FailCall("WinHttpQueryHeaders", "CWinHttpRequest::GetResponseHeader");
    }
    strValue = text;
    return true;
}
