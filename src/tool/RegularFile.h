#pragma once
// Opening the download's files without ever going through a link. The installer runs
// as administrator; a symbolic link, junction or second hard link planted where it
// writes would make it overwrite whatever the link names. Such a link is removed
// first (the link, never what it names) and a new file is made in its place.
//
// Thread contract: free functions, any thread.

#include <windows.h>

#include <string>

#include "base/UniqueResource.h"

// The regular file at strPath, open for reading and writing (others may read). With
// bKeepContent an existing regular file keeps its bytes; otherwise it is emptied.
// Invalid (with a log line) when the path cannot be made a regular file.
UniqueFileHandle OpenRegularFile(const std::wstring& strPath, bool bKeepContent);

// The whole regular file at strPath when it exists and holds at most nMaxBytes; a
// link in its place is removed and counts as absent.
bool ReadRegularFile(const std::wstring& strPath, size_t nMaxBytes, std::string& strBytes);

// Writes strBytes to the file at strPath through a new file beside it, flushed, then
// moved over strPath, so a reader finds the old bytes or the new ones, never a mix.
bool ReplaceRegularFile(const std::wstring& strPath, const std::string& strBytes);
