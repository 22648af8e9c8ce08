#include "net/WinHttpProxy.h"

#include <windows.h>
#include <winhttp.h>

#include <cwctype>
#include <vector>

#include "log/Log.h"

namespace {

// Integrated login, the user's login, a changed login, and slack for proxies that
// challenge twice per connection; past that a proxy keeps refusing.
constexpr int kMaxRounds = 8;

const struct {
    const wchar_t* name;
    DWORD scheme;
} kSchemes[] = {
    {L"negotiate", WINHTTP_AUTH_SCHEME_NEGOTIATE},
    {L"ntlm", WINHTTP_AUTH_SCHEME_NTLM},
    {L"digest", WINHTTP_AUTH_SCHEME_DIGEST},
    {L"basic", WINHTTP_AUTH_SCHEME_BASIC},
};

const wchar_t* SchemeName(DWORD scheme)
{
    for (const auto& known : kSchemes) {
        if (known.scheme == scheme) return known.name;
    }
    return L"none";
}

// The first of the offered schemes in the order of kSchemes.
DWORD Strongest(DWORD offered, DWORD allowed)
{
    for (const auto& known : kSchemes) {
        if (offered & allowed & known.scheme) return known.scheme;
    }
    return 0;
}

// What the proxy offers. Wine's WinHttpQueryAuthSchemes reports no scheme for a
// 407, so the challenge headers are read when it gives none.
DWORD OfferedSchemes(HINTERNET request)
{
    DWORD supported = 0, first = 0, target = 0;
    if (WinHttpQueryAuthSchemes(request, &supported, &first, &target) && supported != 0) return supported;
    std::wstring challenges;
    for (DWORD index = 0; index < 16;) {
        wchar_t text[512] = {};
        DWORD size = sizeof text - sizeof text[0];
        DWORD before = index;
        if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_PROXY_AUTHENTICATE, WINHTTP_HEADER_NAME_BY_INDEX, text,
                                 &size, &index) ||
            index == before) {
            break;
        }
        challenges += text;
        challenges += L',';
    }
    return ProxySchemesFromChallenges(challenges);
}

// How one request answers its proxy's 407: first the logged-on user's login for
// Negotiate or NTLM, then the login the user gave (asking once per run), asking
// again only when the proxy refuses it.
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

}  // namespace

bool SendThroughWinHttpProxy(const ProxyRoute& route, const std::function<void*()>& handle,
                             const std::function<bool(bool newHandle)>& send, const std::function<bool()>& reopen)
{
    WinHttpProxyLogin login(route);
    login.Prepare(handle());
    bool newHandle = true;
    for (;;) {
        if (!send(newHandle)) return false;
        newHandle = false;
        DWORD status = 0;
        DWORD size = sizeof status;
        if (route.Direct() ||
            !WinHttpQueryHeaders(handle(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                 WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX) ||
            status != HTTP_STATUS_PROXY_AUTH_REQ) {
            return true;
        }
        bool again = false;
        if (!login.Answer(handle(), again)) return false;
        if (again) {
            if (!reopen()) return false;
            login.Prepare(handle());
            newHandle = true;
        }
    }
}

unsigned ProxySchemesFromChallenges(const std::wstring& challenges)
{
    unsigned schemes = 0;
    size_t start = 0;
    while (start < challenges.size()) {
        size_t end = challenges.find(L',', start);
        if (end == std::wstring::npos) end = challenges.size();
        size_t word = challenges.find_first_not_of(L" \t", start);
        if (word < end) {
            size_t wordEnd = challenges.find_first_of(L" \t,", word);
            std::wstring name = challenges.substr(word, (wordEnd == std::wstring::npos ? challenges.size() : wordEnd) - word);
            for (wchar_t& c : name) c = static_cast<wchar_t>(towlower(c));
            for (const auto& known : kSchemes) {
                if (name == known.name) schemes |= known.scheme;
            }
        }
        start = end + 1;
    }
    return schemes;
}

void WinHttpProxyLogin::Prepare(void* request)
{
    appliedOnHandle_ = false;
    if (login_.generation == 0) ProxyCredentialStore::Instance().Current(login_);
    // Basic needs no challenge first; the other schemes are answered after theirs.
    if (login_.generation != 0 && login_.scheme == WINHTTP_AUTH_SCHEME_BASIC) Apply(request);
}

bool WinHttpProxyLogin::Answer(void* request, bool& reopen)
{
    reopen = false;
    if (++rounds_ > kMaxRounds) {
        LOG_W(L"ERR:proxy %s still asks for a login after %d answers", route_.proxy.c_str(), kMaxRounds);
        return false;
    }
    DWORD offered = OfferedSchemes(request);
    DWORD integrated = Strongest(offered, WINHTTP_AUTH_SCHEME_NEGOTIATE | WINHTTP_AUTH_SCHEME_NTLM);
    if (integrated && !triedIntegrated_) {
        triedIntegrated_ = true;
        LOG_W(L"proxy %s asks for a login (%s): the logged-on user's", route_.proxy.c_str(), SchemeName(integrated));
        // Null names: the credentials of the logged-on user.
        if (WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_PROXY, integrated, nullptr, nullptr, nullptr)) {
            return true;
        }
        LOG_A("ERR:WinHttpSetCredentials for the logged-on user fail %lu", GetLastError());
    }
    DWORD scheme = Strongest(offered, WINHTTP_AUTH_SCHEME_NEGOTIATE | WINHTTP_AUTH_SCHEME_NTLM |
                                          WINHTTP_AUTH_SCHEME_DIGEST | WINHTTP_AUTH_SCHEME_BASIC);
    if (!scheme) {
        LOG_W(L"ERR:proxy %s asks for a login this program cannot give", route_.proxy.c_str());
        return false;
    }
    // A login not yet sent on this handle (another request's, or one kept for a
    // scheme that needs its challenge first) goes now.
    if (login_.generation != 0 && !appliedOnHandle_) {
        login_.scheme = scheme;
        return Apply(request);
    }
    unsigned refused = appliedOnHandle_ ? login_.generation : 0;
    if (refused) LOG_W(L"proxy %s refused the login", route_.proxy.c_str());
    if (!ProxyCredentialStore::Instance().Renew(route_.proxy, refused, scheme, login_)) {
        LOG_W(L"ERR:no login for proxy %s: the user declined", route_.proxy.c_str());
        return false;
    }
    login_.scheme = scheme;
    // A handle keeps the login it sent first: a changed one needs a new handle.
    if (appliedOnHandle_) {
        reopen = true;
        return true;
    }
    return Apply(request);
}

bool WinHttpProxyLogin::Apply(void* request)
{
    appliedOnHandle_ = true;
    if (WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_PROXY, login_.scheme, login_.user.c_str(),
                              login_.password.c_str(), nullptr)) {
        return true;
    }
    LOG_A("ERR:WinHttpSetCredentials fail %lu", GetLastError());
    return false;
}
