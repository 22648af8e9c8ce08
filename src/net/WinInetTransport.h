#pragma once
// The transport policy over WinINet: every WinINet session, connection and request
// of this program is opened here. Stack-neutral rules are in TransportPolicy.h.
//
// WinINet's own redirects are switched off: Wine's WinINet follows a redirect from
// https to http in clear text whatever the request flags say, and Windows' refusal
// depends on a flag that callers have set by mistake before. Redirects are followed
// here instead, hop by hop, as the policy allows.
//
// Thread contract: stateless; the handles belong to the caller, who closes them.

#include <windows.h>
#include <wininet.h>

#include <functional>

#include "net/ProxyRoute.h"
#include "net/TransportPolicy.h"

namespace WinInetTransport {

// A session for requests to `target` with the options' agent and limits, named after
// the proxy that the user's settings give the target (none without
// bUseSystemProxy); the log says which, and `route` receives it. Null on failure.
HINTERNET OpenSession(const TransportOptions& options, const TransportAddress& target, ProxyRoute& route);

HINTERNET Connect(HINTERNET session, const TransportAddress& target);

// INTERNET_FLAG_SECURE exactly when the target is https, WinINet's redirects off,
// and none of the flags that ignore certificate errors or allow a redirect from
// https to http; the remaining flags are the caller's. The options' limits are set on
// the request too: Wine's WinINet does not take them from the session.
HINTERNET OpenRequest(HINTERNET connection, const wchar_t* verb, const TransportAddress& target,
                      const wchar_t* version, const wchar_t** acceptTypes, DWORD flags,
                      const TransportOptions& options = TransportOptions());

// Sends a request and follows its redirects within the policy. `send` sends the
// open request and answers its handle (null when sending failed); `reopen` closes
// the connection and request and opens new ones for the next address. `target`
// ends as the address that gave the answer. False when a step failed, no answer
// arrived (ERROR_HTTP_INVALID_SERVER_RESPONSE) or a redirect was refused
// (ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR when it led from https to http,
// ERROR_HTTP_REDIRECT_FAILED for any other).
bool SendFollowingRedirects(TransportAddress& target, const TransportOptions& options,
                            const std::function<HINTERNET()>& send,
                            const std::function<bool(const TransportAddress&)>& reopen);

}  // namespace WinInetTransport
