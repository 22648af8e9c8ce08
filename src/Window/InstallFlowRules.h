#pragma once
// The install flow's small rules, kept apart from the window so that they can be
// checked on their own: path validation, progress arithmetic, message texts and
// flags.
//
// Thread contract: pure functions, any thread.

#include <windows.h>

#include <string>

namespace InstallFlow {

// A path as the flow stores it: always ending in a backslash (an empty field
// becomes a lone backslash).
std::wstring WithTrailingBackslash(const std::wstring& path);

// Rejected only when the folder's parent is missing (ERROR_PATH_NOT_FOUND): an
// existing folder, and a missing folder whose parent exists, are accepted.
bool IsInstallPathAccepted(const std::wstring& installPath);

// "C:" of "C:\Program Files\": the text up to and including the first colon.
std::wstring DriveOf(const std::wstring& installPath);

// The leading decimal number of at most the first 10 bytes; 0 when there is none.
// Values outside 0 to 100 are clamped.
int ParseProgressPercent(const std::string& bytes);

// The bar's value while the product installer runs: ratio + (100 - ratio) * n / 100.
int InstallProgress(int downloadRatio, int installerPercent);

// The download's share of the bar; 0 for an unknown or zero total.
int DownloadProgress(long long position, long long total, int downloadRatio);

// The position to report for a progress event: never backwards (after a retry the
// bar creeps by 10 bytes per event until the real position passes it), never past
// the total.
long long NextReportedPosition(long long lastReported, long long downloaded, long long total);

// Free mebibytes the drive needs for an installer of this many bytes: three times its
// size in whole mebibytes; beyond what an int holds, the most it holds.
int RequiredSpaceMB(long long installerBytes);

// "%s %d %s": storage text, required mebibytes, unit ("MB" when the unit is empty).
std::wstring LowSpaceText(const std::wstring& storageText, int requiredMB, const std::wstring& unit);

// Message-box flags, with MB_RIGHT | MB_RTLREADING | MB_SETFOREGROUND added for a
// right-to-left language.
UINT MessageBoxFlags(UINT flags, bool rightToLeft);

// The value the bar shows: mirrored for right to left, whose bar picture is mirrored.
int BarValue(int percent, bool rightToLeft);

}  // namespace InstallFlow
