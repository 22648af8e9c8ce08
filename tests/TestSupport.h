#pragma once
// Small helpers shared by the test programs: temporary folders, file contents,
// paths of the test data and of the build folder.

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/UniqueResource.h"

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

// The Wine prefix's display density (LogPixels) for the programs started while it
// lives; 96 again at its end. Every program of the prefix sees it, so a test that
// uses it runs alone (RUN_SERIAL).
class PrefixDpi {
public:
    explicit PrefixDpi(int dpi);
    ~PrefixDpi();
    PrefixDpi(const PrefixDpi&) = delete;
    PrefixDpi& operator=(const PrefixDpi&) = delete;

private:
    static void Set(int dpi);
};

// The contents of the files in `folder` that match `pattern` (for example L"*.xml"),
// in the order of their names, so that runs over them do not depend on the file system.
std::vector<std::string> ReadFolderFiles(const std::wstring& folder, const std::wstring& pattern);

// Bytes next to a page that faults on access, so that a read past their end (or before
// their start) faults at once: placed against the page after the block, or right after
// the page before it.
class GuardedBlock {
public:
    GuardedBlock(const std::string& bytes, bool guardAfter);
    // A wide text with its terminator, against the page after it.
    explicit GuardedBlock(const std::wstring& text);
    ~GuardedBlock();
    GuardedBlock(const GuardedBlock&) = delete;
    GuardedBlock& operator=(const GuardedBlock&) = delete;
    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }
    const wchar_t* Text() const { return reinterpret_cast<const wchar_t*>(data_); }

private:
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// A markup parser's text store (CXmlMarkup::SetTextStoreForTesting) that puts every
// document's text against a page that faults on access.
wchar_t* AllocateGuardedText(size_t characters);
void ReleaseGuardedText(wchar_t* text);

// For mutation tests: keeps the input under way, and writes it to the file when the
// program crashes or when one input takes longer than the limit (the program then ends
// with code 5), so that a crash or a hang is reported with its input, ready to become a
// regression file, instead of waiting for ctest's time-out.
class MutationInputWatch {
public:
    MutationInputWatch(DWORD limitMs, std::wstring inputFile);
    ~MutationInputWatch();
    MutationInputWatch(const MutationInputWatch&) = delete;
    MutationInputWatch& operator=(const MutationInputWatch&) = delete;
    // The input now under way.
    void Begin(const std::string& input);

private:
    static DWORD WINAPI Watch(void* self);
    static LONG WINAPI SaveOnCrash(EXCEPTION_POINTERS* exception);
    void Save(const char* why);

    DWORD limitMs_;
    std::wstring inputFile_;
    std::mutex lock_;
    std::string input_;
    DWORD started_ = 0;
    UniqueKernelHandle stop_;
    UniqueKernelHandle thread_;
};

// SplitMix64: the same sequence on every run, for mutation tests.
class TestRandom {
public:
    explicit TestRandom(uint64_t seed) : state_(seed) {}
    uint64_t Next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    size_t Below(size_t bound) { return bound == 0 ? 0 : static_cast<size_t>(Next() % bound); }

private:
    uint64_t state_;
};
