#pragma once
// Which proxy a request of this program goes through: the same choice a browser
// makes for the address. In order: the user's Internet settings (a PAC script or
// automatic discovery when they ask for it, else their fixed proxy and bypass list),
// then the machine-wide WinHTTP setting, else direct. Loopback addresses always go
// direct unless the user's bypass list holds "<-loopback>", as on Windows: a proxy
// cannot reach this machine's loopback.
//
// Thread contract: FindProxyRoute may be called from any thread. The answer for one
// scheme, host and port is found once and kept for the run, so the segments of a
// download cost one discovery; ForgetProxyRoutes drops what was kept.

#include <string>

#include "net/TransportPolicy.h"

struct ProxyRoute {
    // "host:port" of the proxy; empty for a direct connection.
    std::wstring proxy;
    // Where the choice came from, for the log: "user settings", "PAC script",
    // "automatic discovery", "machine-wide WinHTTP setting", "bypass list",
    // "loopback address" or "no proxy configured".
    std::wstring source;

    bool Direct() const { return proxy.empty(); }
    // "proxy 127.0.0.1:3128 (user settings)" or "direct (bypass list)".
    std::wstring Describe() const;
};

// The route for an "http://" or "https://" address. An address of any other form
// goes direct.
ProxyRoute FindProxyRoute(const std::wstring& url);
void ForgetProxyRoutes();

// The route of one request to `target` as its options ask (direct without
// bUseSystemProxy), with the log line that says which route the stack takes.
ProxyRoute RouteFor(const TransportOptions& options, const TransportAddress& target, const char* stack);

namespace ProxyRules {

// The proxy that a proxy list gives one scheme, as "host:port" (port 80 when the
// list names none). Lists are "host:port" for every scheme, or per scheme
// "http=host:port;https=host:port"; entries may carry "http://" and a trailing "/".
// Of several proxies the first is taken. Empty when the list has none for the scheme.
std::wstring ProxyForScheme(const std::wstring& list, const std::wstring& scheme);

// Whether the bypass list sends this address direct. Entries are separated by ";",
// "," or blanks, matched without regard to case; "*" stands for any run of
// characters; an entry may name a scheme ("https://*.corp") and a port
// ("host:8080"); "<local>" matches every host name without a dot.
bool IsBypassed(const std::wstring& bypassList, const std::wstring& scheme, const std::wstring& host, int port);

// "localhost", 127.0.0.0/8 and ::1 (bracketed or not).
bool IsLoopbackHost(const std::wstring& host);

// Whether the list holds "<-loopback>", which sends loopback addresses through the proxy too.
bool KeepsLoopbackOnProxy(const std::wstring& bypassList);

// Scheme (lower case), host and port of an "http://" or "https://" address; the
// port is the scheme's default when the address names none.
bool SplitOrigin(const std::wstring& url, std::wstring& scheme, std::wstring& host, int& port);

}  // namespace ProxyRules
