#pragma once
// WinINet's login for a proxy that asks for one (407). Sessions are opened along the
// proxy route by WinInetTransport::OpenSession.
//
// winhttp.h clashes with wininet.h, so handles are the void pointers that
// HINTERNET is.
// WinINet answers Negotiate and NTLM with the logged-on user's login by itself
// (unless a request carries INTERNET_FLAG_NO_AUTH, which also stops it from sending
// a login it was given); this adds the login the user gave.
//
// Thread contract: SendThroughInternetProxy runs on the request's thread; the login
// of the run is shared through ProxyCredentialStore.

#include <functional>
#include <string>

#include "net/ProxyCredentialStore.h"
#include "net/ProxyRoute.h"

// Sends one request and answers its proxy's logins until the answer is final:
// `send` sends on the current request handle (adding its headers); `reopen`
// replaces the handle with a new one. False when a step failed or the proxy is
// left without a login.
bool SendThroughInternetProxy(const ProxyRoute& route, const std::function<void*()>& handle,
                              const std::function<bool()>& send, const std::function<bool()>& reopen);
