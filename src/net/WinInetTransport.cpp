#include "net/WinInetTransport.h"

#include <schannel.h>

#include <vector>

#include "base/UniqueResource.h"

void CloseInternetHandle(void* handle) { InternetCloseHandle(handle); }

namespace {

// Flags that would weaken the policy: certificate errors ignored, redirects from
// https to http (and back) taken silently.
constexpr DWORD kWeakeningFlags = INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
                                  INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;

bool SetDword(HINTERNET handle, DWORD option, DWORD value)
{
    return InternetSetOptionW(handle, option, &value, sizeof value) != FALSE;
}

// A header of the response as text; false when it is absent.
bool QueryText(HINTERNET request, DWORD info, std::wstring& text)
{
    DWORD size = 0;
    DWORD index = 0;
    if (HttpQueryInfoW(request, info, nullptr, &size, &index) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return false;
    }
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1);
    index = 0;
    if (!HttpQueryInfoW(request, info, buffer.data(), &size, &index)) return false;
    text.assign(buffer.data(), size / sizeof(wchar_t));
    return true;
}

// INTERNET_SECURITY_CONNECTION_INFO of the Windows SDK's wininet.h, which
// mingw-w64 lacks: what INTERNET_OPTION_SECURITY_CONNECTION_INFO (66) answers.
struct SecurityConnectionInfo {
    DWORD dwSize;
    BOOL fSecure;
    SecPkgContext_ConnectionInfo connectionInfo;
    struct {
        DWORD dwVersion, dwProtocol, dwCipherSuite, dwBaseCipherSuite;
        WCHAR szCipherSuite[64], szCipher[64];
        DWORD dwCipherLen, dwCipherBlockLen;
        WCHAR szHash[64];
        DWORD dwHashLen;
        WCHAR szExchange[64];
        DWORD dwMinExchangeLen, dwMaxExchangeLen;
        WCHAR szCertificate[64];
        DWORD dwKeyType;
    } cipherInfo;
};
constexpr DWORD kSecurityConnectionInfoOption = 66;

// WinINet has no option that limits the protocols it offers: the one it negotiated
// is checked instead. Wine cannot tell it (the option is unknown there).
bool NegotiatedBelowTls12(HINTERNET request)
{
    SecurityConnectionInfo info{};
    info.dwSize = sizeof info;
    DWORD size = sizeof info;
    if (!InternetQueryOptionW(request, kSecurityConnectionInfoOption, &info, &size)) return false;
    constexpr DWORD kOldProtocols = SP_PROT_SSL2 | SP_PROT_SSL3 | SP_PROT_TLS1_0 | SP_PROT_TLS1_1;
    return (info.connectionInfo.dwProtocol & kOldProtocols) != 0;
}

// The options' time-outs on a session or request handle; a limit of 0 is left alone.
bool SetLimits(HINTERNET handle, const TransportOptions& options)
{
    return (!options.dwConnectTimeout || SetDword(handle, INTERNET_OPTION_CONNECT_TIMEOUT, options.dwConnectTimeout)) &&
           (!options.dwSendTimeout || SetDword(handle, INTERNET_OPTION_SEND_TIMEOUT, options.dwSendTimeout)) &&
           (!options.dwReceiveTimeout || SetDword(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, options.dwReceiveTimeout));
}

// Closes a handle that cannot be handed out; the owner keeps the error that explains why.
HINTERNET Abandon(HINTERNET handle)
{
    UniqueInternetHandle closing(handle);
    return nullptr;
}

bool Fail(DWORD error)
{
    SetLastError(error);
    return false;
}

}  // namespace

namespace WinInetTransport {

HINTERNET OpenSession(const TransportOptions& options, const TransportAddress& target, ProxyRoute& route)
{
    route = RouteFor(options, target, "Internet");
    // The bypass list was applied already; "<-loopback>" keeps Windows from
    // bypassing a loopback address that the route sends through the proxy.
    HINTERNET session = route.Direct()
                            ? InternetOpenW(options.pszAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0)
                            : InternetOpenW(options.pszAgent, INTERNET_OPEN_TYPE_PROXY, route.proxy.c_str(),
                                            L"<-loopback>", 0);
    if (!session) return nullptr;
    if (!SetLimits(session, options)) return Abandon(session);
    return session;
}

HINTERNET Connect(HINTERNET session, const TransportAddress& target)
{
    return InternetConnectW(session, target.strHost.c_str(), target.Port(), nullptr, nullptr, INTERNET_SERVICE_HTTP,
                            0, 0);
}

HINTERNET OpenRequest(HINTERNET connection, const wchar_t* verb, const TransportAddress& target,
                      const wchar_t* version, const wchar_t** acceptTypes, DWORD flags,
                      const TransportOptions& options)
{
    flags &= ~(kWeakeningFlags | INTERNET_FLAG_SECURE);
    flags |= INTERNET_FLAG_NO_AUTO_REDIRECT | (target.bSecure ? INTERNET_FLAG_SECURE : 0);
    HINTERNET request =
        HttpOpenRequestW(connection, verb, target.strObject.c_str(), version, nullptr, acceptTypes, flags, 0);
    if (request && !SetLimits(request, options)) return Abandon(request);
    return request;
}

bool SendFollowingRedirects(TransportAddress& target, const TransportOptions& options,
                            const std::function<HINTERNET()>& send,
                            const std::function<bool(const TransportAddress&)>& reopen)
{
    for (int hop = 0;; ++hop) {
        HINTERNET request = send();
        if (!request) return false;
        if (target.bSecure) {
            std::vector<wchar_t> url(1024);
            DWORD size = static_cast<DWORD>(url.size() * sizeof(wchar_t));
            bool known = InternetQueryOptionW(request, INTERNET_OPTION_URL, url.data(), &size) != FALSE;
            if (!known && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
                url.assign(size / sizeof(wchar_t) + 1, L'\0');
                size = static_cast<DWORD>(url.size() * sizeof(wchar_t));
                known = InternetQueryOptionW(request, INTERNET_OPTION_URL, url.data(), &size) != FALSE;
            }
            if (!known || !TransportPolicy::IsFinalAddressAllowed(target, url.data())) {
                return Fail(ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);
            }
        }
        if (target.bSecure && NegotiatedBelowTls12(request)) return Fail(ERROR_INTERNET_SECURITY_CHANNEL_ERROR);
        DWORD status = 0;
        DWORD length = sizeof status;
        DWORD index = 0;
        // Wine's WinINet reports a connection closed before any answer as sent, with
        // status 0, where Windows fails the send.
        if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, &index) ||
            status == 0) {
            return Fail(ERROR_HTTP_INVALID_SERVER_RESPONSE);
        }
        std::wstring location;
        if (!options.bFollowRedirects || !TransportPolicy::IsRedirectStatus(status) ||
            !QueryText(request, HTTP_QUERY_LOCATION, location)) {
            return true;
        }
        TransportAddress next;
        if (!TransportPolicy::ResolveRedirect(target, location, next)) {
            TransportAddress unchecked;
            bool downgrade = TransportPolicy::ParseAddress(location, unchecked) && target.bSecure && !unchecked.bSecure;
            return Fail(downgrade ? ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR : ERROR_HTTP_REDIRECT_FAILED);
        }
        if (hop >= TransportPolicy::kMaxRedirects) return Fail(ERROR_HTTP_REDIRECT_FAILED);
        target = next;
        if (!reopen(target)) return false;
    }
}

}  // namespace WinInetTransport
