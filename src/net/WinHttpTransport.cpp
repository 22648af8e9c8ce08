#include "net/WinHttpTransport.h"

#include <vector>

#include "base/UniqueResource.h"

void CloseWinHttpHandle(void* handle) { WinHttpCloseHandle(handle); }

namespace {

bool SetDword(HINTERNET handle, DWORD option, DWORD value)
{
    return WinHttpSetOption(handle, option, &value, sizeof value) != FALSE;
}

// Closes a handle that cannot be handed out; the owner keeps the error that explains why.
HINTERNET Abandon(HINTERNET handle)
{
    UniqueWinHttpHandle closing(handle);
    return nullptr;
}

}  // namespace

namespace WinHttpTransport {

HINTERNET OpenSession(const TransportOptions& options, const TransportAddress& target, ProxyRoute& route)
{
    route = RouteFor(options, target, "WinHttp");
    // WINHTTP_OPTION_PROXY on a handle is not honoured everywhere (Wine ignores it):
    // the session itself names the proxy.
    HINTERNET session =
        route.Direct()
            ? WinHttpOpen(options.pszAgent, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0)
            : WinHttpOpen(options.pszAgent, WINHTTP_ACCESS_TYPE_NAMED_PROXY, route.proxy.c_str(),
                          WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session) return nullptr;
    // Systems that do not know TLS 1.3 refuse its flag: TLS 1.2 alone then.
    if (!SetDword(session, WINHTTP_OPTION_SECURE_PROTOCOLS,
                  WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3) &&
        !SetDword(session, WINHTTP_OPTION_SECURE_PROTOCOLS, WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2)) {
        return Abandon(session);
    }
    if ((options.dwConnectTimeout && !SetDword(session, WINHTTP_OPTION_CONNECT_TIMEOUT, options.dwConnectTimeout)) ||
        (options.dwSendTimeout && !SetDword(session, WINHTTP_OPTION_SEND_TIMEOUT, options.dwSendTimeout)) ||
        (options.dwReceiveTimeout && !SetDword(session, WINHTTP_OPTION_RECEIVE_TIMEOUT, options.dwReceiveTimeout))) {
        return Abandon(session);
    }
    return session;
}

HINTERNET Connect(HINTERNET session, const TransportAddress& target)
{
    return WinHttpConnect(session, target.strHost.c_str(), target.Port(), 0);
}

HINTERNET OpenRequest(HINTERNET connection, const wchar_t* verb, const TransportAddress& target,
                      const wchar_t* version, const wchar_t** acceptTypes, DWORD flags,
                      const TransportOptions& options)
{
    flags = target.bSecure ? flags | WINHTTP_FLAG_SECURE : flags & ~WINHTTP_FLAG_SECURE;
    HINTERNET request = WinHttpOpenRequest(connection, verb, target.strObject.c_str(), version, WINHTTP_NO_REFERER,
                                           acceptTypes, flags);
    if (!request) return nullptr;
    DWORD policy = options.bFollowRedirects ? WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP
                                            : WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    if (!SetDword(request, WINHTTP_OPTION_REDIRECT_POLICY, policy)) return Abandon(request);
    // Waiting for the response head is receiving too: left alone it is 90 s on
    // Windows, and Wine does not bound it by the receive time-out.
    if (options.dwReceiveTimeout &&
        !SetDword(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, options.dwReceiveTimeout)) {
        return Abandon(request);
    }
    return request;
}

// Whether the answer came over TLS: the address it came from when WinHTTP tells
// it (Wine answers ERROR_INVALID_PARAMETER), else the connection's security flags
// (Windows sets SECURITY_FLAG_SECURE, Wine only the cipher strength).
static bool AnswerCameOverTls(HINTERNET request, const TransportAddress& target)
{
    std::vector<wchar_t> url(1024);
    DWORD size = static_cast<DWORD>(url.size() * sizeof(wchar_t));
    bool known = WinHttpQueryOption(request, WINHTTP_OPTION_URL, url.data(), &size) != FALSE;
    if (!known && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        url.assign(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(url.size() * sizeof(wchar_t));
        known = WinHttpQueryOption(request, WINHTTP_OPTION_URL, url.data(), &size) != FALSE;
    }
    if (known) return TransportPolicy::IsFinalAddressAllowed(target, url.data());
    DWORD flags = 0;
    size = sizeof flags;
    constexpr DWORD kSecure = SECURITY_FLAG_SECURE | SECURITY_FLAG_STRENGTH_WEAK | SECURITY_FLAG_STRENGTH_MEDIUM |
                              SECURITY_FLAG_STRENGTH_STRONG;
    return WinHttpQueryOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, &size) && (flags & kSecure) != 0;
}

bool CheckAnswer(HINTERNET request, const TransportAddress& target, const TransportOptions& options)
{
    if (!target.bSecure) return true;
    if (!AnswerCameOverTls(request, target)) {
        SetLastError(ERROR_WINHTTP_REDIRECT_FAILED);
        return false;
    }
    if (!options.bFollowRedirects) return true;
    // Windows hands a redirect it refused to follow (https to http) to the caller.
    DWORD status = 0;
    DWORD length = sizeof status;
    DWORD locationSize = 0;
    if (WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &status, &length, WINHTTP_NO_HEADER_INDEX) &&
        TransportPolicy::IsRedirectStatus(status) &&
        (WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &locationSize,
                             WINHTTP_NO_HEADER_INDEX) ||
         GetLastError() == ERROR_INSUFFICIENT_BUFFER)) {
        SetLastError(ERROR_WINHTTP_REDIRECT_FAILED);
        return false;
    }
    return true;
}

}  // namespace WinHttpTransport
