#pragma once
// The transport policy over WinHTTP: every WinHTTP session, connection and request
// of this program is opened here. Stack-neutral rules are in TransportPolicy.h.
//
// Thread contract: stateless; the handles belong to the caller, who closes them.

#include <windows.h>
#include <winhttp.h>

#include "net/ProxyRoute.h"
#include "net/TransportPolicy.h"

namespace WinHttpTransport {

// A session for requests to `target` that speaks TLS 1.2 or later only, with the
// options' agent and limits, named after the proxy that the user's settings give the
// target (none without bUseSystemProxy); the log says which, and `route` receives
// it. Null on failure (GetLastError tells why).
HINTERNET OpenSession(const TransportOptions& options, const TransportAddress& target, ProxyRoute& route);

HINTERNET Connect(HINTERNET session, const TransportAddress& target);

// WINHTTP_FLAG_SECURE exactly when the target is https (other flags are the
// caller's). Redirects are followed by WinHTTP, never from https to http; without
// bFollowRedirects not at all.
HINTERNET OpenRequest(HINTERNET connection, const wchar_t* verb, const TransportAddress& target,
                      const wchar_t* version, const wchar_t** acceptTypes, DWORD flags,
                      const TransportOptions& options);

// After WinHttpReceiveResponse: false, with ERROR_WINHTTP_REDIRECT_FAILED as the
// last error, when the answer to an https request came from an address that is not
// https, or is a redirect that WinHTTP refused to follow.
bool CheckAnswer(HINTERNET request, const TransportAddress& target, const TransportOptions& options);

}  // namespace WinHttpTransport
