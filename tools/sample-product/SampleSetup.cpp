// The sample product's installer, run by the web installer as
//   vantelo-download.exe /verysilent /vantelo_down /wait_run /path="DIR\" /progress="FILE"
// Like real setup engines it copies itself into a temporary folder as
// vantelo-download.tmp and lets that copy do the work, waiting for it when /wait_run
// is given. The copy writes 0 to 100 into the progress file, installs
// DIR\Vantelo\Vantelo Pexar\Pexar.exe and install.log beside it (the size and
// SHA-256 of the installer file it ran from, and its command line), and exits.
// VANTELO_SAMPLE_SETUP_MS sets how long the installation takes (default 4000).
// Failures for the tests: VANTELO_SAMPLE_SETUP_EXIT=N makes the installation fail
// with exit code N, and VANTELO_SAMPLE_SETUP_NO_PRODUCT=1 makes it end with 0
// without installing the product.

#include <windows.h>
#include <bcrypt.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/TextEncoding.h"
#include "base/UniqueResource.h"

namespace {

const wchar_t kEngineName[] = L"vantelo-download.tmp";
const wchar_t kProductFolder[] = L"Vantelo\\Vantelo Pexar\\";

// The value of NAME="..." in the raw command line: paths end in a backslash, which
// the C runtime's argument rules would take as an escaped quote.
std::wstring QuotedOption(const std::wstring& commandLine, const std::wstring& name)
{
    std::wstring key = name + L"=\"";
    size_t start = commandLine.find(key);
    if (start == std::wstring::npos) return std::wstring();
    start += key.size();
    size_t end = commandLine.find(L'"', start);
    return end == std::wstring::npos ? std::wstring() : commandLine.substr(start, end - start);
}

bool HasOption(const std::wstring& commandLine, const wchar_t* option)
{
    return commandLine.find(option) != std::wstring::npos;
}

std::wstring ModulePath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

bool WriteWholeFile(const std::wstring& path, const void* data, DWORD size)
{
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.Get(), data, size, &written, nullptr) && written == size;
}

// Size and SHA-256 (hex) of a file, for the install log.
bool HashFile(const std::wstring& path, unsigned long long& size, std::string& hex)
{
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    UniqueBCryptAlgorithm algorithm;
    if (BCryptOpenAlgorithmProvider(algorithm.Receive(), BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return false;
    UniqueBCryptHash hash;
    bool ok = BCryptCreateHash(algorithm.Get(), hash.Receive(), nullptr, 0, nullptr, 0, 0) == 0;
    std::vector<unsigned char> buffer(1 << 20);
    size = 0;
    DWORD got = 0;
    while (ok && ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) {
        ok = BCryptHashData(hash.Get(), buffer.data(), got, 0) == 0;
        size += got;
    }
    unsigned char digest[32] = {};
    ok = ok && BCryptFinishHash(hash.Get(), digest, sizeof digest, 0) == 0;
    hex.clear();
    for (unsigned char byte : digest) {
        char two[3];
        snprintf(two, sizeof two, "%02x", byte);
        hex += two;
    }
    return ok;
}

bool ExtractProduct(const std::wstring& target)
{
    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(10));  // RT_RCDATA
    HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    return data && WriteWholeFile(target, data, SizeofResource(nullptr, resource));
}

// The copy that does the work.
int RunEngine(const std::wstring& commandLine)
{
    std::wstring folder = QuotedOption(commandLine, L"/path");
    std::wstring progressFile = QuotedOption(commandLine, L"/progress");
    if (folder.empty() || progressFile.empty()) return 2;
    if (folder.back() != L'\\') folder += L'\\';
    std::wstring productFolder = folder + kProductFolder;

    wchar_t setting[16] = {};
    int totalMs = GetEnvironmentVariableW(L"VANTELO_SAMPLE_SETUP_MS", setting, 16) > 0 ? _wtoi(setting) : 4000;
    int failWith = GetEnvironmentVariableW(L"VANTELO_SAMPLE_SETUP_EXIT", setting, 16) > 0 ? _wtoi(setting) : 0;
    bool withoutProduct = GetEnvironmentVariableW(L"VANTELO_SAMPLE_SETUP_NO_PRODUCT", setting, 16) > 0;
    const int steps = 20;
    for (int step = 0; step <= steps; ++step) {
        std::string percent = std::to_string(step * 100 / steps);
        WriteWholeFile(progressFile, percent.data(), static_cast<DWORD>(percent.size()));
        if (step == steps / 2 && failWith != 0) return failWith;
        if (step == steps / 2 && !withoutProduct) {
            if (SHCreateDirectoryExW(nullptr, productFolder.c_str(), nullptr) != ERROR_SUCCESS &&
                GetFileAttributesW(productFolder.c_str()) == INVALID_FILE_ATTRIBUTES) {
                return 3;
            }
            if (!ExtractProduct(productFolder + L"Pexar.exe")) return 4;
        }
        if (step < steps) Sleep(static_cast<DWORD>(totalMs / steps));
    }

    unsigned long long size = 0;
    std::string sha256;
    if (!HashFile(ModulePath(), size, sha256)) return 5;
    std::string log = "installer " + std::to_string(size) + " bytes sha256 " + sha256 + "\r\ncommand line:" +
                      Text::WideToUtf8(commandLine) + "\r\n";
    return WriteWholeFile(productFolder + L"install.log", log.data(), static_cast<DWORD>(log.size())) ? 0 : 6;
}

// The outer copy: hands the work to vantelo-download.tmp in a folder of its own.
int RunLauncher(const std::wstring& commandLine)
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"vantelo-setup-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring engine = folder + kEngineName;
    if (!CopyFileW(ModulePath().c_str(), engine.c_str(), FALSE)) return 10;

    std::wstring engineLine = L"\"" + engine + L"\" " + commandLine;
    std::vector<wchar_t> writable(engineLine.begin(), engineLine.end());
    writable.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(engine.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        return 11;
    }
    UniqueProcessInformation engineProcess(info);
    DWORD code = 0;
    if (HasOption(commandLine, L"/wait_run")) {
        WaitForSingleObject(engineProcess.process.Get(), INFINITE);
        GetExitCodeProcess(engineProcess.process.Get(), &code);
        DeleteFileW(engine.c_str());
        RemoveDirectoryW(folder.c_str());
    }
    return static_cast<int>(code);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR arguments, int)
{
    std::wstring commandLine = arguments ? arguments : L"";
    std::wstring self = ModulePath();
    size_t slash = self.rfind(L'\\');
    std::wstring name = slash == std::wstring::npos ? self : self.substr(slash + 1);
    if (lstrcmpiW(name.c_str(), kEngineName) == 0) return RunEngine(commandLine);
    return RunLauncher(commandLine);
}
