#include "base/FolderTree.h"

#include <windows.h>

namespace {

bool IsFolder(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool CreateFolderTree(const std::wstring& folder)
{
    std::wstring path = folder;
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    if (path.empty()) return false;
    if (IsFolder(path)) return true;
    // Each level in turn; the ones that cannot be made (a drive, a server or share
    // name) already exist or the last step fails.
    for (size_t i = path.find(L'\\', 1); i != std::wstring::npos; i = path.find(L'\\', i + 1)) {
        std::wstring level = path.substr(0, i);
        if (level.back() != L'\\' && level.back() != L':' && !IsFolder(level)) {
            CreateDirectoryW(level.c_str(), nullptr);
        }
    }
    CreateDirectoryW(path.c_str(), nullptr);
    return IsFolder(path);
}

bool CreateFolderTreeFor(const std::wstring& filePath)
{
    size_t slash = filePath.find_last_of(L"\\/");
    if (slash == std::wstring::npos || slash == 0) return true;
    return CreateFolderTree(filePath.substr(0, slash));
}
