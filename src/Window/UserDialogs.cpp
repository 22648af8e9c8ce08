#include "Window/UserDialogs.h"

#include <shlobj.h>
#include <wincred.h>

#include "log/Log.h"

namespace {

using CredUIPromptForCredentialsFn = DWORD(WINAPI*)(PCREDUI_INFOW, PCWSTR, PCtxtHandle, DWORD, PWSTR, ULONG, PWSTR,
                                                     ULONG, BOOL*, DWORD);

// credui.dll is not one of the DLLs Windows always takes from System32: load it
// from there by its full path, never by its bare name.
CredUIPromptForCredentialsFn LoadCredentialDialog()
{
    wchar_t path[MAX_PATH] = {};
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 12 >= MAX_PATH) return nullptr;
    wcscat(path, L"\\credui.dll");
    HMODULE module = LoadLibraryW(path);
    if (!module) {
        LOG_A("ERR:loading credui.dll fail %lu", GetLastError());
        return nullptr;
    }
    return reinterpret_cast<CredUIPromptForCredentialsFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "CredUIPromptForCredentialsW")));
}

class CSystemDialogs final : public IUserDialogs {
public:
    int ShowMessage(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags) override
    {
        return MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
    }

    bool BrowseForFolder(HWND owner, const std::wstring& title, std::wstring& folder) override
    {
        BROWSEINFOW info{};
        info.hwndOwner = owner;
        info.pidlRoot = nullptr;
        info.lpszTitle = title.c_str();
        info.ulFlags = BIF_NEWDIALOGSTYLE;
        LPITEMIDLIST list = SHBrowseForFolderW(&info);
        if (!list) return false;
        wchar_t path[MAX_PATH] = {};
        bool chosen = SHGetPathFromIDListW(list, path) != FALSE;
        CoTaskMemFree(list);
        if (chosen) folder = path;
        return chosen;
    }

    bool AskProxyLogin(HWND owner, const std::wstring& caption, const std::wstring& message, const std::wstring& proxy,
                       bool refused, std::wstring& user, std::wstring& password) override
    {
        static CredUIPromptForCredentialsFn prompt = LoadCredentialDialog();
        if (!prompt) return false;
        CREDUI_INFOW info{};
        info.cbSize = sizeof info;
        info.hwndParent = owner;
        info.pszMessageText = message.c_str();
        info.pszCaptionText = caption.c_str();
        wchar_t name[CREDUI_MAX_USERNAME_LENGTH + 1] = {};
        wchar_t secret[CREDUI_MAX_PASSWORD_LENGTH + 1] = {};
        BOOL save = FALSE;
        DWORD flags = CREDUI_FLAGS_GENERIC_CREDENTIALS | CREDUI_FLAGS_DO_NOT_PERSIST | CREDUI_FLAGS_ALWAYS_SHOW_UI |
                      (refused ? CREDUI_FLAGS_INCORRECT_PASSWORD : 0);
        DWORD result = prompt(&info, proxy.c_str(), nullptr, refused ? ERROR_LOGON_FAILURE : 0, name,
                              CREDUI_MAX_USERNAME_LENGTH + 1, secret, CREDUI_MAX_PASSWORD_LENGTH + 1, &save, flags);
        bool given = result == NO_ERROR;
        if (given) {
            user = name;
            password = secret;
            // Wine hands back "<target>\\<name>" for a name typed without a domain;
            // Windows the name as typed. The proxy's address is no domain.
            std::wstring prefix = proxy + L"\\";
            if (user.compare(0, prefix.size(), prefix) == 0) user.erase(0, prefix.size());
        } else if (result != ERROR_CANCELLED) {
            LOG_A("ERR:CredUIPromptForCredentials fail %lu", result);
        }
        SecureZeroMemory(secret, sizeof secret);
        SecureZeroMemory(name, sizeof name);
        return given;
    }
};

}  // namespace

IUserDialogs& SystemDialogs()
{
    static CSystemDialogs dialogs;
    return dialogs;
}
