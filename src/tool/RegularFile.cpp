#include "tool/RegularFile.h"

#include "log/Log.h"

namespace {

// One name, no reparse point, not a folder: writing to it changes this file alone.
bool IsPlainFile(const BY_HANDLE_FILE_INFORMATION& info)
{
    return (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
           info.nNumberOfLinks == 1;
}

// DeleteFileW and RemoveDirectoryW remove a link itself, never what it names; a
// second hard link loses only this name.
bool RemoveLink(const std::wstring& path, DWORD attributes)
{
    BOOL removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str());
    if (removed) {
        LOG_W(L"WARN:a link stood at %s (attributes 0x%lx): removed, not followed", path.c_str(), attributes);
        return true;
    }
    LOG_W(L"ERR:the link at %s (attributes 0x%lx) could not be removed (%lu)", path.c_str(), attributes,
          GetLastError());
    return false;
}

UniqueFileHandle OpenExisting(const std::wstring& path, DWORD access)
{
    // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself instead of what it names.
    return UniqueFileHandle(CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

enum class Existing { kNone, kPlainFile, kFailed };

// Opens what stands at path when it is a plain file; removes it when it is a link.
Existing OpenPlainOrRemove(const std::wstring& path, DWORD access, UniqueFileHandle& file)
{
    file = OpenExisting(path, access);
    DWORD attributes = 0;
    if (file.Valid()) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileInformationByHandle(file.Get(), &info) && IsPlainFile(info)) return Existing::kPlainFile;
        attributes = info.dwFileAttributes;
        file.Reset();
    } else {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return Existing::kNone;
        // A folder, or a link to one, does not open as a file. GetFileAttributesW
        // describes a link itself.
        attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            LOG_W(L"ERR:open %s fail! (%lu)", path.c_str(), error);
            return Existing::kFailed;
        }
    }
    return RemoveLink(path, attributes) ? Existing::kNone : Existing::kFailed;
}

}  // namespace

UniqueFileHandle OpenRegularFile(const std::wstring& strPath, bool bKeepContent)
{
    const DWORD access = GENERIC_READ | GENERIC_WRITE;
    // A second round only when something appeared at the path between removing a
    // link and making the new file.
    for (int round = 0; round < 2; ++round) {
        UniqueFileHandle file;
        Existing existing = OpenPlainOrRemove(strPath, access, file);
        if (existing == Existing::kFailed) return UniqueFileHandle();
        if (existing == Existing::kPlainFile) {
            if (!bKeepContent && !SetEndOfFile(file.Get())) {
                LOG_W(L"ERR:empty %s fail! (%lu)", strPath.c_str(), GetLastError());
                return UniqueFileHandle();
            }
            return file;
        }
        // CREATE_NEW never opens anything that already stands at the path.
        file.Reset(CreateFileW(strPath.c_str(), access, FILE_SHARE_READ, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (file.Valid()) return file;
        if (GetLastError() != ERROR_FILE_EXISTS) break;
    }
    LOG_W(L"ERR:create %s fail! (%lu)", strPath.c_str(), GetLastError());
    return UniqueFileHandle();
}

bool ReadRegularFile(const std::wstring& strPath, size_t nMaxBytes, std::string& strBytes)
{
    UniqueFileHandle file;
    if (OpenPlainOrRemove(strPath, GENERIC_READ, file) != Existing::kPlainFile) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) > nMaxBytes) {
        return false;
    }
    strBytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    return strBytes.empty() ||
           (ReadFile(file.Get(), &strBytes[0], static_cast<DWORD>(strBytes.size()), &read, nullptr) &&
            read == strBytes.size());
}

bool ReplaceRegularFile(const std::wstring& strPath, const std::string& strBytes)
{
    std::wstring temporary = strPath + L".new";
    {
        UniqueFileHandle file = OpenRegularFile(temporary, false);
        if (!file.Valid()) return false;
        DWORD written = 0;
        if (!WriteFile(file.Get(), strBytes.data(), static_cast<DWORD>(strBytes.size()), &written, nullptr) ||
            written != strBytes.size() || !FlushFileBuffers(file.Get())) {
            LOG_W(L"ERR:write %s fail! (%lu)", temporary.c_str(), GetLastError());
            return false;
        }
    }
    // A folder link at the path would not be replaced by the move: remove it first.
    DWORD attributes = GetFileAttributesW(strPath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        !RemoveLink(strPath, attributes)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    // The move replaces the name at strPath, a file link or second hard link included,
    // and never writes through it.
    if (!MoveFileExW(temporary.c_str(), strPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        LOG_W(L"ERR:replace %s fail! (%lu)", strPath.c_str(), GetLastError());
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}
