#include "Window/ProxyLoginPrompt.h"

#include "net/ProxyCredentialStore.h"
#include "log/Log.h"

ProxyLoginPrompt::ProxyLoginPrompt(HWND window, UINT message, WPARAM wParam)
    : window_(window), message_(message), wParam_(wParam)
{
}

ProxyLoginPrompt::~ProxyLoginPrompt()
{
    WipeText(user_);
    WipeText(password_);
}

bool ProxyLoginPrompt::Ask(const std::wstring& proxy, bool refused, std::wstring& user, std::wstring& password)
{
    std::unique_lock<std::mutex> lock(lock_);
    if (closed_) return false;
    proxy_ = proxy;
    refused_ = refused;
    state_ = kAsked;
    if (!PostMessageW(window_, message_, wParam_, 0)) {
        LOG_A("ERR:PostMessage of the proxy login question fail %lu", GetLastError());
        state_ = kIdle;
        return false;
    }
    // Bounded by the user's answer, or by the window's end (Close).
    changed_.wait(lock, [this] { return state_ == kAnswered || closed_; });
    bool given = state_ == kAnswered && given_;
    if (given) {
        user = user_;
        password = password_;
    }
    WipeText(user_);
    WipeText(password_);
    // A dialog still on screen when the window closes hands its answer to nobody.
    if (state_ != kShowing) state_ = kIdle;
    return given;
}

void ProxyLoginPrompt::Show(const Dialog& dialog)
{
    std::unique_lock<std::mutex> lock(lock_);
    if (state_ != kAsked || closed_) return;
    state_ = kShowing;
    std::wstring proxy = proxy_;
    bool refused = refused_;
    lock.unlock();
    std::wstring user, password;
    bool given = dialog(proxy, refused, user, password);
    lock.lock();
    given_ = given;
    user_ = user;
    password_ = password;
    WipeText(user);
    WipeText(password);
    state_ = kAnswered;
    changed_.notify_all();
}

void ProxyLoginPrompt::Close()
{
    std::lock_guard<std::mutex> lock(lock_);
    closed_ = true;
    changed_.notify_all();
}
