#pragma once
// The installer's work folder: where its log, the unpacked language archive and
// the downloaded installer live.
//
// Thread contract: stateless; any thread.

#include <string>

// Program Files, "vantelo_down\", the executable's base name and a backslash;
// empty when the Program Files folder cannot be determined.
std::wstring GetWorkFolder();
// The same under a given Program Files folder (with its trailing backslash);
// empty unless that is an absolute path on a drive.
std::wstring WorkFolderUnder(const std::wstring& programFiles, const std::wstring& baseName);
