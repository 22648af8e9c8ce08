#pragma once
// WinHTTP's answers to a proxy that asks to log in (407). Sessions are opened along
// the proxy route by WinHttpTransport::OpenSession.
//
// winhttp.h clashes with wininet.h, so handles are the void pointers that
// HINTERNET is.
//
// Thread contract: SendThroughWinHttpProxy runs on the request's thread; the login
// of the run is shared through ProxyCredentialStore.

#include <functional>
#include <string>

#include "net/ProxyCredentialStore.h"
#include "net/ProxyRoute.h"

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
