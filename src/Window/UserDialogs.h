#pragma once
// The installer's modal dialogs behind one small interface, so that tests can
// answer them: message boxes, the shell's folder picker and the system's
// credential dialog.
//
// Thread contract: UI thread only.

#include <windows.h>

#include <string>

class IUserDialogs {
public:
    virtual int ShowMessage(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags) = 0;
    // True with the chosen folder; false when the user cancelled.
    virtual bool BrowseForFolder(HWND owner, const std::wstring& title, std::wstring& folder) = 0;
    // A user name and password for the proxy; false when the user cancelled.
    // `refused` tells that the proxy refused the last login. Nothing is saved.
    virtual bool AskProxyLogin(HWND owner, const std::wstring& caption, const std::wstring& message,
                               const std::wstring& proxy, bool refused, std::wstring& user,
                               std::wstring& password) = 0;

protected:
    ~IUserDialogs() = default;
};

// MessageBoxW, SHBrowseForFolderW and CredUIPromptForCredentialsW.
IUserDialogs& SystemDialogs();
