#include "net/ProxyRoute.h"

#include <windows.h>
#include <winhttp.h>

#include <cwctype>
#include <map>
#include <mutex>
#include <vector>

#include "base/UniqueResource.h"
#include "log/Log.h"

namespace {

// The PAC script is fetched over the network: bound the wait for it.
constexpr int kDiscoveryTimeoutMs = 10000;

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
    return text;
}

std::wstring Trim(const std::wstring& text)
{
    size_t first = text.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos) return std::wstring();
    size_t last = text.find_last_not_of(L" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::vector<std::wstring> SplitList(const std::wstring& list, const wchar_t* separators)
{
    std::vector<std::wstring> entries;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find_first_of(separators, start);
        if (end == std::wstring::npos) end = list.size();
        std::wstring entry = Trim(list.substr(start, end - start));
        if (!entry.empty()) entries.push_back(entry);
        start = end + 1;
    }
    return entries;
}

// "*" matches any run of characters; both texts are lower case.
bool WildcardMatch(const wchar_t* pattern, const wchar_t* text)
{
    const wchar_t* star = nullptr;
    const wchar_t* resume = nullptr;
    while (*text) {
        if (*pattern == L'*') {
            star = pattern++;
            resume = text;
        } else if (*pattern == *text) {
            ++pattern;
            ++text;
        } else if (star) {
            pattern = star + 1;
            text = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == L'*') ++pattern;
    return *pattern == L'\0';
}

// "host:port" from a proxy entry such as "http://proxy.corp:8080/"; empty when it
// names no host.
std::wstring NormaliseProxy(std::wstring entry)
{
    size_t scheme = entry.find(L"://");
    if (scheme != std::wstring::npos) entry.erase(0, scheme + 3);
    size_t slash = entry.find(L'/');
    if (slash != std::wstring::npos) entry.resize(slash);
    // Credentials in a proxy address are never used, and must never reach the log.
    size_t at = entry.rfind(L'@');
    if (at != std::wstring::npos) entry.erase(0, at + 1);
    if (entry.empty() || entry[0] == L':') return std::wstring();
    size_t close = entry.rfind(L']');
    size_t colon = entry.rfind(L':');
    bool hasPort = colon != std::wstring::npos && (close == std::wstring::npos || colon > close);
    if (!hasPort) entry += L":80";
    return entry;
}

// Frees the strings that the WinHTTP configuration calls hand out.
class GlobalText {
public:
    GlobalText() = default;
    ~GlobalText() { Reset(); }
    GlobalText(const GlobalText&) = delete;
    GlobalText& operator=(const GlobalText&) = delete;
    LPWSTR* Out() { return &text_; }
    std::wstring Get() const { return text_ ? text_ : L""; }
    void Reset()
    {
        if (text_) GlobalFree(text_);
        text_ = nullptr;
    }

private:
    LPWSTR text_ = nullptr;
};

ProxyRoute Route(const std::wstring& proxy, const wchar_t* source) { return ProxyRoute{proxy, source}; }

// A route from a proxy list and its bypass list, or direct.
ProxyRoute RouteFromLists(const std::wstring& proxies, const std::wstring& bypass, const wchar_t* source,
                          const std::wstring& scheme, const std::wstring& host, int port)
{
    if (ProxyRules::IsBypassed(bypass, scheme, host, port)) return Route(L"", L"bypass list");
    std::wstring proxy = ProxyRules::ProxyForScheme(proxies, scheme);
    // A list for other schemes only ("ftp=...") leaves this one direct.
    if (proxy.empty()) return ProxyRoute{L"", std::wstring(source) + L", none for " + scheme};
    return Route(proxy, source);
}

// Runs the PAC script (named, or found by automatic discovery) for the address.
bool RunAutoProxy(const std::wstring& url, const std::wstring& scriptUrl, bool discover, std::wstring& proxies,
                  std::wstring& bypass, bool& direct)
{
    UniqueWinHttpHandle session(WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                      WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session.Valid()) return false;
    WinHttpSetTimeouts(session.Get(), kDiscoveryTimeoutMs, kDiscoveryTimeoutMs, kDiscoveryTimeoutMs,
                       kDiscoveryTimeoutMs);
    WINHTTP_AUTOPROXY_OPTIONS options{};
    if (discover) {
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    } else {
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = scriptUrl.c_str();
    }
    WINHTTP_PROXY_INFO info{};
    BOOL found = WinHttpGetProxyForUrl(session.Get(), url.c_str(), &options, &info);
    // A script server that asks for a login gets the logged-on user's.
    if (!found && GetLastError() == ERROR_WINHTTP_LOGIN_FAILURE) {
        options.fAutoLogonIfChallenged = TRUE;
        found = WinHttpGetProxyForUrl(session.Get(), url.c_str(), &options, &info);
    }
    if (!found) {
        DWORD error = GetLastError();
        if (discover) {
            LOG_A("automatic proxy discovery found nothing (%lu)", error);
        } else {
            LOG_W(L"ERR:PAC script %s gave no answer (%lu)", scriptUrl.c_str(), error);
        }
        return false;
    }
    GlobalText proxyText, bypassText;
    *proxyText.Out() = info.lpszProxy;
    *bypassText.Out() = info.lpszProxyBypass;
    direct = info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY || proxyText.Get().empty();
    proxies = proxyText.Get();
    bypass = bypassText.Get();
    return true;
}

ProxyRoute Discover(const std::wstring& url, const std::wstring& scheme, const std::wstring& host, int port)
{
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user{};
    GlobalText autoConfigUrl, userProxy, userBypass;
    if (WinHttpGetIEProxyConfigForCurrentUser(&user)) {
        *autoConfigUrl.Out() = user.lpszAutoConfigUrl;
        *userProxy.Out() = user.lpszProxy;
        *userBypass.Out() = user.lpszProxyBypass;
    } else {
        LOG_A("ERR:WinHttpGetIEProxyConfigForCurrentUser fail %lu", GetLastError());
    }
    if (ProxyRules::IsLoopbackHost(host) && !ProxyRules::KeepsLoopbackOnProxy(userBypass.Get())) {
        return Route(L"", L"loopback address");
    }

    std::wstring proxies, bypass;
    bool direct = false;
    if (!autoConfigUrl.Get().empty() && RunAutoProxy(url, autoConfigUrl.Get(), false, proxies, bypass, direct)) {
        return direct ? Route(L"", L"PAC script") : RouteFromLists(proxies, bypass, L"PAC script", scheme, host, port);
    }
    if (user.fAutoDetect && RunAutoProxy(url, L"", true, proxies, bypass, direct)) {
        return direct ? Route(L"", L"automatic discovery")
                      : RouteFromLists(proxies, bypass, L"automatic discovery", scheme, host, port);
    }
    // As browsers do, a fixed proxy also serves when the script cannot be had.
    if (!userProxy.Get().empty()) {
        return RouteFromLists(userProxy.Get(), userBypass.Get(), L"user settings", scheme, host, port);
    }

    WINHTTP_PROXY_INFO machine{};
    if (WinHttpGetDefaultProxyConfiguration(&machine)) {
        GlobalText machineProxy, machineBypass;
        *machineProxy.Out() = machine.lpszProxy;
        *machineBypass.Out() = machine.lpszProxyBypass;
        if (machine.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && !machineProxy.Get().empty()) {
            return RouteFromLists(machineProxy.Get(), machineBypass.Get(), L"machine-wide WinHTTP setting", scheme,
                                  host, port);
        }
    }
    return Route(L"", L"no proxy configured");
}

std::mutex g_routesLock;
std::map<std::wstring, ProxyRoute> g_routes;
// One discovery at a time: five segments asking at once fetch the script once.
std::mutex g_discoveryLock;

}  // namespace

std::wstring ProxyRoute::Describe() const
{
    return (Direct() ? L"direct (" : L"proxy " + proxy + L" (") + source + L")";
}

ProxyRoute FindProxyRoute(const std::wstring& url)
{
    std::wstring scheme, host;
    int port = 0;
    if (!ProxyRules::SplitOrigin(url, scheme, host, port)) return Route(L"", L"no proxy configured");
    std::wstring key = scheme + L"://" + Lower(host) + L":" + std::to_wstring(port);
    auto known = [&key](ProxyRoute& route) {
        std::lock_guard<std::mutex> lock(g_routesLock);
        auto found = g_routes.find(key);
        if (found == g_routes.end()) return false;
        route = found->second;
        return true;
    };
    ProxyRoute route;
    if (known(route)) return route;
    std::lock_guard<std::mutex> discovery(g_discoveryLock);
    // Another request may have found it while this one waited.
    if (known(route)) return route;
    route = Discover(url, scheme, host, port);
    std::lock_guard<std::mutex> lock(g_routesLock);
    g_routes[key] = route;
    return route;
}

void ForgetProxyRoutes()
{
    std::lock_guard<std::mutex> discovery(g_discoveryLock);
    std::lock_guard<std::mutex> lock(g_routesLock);
    g_routes.clear();
}

ProxyRoute RouteFor(const TransportOptions& options, const TransportAddress& target, const char* stack)
{
    // A session opened before its address is known (the HTTP client library's
    // constructor) is direct; it is replaced before any request.
    if (target.strHost.empty()) return Route(L"", L"no address yet");
    ProxyRoute route = options.bUseSystemProxy ? FindProxyRoute(TransportPolicy::FormatAddress(target))
                                               : Route(L"", L"no proxy for this request");
    WriteLogW(L"ProxyRoute", Text::AnsiToWide(__FILE__).c_str(), __LINE__, kLogInfo, L"[%S] %s://%s:%d %s", stack,
              target.bSecure ? L"https" : L"http", target.strHost.c_str(), static_cast<int>(target.Port()),
              route.Describe().c_str());
    return route;
}

namespace ProxyRules {

std::wstring ProxyForScheme(const std::wstring& list, const std::wstring& scheme)
{
    std::wstring forAll;
    for (const std::wstring& entry : SplitList(list, L"; \t")) {
        size_t equals = entry.find(L'=');
        if (equals == std::wstring::npos) {
            if (forAll.empty()) forAll = NormaliseProxy(entry);
            continue;
        }
        if (Lower(Trim(entry.substr(0, equals))) == Lower(scheme)) {
            std::wstring proxy = NormaliseProxy(Trim(entry.substr(equals + 1)));
            if (!proxy.empty()) return proxy;
        }
    }
    return forAll;
}

bool IsBypassed(const std::wstring& bypassList, const std::wstring& scheme, const std::wstring& host, int port)
{
    std::wstring lowerHost = Lower(host);
    if (!lowerHost.empty() && lowerHost.front() == L'[' && lowerHost.back() == L']') {
        lowerHost = lowerHost.substr(1, lowerHost.size() - 2);
    }
    for (std::wstring entry : SplitList(Lower(bypassList), L"; ,\t")) {
        if (entry == L"<local>") {
            if (lowerHost.find(L'.') == std::wstring::npos && lowerHost.find(L':') == std::wstring::npos) return true;
            continue;
        }
        if (entry[0] == L'<') continue;  // "<-loopback>" and tokens of later systems
        size_t schemeEnd = entry.find(L"://");
        if (schemeEnd != std::wstring::npos) {
            if (entry.compare(0, schemeEnd, scheme) != 0) continue;
            entry.erase(0, schemeEnd + 3);
        }
        // A port after the host part (an IPv6 entry keeps its brackets).
        size_t close = entry.rfind(L']');
        size_t colon = entry.rfind(L':');
        if (colon != std::wstring::npos && (close == std::wstring::npos || colon > close) &&
            entry.find(L':') == colon) {
            std::wstring portText = entry.substr(colon + 1);
            entry.resize(colon);
            if (portText != L"*" && portText != std::to_wstring(port)) continue;
        }
        if (entry.size() > 1 && entry.front() == L'[' && entry.back() == L']') entry = entry.substr(1, entry.size() - 2);
        if (WildcardMatch(entry.c_str(), lowerHost.c_str())) return true;
    }
    return false;
}

bool IsLoopbackHost(const std::wstring& host)
{
    std::wstring name = Lower(host);
    if (name == L"localhost" || name == L"::1" || name == L"[::1]") return true;
    // 127.0.0.0/8 written as a dotted address.
    if (name.compare(0, 4, L"127.") != 0) return false;
    int dots = 0;
    for (wchar_t c : name) {
        if (c == L'.') {
            ++dots;
        } else if (c < L'0' || c > L'9') {
            return false;
        }
    }
    return dots == 3;
}

bool KeepsLoopbackOnProxy(const std::wstring& bypassList)
{
    for (const std::wstring& entry : SplitList(Lower(bypassList), L"; ,\t")) {
        if (entry == L"<-loopback>") return true;
    }
    return false;
}

bool SplitOrigin(const std::wstring& url, std::wstring& scheme, std::wstring& host, int& port)
{
    TransportAddress address;
    if (!TransportPolicy::ParseAddress(url, address)) return false;
    scheme = address.bSecure ? L"https" : L"http";
    host = address.strHost;
    port = address.Port();
    return true;
}

}  // namespace ProxyRules
