#include "FrameTestSupport.h"

int ScriptedDialogs::ShowMessage(HWND, const std::wstring& text, const std::wstring& caption, UINT flags)
{
    messages.push_back({text, caption, flags});
    if (whileShown) {
        std::function<void()> run = whileShown;
        whileShown = nullptr;
        run();
    }
    int given = answer;
    if (!answers.empty()) {
        given = answers.front();
        answers.pop_front();
    }
    if (onAnswer) onAnswer(text);
    return given;
}

bool ScriptedDialogs::BrowseForFolder(HWND, const std::wstring& title, std::wstring& chosen)
{
    pickerTitles.push_back(title);
    if (folder.empty()) return false;
    chosen = folder;
    return true;
}

bool ScriptedDialogs::AskProxyLogin(HWND, const std::wstring& caption, const std::wstring& message,
                                    const std::wstring& proxy, bool refused, std::wstring& user,
                                    std::wstring& password)
{
    loginQuestions.push_back({caption, message, proxy, refused, GetCurrentThreadId()});
    user = L"alice";
    password = L"secret";
    return true;
}

void Pump(DWORD milliseconds)
{
    PumpUntil([] { return false; }, milliseconds);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(5);
    }
}
