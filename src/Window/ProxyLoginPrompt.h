#pragma once
// Carries the proxy login prompt from a request's thread to the UI thread, where
// the dialog is shown, and the user's answer back.
//
// Thread contract: Ask runs on a request's thread, one at a time (the credential
// store asks for one request at a time) and blocks until the UI thread answered
// or Close was called. Show and Close run on the UI thread.
//
// Lifetime: owned by the frame. Close, before the frame's window goes, answers a
// waiting Ask with "declined" and every later one at once; the credential store's
// prompt function must be cleared after Close and before this object is destroyed.

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

class ProxyLoginPrompt {
public:
    using Dialog = std::function<bool(const std::wstring& proxy, bool refused, std::wstring& user,
                                      std::wstring& password)>;

    // Asks by posting `message` with `wParam` to `window`.
    ProxyLoginPrompt(HWND window, UINT message, WPARAM wParam);
    ~ProxyLoginPrompt();
    ProxyLoginPrompt(const ProxyLoginPrompt&) = delete;
    ProxyLoginPrompt& operator=(const ProxyLoginPrompt&) = delete;

    bool Ask(const std::wstring& proxy, bool refused, std::wstring& user, std::wstring& password);
    // Shows the waiting question through `dialog`, if one waits.
    void Show(const Dialog& dialog);
    void Close();

private:
    enum State { kIdle, kAsked, kShowing, kAnswered };

    HWND window_;
    UINT message_;
    WPARAM wParam_;
    std::mutex lock_;
    std::condition_variable changed_;
    State state_ = kIdle;
    bool closed_ = false;
    std::wstring proxy_;
    bool refused_ = false;
    bool given_ = false;
    std::wstring user_;
    std::wstring password_;
};
