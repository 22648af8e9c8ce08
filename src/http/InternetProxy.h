#pragma once
// WinINet along the proxy route: sessions opened naming the proxy found for the
// address, and the login for a proxy that asks for one (407).
//
// winhttp.h clashes with wininet.h, so handles are the void pointers that
// HINTERNET is.
//
// Thread contract: an InternetProxyLogin belongs to one request on one thread.

#include <functional>
#include <string>

#include "http/ProxyCredentialStore.h"
#include "http/ProxyRoute.h"

// A session for the address: the proxy found, or a direct one; the log says which,
// with the back-end's name. Null on failure (GetLastError tells why).
void* OpenInternetSession(const wchar_t* agent, const std::wstring& url, const char* backEnd, ProxyRoute& route);

// Sends one request and answers its proxy's logins until the answer is final:
// `send` sends on the current request handle (adding its headers); `reopen`
// replaces the handle with a new one. False when a step failed or the proxy is
// left without a login.
bool SendThroughInternetProxy(const ProxyRoute& route, const std::function<void*()>& handle,
                              const std::function<bool()>& send, const std::function<bool()>& reopen);

// How one request answers its proxy's 407. WinINet answers Negotiate and NTLM with
// the logged-on user's login by itself (unless the request carries
// INTERNET_FLAG_NO_AUTH, which also stops it from sending a login it was given);
// this adds the login the user gave, asking once per run and again only when the
// proxy refuses it. WinINet takes a login only before a handle's first send, so
// every answer goes on a new request handle. SendThroughInternetProxy drives it.
class InternetProxyLogin {
public:
    explicit InternetProxyLogin(const ProxyRoute& route) : route_(route) {}

    void Prepare(void* request);
    // After a 407: true when the request is to be sent again on a new handle.
    bool Answer();

private:
    ProxyRoute route_;
    ProxyCredentialStore::Login login_;
    bool sent_ = false;
    int rounds_ = 0;
};
