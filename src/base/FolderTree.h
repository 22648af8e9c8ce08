#pragma once
// Creation of a folder with every missing folder above it.
//
// Thread contract: stateless; any thread (two threads creating the same tree both
// succeed).

#include <string>

// "/" and "\" both separate names; a trailing separator is allowed. True when the
// folder exists afterwards (also when it existed before).
bool CreateFolderTree(const std::wstring& folder);
// The folders above a file, for a file about to be created there.
bool CreateFolderTreeFor(const std::wstring& filePath);
