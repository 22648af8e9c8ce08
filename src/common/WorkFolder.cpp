#include "common/WorkFolder.h"

#include <windows.h>

#include "common/SystemUtil.h"

namespace {

const wchar_t kWorkFolderName[] = L"vantelo_down\\";

}  // namespace

std::wstring GetWorkFolder()
{
    wchar_t module[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring name(module, length);
    for (wchar_t& c : name) {
        if (c == L'/') c = L'\\';
    }
    name = name.substr(name.rfind(L'\\') + 1);
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos) name.resize(dot);
    return WorkFolderUnder(GetProgramFilesFolder(), name);
}

std::wstring WorkFolderUnder(const std::wstring& programFiles, const std::wstring& baseName)
{
    // The shell gives a lone backslash when it knows no Program Files folder: the
    // work folder would land in the root of whatever drive is current.
    const wchar_t drive = programFiles.empty() ? L'\0' : static_cast<wchar_t>(programFiles[0] | 0x20);
    const bool absolute =
        programFiles.size() >= 3 && drive >= L'a' && drive <= L'z' && programFiles[1] == L':' && programFiles[2] == L'\\';
    if (!absolute) return std::wstring();
    return programFiles + kWorkFolderName + baseName + L"\\";
}
