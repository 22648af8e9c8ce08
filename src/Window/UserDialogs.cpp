#include "Window/UserDialogs.h"

#include <shlobj.h>

namespace {

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
};

}  // namespace

IUserDialogs& SystemDialogs()
{
    static CSystemDialogs dialogs;
    return dialogs;
}
