#include "Window/InstallFlowRules.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cwchar>

namespace InstallFlow {

std::wstring WithTrailingBackslash(const std::wstring& path)
{
    if (!path.empty() && path.back() == L'\\') return path;
    return path + L"\\";
}

bool IsInstallPathAccepted(const std::wstring& installPath)
{
    std::wstring probe = installPath;
    if (!probe.empty() && probe.back() == L'\\') probe.pop_back();
    probe += L"\\.";
    if (GetFileAttributesW(probe.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    return GetLastError() != ERROR_PATH_NOT_FOUND;
}

std::wstring DriveOf(const std::wstring& installPath)
{
    size_t colon = installPath.find(L':');
    return colon == std::wstring::npos ? installPath : installPath.substr(0, colon + 1);
}

int ParseProgressPercent(const std::string& bytes)
{
    std::string head = bytes.substr(0, 10);
    int value = atoi(head.c_str());
    return std::clamp(value, 0, 100);
}

int InstallProgress(int downloadRatio, int installerPercent)
{
    return downloadRatio + (100 - downloadRatio) * installerPercent / 100;
}

int DownloadProgress(long long position, long long total, int downloadRatio)
{
    if (total <= 0) return 0;
    return static_cast<int>(static_cast<double>(position) / static_cast<double>(total) * downloadRatio);
}

long long NextReportedPosition(long long lastReported, long long downloaded, long long total)
{
    long long position = downloaded < lastReported ? lastReported + 10 : downloaded;
    if (total > 0) position = std::min(position, total);
    return position;
}

int RequiredSpaceMB(long long installerBytes)
{
    constexpr long long kSpaceFactor = 3;
    long long required = kSpaceFactor * (installerBytes >> 20);
    return static_cast<int>(std::min<long long>(required, INT_MAX));
}

std::wstring LowSpaceText(const std::wstring& storageText, int requiredMB, const std::wstring& unit)
{
    wchar_t number[16];
    swprintf(number, 16, L"%d", requiredMB);
    return storageText + L" " + number + L" " + (unit.empty() ? std::wstring(L"MB") : unit);
}

UINT MessageBoxFlags(UINT flags, bool rightToLeft)
{
    return rightToLeft ? flags | MB_RIGHT | MB_RTLREADING | MB_SETFOREGROUND : flags;
}

int BarValue(int percent, bool rightToLeft) { return rightToLeft ? 100 - percent : percent; }

}  // namespace InstallFlow
