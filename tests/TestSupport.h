#pragma once
// Small helpers shared by the test programs: temporary folders, file contents,
// paths of the test data and of the build folder.

#include <windows.h>

#include <string>

// A fresh folder under the build's temporary area, removed with its contents.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // Without a trailing backslash.
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExistsW(const std::wstring& path);
void RemoveTree(const std::wstring& path);
std::wstring ToWide(const std::string& utf8);
std::string ToUtf8(const std::wstring& wide);
// A Unix path given at build time (the test data folder) as a Windows path.
std::wstring HostPathToWindows(const std::string& unixPath);
std::wstring TestDataPath(const std::wstring& relative);
std::wstring BuildPath(const std::wstring& relative);
// The running test program's full path.
std::wstring SelfPath();
// Runs a program with a command line and waits; returns its exit code or -1000 when it did not start.
int RunAndWait(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs = 60000,
               const wchar_t* environment = nullptr);
