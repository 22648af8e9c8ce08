#include "tool/BaseRequest.h"

#include <wininet.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "http/ContentLength.h"
#include "log/Log.h"
#include "tool/InternetRequest.h"
#include "tool/WinHttpRequest.h"

namespace {

std::atomic<const char*> g_brokenBackEnd{nullptr};
// A connection that receives nothing for 30 s is given up and retried.
std::atomic<DWORD> g_stallLimit{30000};

}  // namespace

CBaseRequest* CBaseRequest::CreateInstance(int nType)
{
    switch (nType) {
    case kWinHttpRequest:
        return new CWinHttpRequest;
    case kInternetRequest:
        return new CInternetRequest;
    default:
        ASSERT_CHECK_FORMAT(false, "ERR:un support type %d", nType);
        return nullptr;
    }
}

CBaseRequest::CBaseRequest()
    : strVerb(L"GET"), nPort(0), hSession(nullptr), hConnect(nullptr), hRequest(nullptr), dwMaxConnsPerServer(0)
{
}

CBaseRequest::~CBaseRequest() = default;

bool CBaseRequest::OpenUrl(const std::wstring& strUrl)
{
    std::wstring host, object;
    int port = 0;
    bool https = false;
    if (!SplitUrl(strUrl, host, port, https, object)) return false;
    nPort = port;
    if (ConnectAndSend(true, host, object)) return true;
    // Never fall back to clear text for an https address: the file is run elevated.
    if (https) return false;
    CloseHandles();
    return ConnectAndSend(false, host, object);
}

bool CBaseRequest::ConnectAndSend(bool bSecure, const std::wstring& strHostName, const std::wstring& strObjectPath)
{
    strObject = strObjectPath;
    strHost = strHostName;
    m_target.bSecure = bSecure;
    m_target.strHost = strHostName;
    m_target.nPort = static_cast<unsigned short>(nPort);
    m_target.strObject = L"/" + strObjectPath;
    const char* broken = g_brokenBackEnd;
    if (broken && strcmp(broken, GetTypeName()) == 0) {
        LOG_A("ERR:[%s] back-end broken for testing", GetTypeName());
        return false;
    }
    if (!OpenSession()) return false;
    if (dwMaxConnsPerServer != 0) {
        InternetSetOpt(INTERNET_OPTION_MAX_CONNS_PER_SERVER, dwMaxConnsPerServer);
        InternetSetOpt(INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, dwMaxConnsPerServer);
    }
    return ConnectSession(bSecure) && OpenRequest(bSecure) && SendRequest();
}

TransportOptions CBaseRequest::RequestOptions() const
{
    TransportOptions options;
    // Connect, send, the answer and every read: each waits for the server at most
    // the stall limit.
    options.dwConnectTimeout = options.dwSendTimeout = options.dwReceiveTimeout = StallLimit();
    return options;
}

bool CBaseRequest::SplitUrl(const std::wstring& strUrl, std::wstring& strHostOut, int& nPortOut, bool& bHttpsOut,
                            std::wstring& strObjectOut)
{
    TransportAddress address;
    if (!TransportPolicy::ParseWrittenAddress(strUrl, address)) return false;
    strHostOut = address.strHost;
    nPortOut = address.nPort;
    bHttpsOut = address.bSecure;
    strObjectOut = address.strObject.substr(1);
    return true;
}

bool CBaseRequest::QueryInternetOpt(DWORD dwOption, std::string& strValue)
{
    DWORD size = 0;
    if (InternetQueryOptionW(nullptr, dwOption, nullptr, &size)) return false;
    // Wine refuses the probe without telling the size; every option read here is a DWORD.
    if (size == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) size = sizeof(DWORD);
    std::vector<char> buffer;
    try {
        buffer.resize(size);
    } catch (const std::bad_alloc&) {
        LOG_A("ERR: new %d bytes fail!", static_cast<int>(size));
        return false;
    }
    if (!InternetQueryOptionW(nullptr, dwOption, buffer.data(), &size)) {
        LOG_A("ERR: InternetQueryOption fail! 0x%x", static_cast<unsigned>(GetLastError()));
        return false;
    }
    strValue.assign(buffer.data(), size);
    return true;
}

bool CBaseRequest::QueryInternetOptDword(DWORD dwOption, DWORD& dwValue)
{
    std::string bytes;
    if (!QueryInternetOpt(dwOption, bytes) || bytes.size() < sizeof dwValue) return false;
    memcpy(&dwValue, bytes.data(), sizeof dwValue);
    return true;
}

bool CBaseRequest::InternetSetOpt(DWORD dwOption, DWORD dwValue)
{
    DWORD current = 0;
    if (QueryInternetOptDword(dwOption, current) && current == dwValue) return true;
    if (!InternetSetOptionW(nullptr, dwOption, &dwValue, sizeof dwValue)) {
        LOG_A("ERR: InternetSetOption fail! 0x%x", static_cast<unsigned>(GetLastError()));
        return false;
    }
    return QueryInternetOptDword(dwOption, current) && current == dwValue;
}

void CBaseRequest::ShowApiError(const char* pszCallName, DWORD dwError, HMODULE hModule, const char* pszContext)
{
    char message[260] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, hModule, dwError, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), message,
                   sizeof message, nullptr);
    if (pszContext) {
        WriteLogA("ShowApiError", __FILE__, __LINE__, kLogInfo, "[Thread][%d] [%s]call %s fail %d, %s\n",
                  static_cast<int>(GetCurrentThreadId()), pszContext, pszCallName, static_cast<int>(dwError), message);
    } else {
        WriteLogA("ShowApiError", __FILE__, __LINE__, kLogInfo, "[Thread][%d] call %s fail %d, %s\n",
                  static_cast<int>(GetCurrentThreadId()), pszCallName, static_cast<int>(dwError), message);
    }
}

void CBaseRequest::SetBrokenBackEndForTesting(const char* pszTypeName) { g_brokenBackEnd = pszTypeName; }

DWORD CBaseRequest::StallLimit() { return g_stallLimit; }

void CBaseRequest::SetStallLimitForTesting(DWORD dwMilliseconds) { g_stallLimit = dwMilliseconds; }

bool CBaseRequest::ParseContentLength(const std::wstring& strText, long long& llSize)
{
    switch (ContentLength::Parse(strText, llSize)) {
    case ContentLength::Parsed::kValid:
        return true;
    case ContentLength::Parsed::kTooLarge:
        LOG_W(L"ERR:[%S] Content-Length %s is out of range", GetTypeName(), strText.c_str());
        return false;
    case ContentLength::Parsed::kNotANumber:
        break;
    }
    LOG_W(L"ERR:[%S] Content-Length (%s) is not a number", GetTypeName(), strText.c_str());
    return false;
}

bool CBaseRequest::FailCall(const char* pszCallName, const char* pszContext)
{
    DWORD error = GetLastError();
    // WinINet's message table explains WinHTTP's codes as well: they share numbers.
    ShowApiError(pszCallName, error, GetModuleHandleW(L"wininet.dll"), pszContext);
    return false;
}
