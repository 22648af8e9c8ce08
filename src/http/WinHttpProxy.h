#pragma once
// WinHTTP along the proxy route: sessions opened naming the proxy found for the
// address, and the answers to a proxy that asks to log in (407).
//
// winhttp.h clashes with wininet.h, so handles are the void pointers that
// HINTERNET is.
//
// Thread contract: a WinHttpProxyLogin belongs to one request on one thread.

#include <functional>
#include <string>

#include "http/ProxyCredentialStore.h"
#include "http/ProxyRoute.h"

// A session for the address: named proxy or none, as FindProxyRoute says; the log
// says which, with the back-end's name. Null on failure (GetLastError tells why).
void* OpenWinHttpSession(const wchar_t* agent, const std::wstring& url, const char* backEnd, ProxyRoute& route);

// How one request answers its proxy's 407: first the logged-on user's login for
// Negotiate or NTLM, then the login the user gave (asking once per run), asking
// again only when the proxy refuses it. SendThroughWinHttpProxy drives it.
class WinHttpProxyLogin {
public:
    explicit WinHttpProxyLogin(const ProxyRoute& route) : route_(route) {}

    // Before the first send of a request handle: a known Basic login goes at once.
    void Prepare(void* request);
    // After a 407: true when the request is to be sent again, on a new request
    // handle when `reopen` is set. False when no login is left to try (the user
    // declined, the scheme is unknown, or too many rounds).
    bool Answer(void* request, bool& reopen);

private:
    bool Apply(void* request);

    ProxyRoute route_;
    ProxyCredentialStore::Login login_;
    bool appliedOnHandle_ = false;
    bool triedIntegrated_ = false;
    int rounds_ = 0;
};

// Sends one request and answers its proxy's logins until the answer is final:
// `send` sends on the current request handle (adding its headers when it is new)
// and receives the answer; `reopen` replaces the handle with a new one. False when
// a step failed or the proxy is left without a login; the status of the last
// answer is then 407.
bool SendThroughWinHttpProxy(const ProxyRoute& route, const std::function<void*()>& handle,
                             const std::function<bool(bool newHandle)>& send, const std::function<bool()>& reopen);

// The schemes that the proxy's challenges offer, as WINHTTP_AUTH_SCHEME_* bits,
// from the Proxy-Authenticate header texts.
unsigned ProxySchemesFromChallenges(const std::wstring& challenges);
