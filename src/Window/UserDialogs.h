#pragma once
// The installer's modal dialogs behind one small interface, so that tests can
// answer them: message boxes and the shell's folder picker.
//
// Thread contract: UI thread only.

#include <windows.h>

#include <string>

class IUserDialogs {
public:
    virtual int ShowMessage(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags) = 0;
    // True with the chosen folder; false when the user cancelled.
    virtual bool BrowseForFolder(HWND owner, const std::wstring& title, std::wstring& folder) = 0;

protected:
    ~IUserDialogs() = default;
};

// MessageBoxW and SHBrowseForFolderW.
IUserDialogs& SystemDialogs();
