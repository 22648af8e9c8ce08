#include "net/WinInetProxy.h"

#include <windows.h>
#include <wininet.h>

#include "log/Log.h"

namespace {

// The user's login, a changed one, and slack; past that a proxy keeps refusing.
constexpr int kMaxRounds = 6;

// How one request answers its proxy's 407 with the login the user gave, asking once
// per run and again only when the proxy refuses it. WinINet takes a login only
// before a handle's first send, so every answer goes on a new request handle.
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

}  // namespace

bool SendThroughInternetProxy(const ProxyRoute& route, const std::function<void*()>& handle,
                              const std::function<bool()>& send, const std::function<bool()>& reopen)
{
    InternetProxyLogin login(route);
    login.Prepare(handle());
    for (;;) {
        if (!send()) return false;
        DWORD status = 0;
        DWORD size = sizeof status;
        DWORD index = 0;
        if (route.Direct() ||
            !HttpQueryInfoW(handle(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &index) ||
            status != HTTP_STATUS_PROXY_AUTH_REQ) {
            return true;
        }
        if (!login.Answer() || !reopen()) return false;
        login.Prepare(handle());
    }
}

void InternetProxyLogin::Prepare(void* request)
{
    sent_ = false;
    if (login_.generation == 0) ProxyCredentialStore::Instance().Current(login_);
    if (login_.generation == 0) return;
    sent_ = true;
    // Lengths in characters, the terminating zero included.
    if (!InternetSetOptionW(request, INTERNET_OPTION_PROXY_USERNAME, const_cast<wchar_t*>(login_.user.c_str()),
                            static_cast<DWORD>(login_.user.size() + 1)) ||
        !InternetSetOptionW(request, INTERNET_OPTION_PROXY_PASSWORD, const_cast<wchar_t*>(login_.password.c_str()),
                            static_cast<DWORD>(login_.password.size() + 1))) {
        LOG_A("ERR:InternetSetOption of the proxy login fail %lu", GetLastError());
    }
}

bool InternetProxyLogin::Answer()
{
    if (++rounds_ > kMaxRounds) {
        LOG_W(L"ERR:proxy %s still asks for a login after %d answers", route_.proxy.c_str(), kMaxRounds);
        return false;
    }
    unsigned refused = sent_ ? login_.generation : 0;
    if (refused) LOG_W(L"proxy %s refused the login", route_.proxy.c_str());
    else LOG_W(L"proxy %s asks for a login", route_.proxy.c_str());
    if (!ProxyCredentialStore::Instance().Renew(route_.proxy, refused, 0, login_)) {
        LOG_W(L"ERR:no login for proxy %s: the user declined", route_.proxy.c_str());
        return false;
    }
    return true;
}
