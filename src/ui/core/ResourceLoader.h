#pragma once
// Reading named files from the process-wide resource location (a folder, a zip
// file in it, or a zip archive in memory; see CWindowManagerUI's resource
// settings), and unpacking an archive held in memory into a folder.
//
// Thread contract: UI thread only; the kept archive's reading position is shared.

#include <cstddef>
#include <string>

namespace Veneer {

// The largest markup file or member that LoadMarkupBytes accepts: 4 MiB.
constexpr size_t kMaxMarkupBytes = 4194304;

// Reads the markup file `name` from the resource location. On failure `bytes` is
// empty and `errorText` holds one of: "Error opening file", "File is empty",
// "File too large", "Could not read file", "Error opening zip file",
// "Could not find ziped file", "Could not unzip file".
bool LoadMarkupBytes(const std::wstring& name, std::string& bytes, std::wstring& errorText);

// Reads the image file `name`: from the resource location first, then as a path of
// its own (absolute, or relative to the current directory). No size limit.
bool ReadImageFile(const std::wstring& name, std::string& bytes);

// Writes every member of the archive in memory below `folder`, in directory order:
// a member without data becomes a folder, any other a file (overwritten). Members
// whose names would leave the folder are skipped. Errors skip the member; the
// result is always true.
bool UnpackArchiveToFolder(const void* bytes, size_t size, const std::wstring& folder);

}  // namespace Veneer
