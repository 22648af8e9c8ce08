#pragma once
// What the frame's tests share: dialogs that answer as a script says, and a
// message pump for the test thread, which is the frame's UI thread.

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "Window/UserDialogs.h"

// Answers the frame's dialogs and records what they showed.
class ScriptedDialogs final : public IUserDialogs {
public:
    struct Message {
        std::wstring text, caption;
        UINT flags;
    };
    std::vector<Message> messages;
    std::vector<std::wstring> pickerTitles;
    // Answers in order; once they are used up, `answer`.
    std::deque<int> answers;
    int answer = IDNO;
    std::wstring folder;
    // Runs once inside the next box, the way the box's own message loop would
    // dispatch what arrives while it is up.
    std::function<void()> whileShown;
    // Called with each box's text as it is answered.
    std::function<void(const std::wstring&)> onAnswer;

    struct LoginQuestion {
        std::wstring caption, message, proxy;
        bool refused;
        DWORD thread;
    };
    std::vector<LoginQuestion> loginQuestions;

    int ShowMessage(HWND, const std::wstring& text, const std::wstring& caption, UINT flags) override;
    bool BrowseForFolder(HWND, const std::wstring& title, std::wstring& chosen) override;
    // Records the question and logs in as alice.
    bool AskProxyLogin(HWND, const std::wstring& caption, const std::wstring& message, const std::wstring& proxy,
                       bool refused, std::wstring& user, std::wstring& password) override;
};

// Dispatches the test thread's messages for the given time.
void Pump(DWORD milliseconds = 50);
// Dispatches until done() or the time-out; answers done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
