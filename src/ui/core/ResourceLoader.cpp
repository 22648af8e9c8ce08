#include "ui/core/ResourceLoader.h"

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>

#include "log/Log.h"
#include "base/UniqueResource.h"
#include "ui/core/WindowManager.h"
#include "ui/core/ZipArchive.h"

namespace Veneer {

namespace {

enum class FileReadResult { kOk, kOpenFailed, kEmpty, kTooLarge, kShortRead };

FileReadResult ReadWholeFile(const std::wstring& path, uint64_t limit, std::string& bytes)
{
    bytes.clear();
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return FileReadResult::kOpenFailed;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size)) return FileReadResult::kShortRead;
    const uint64_t length = static_cast<uint64_t>(size.QuadPart);
    if (length == 0) return FileReadResult::kEmpty;
    if (length > limit || length > SIZE_MAX) return FileReadResult::kTooLarge;
    try {
        bytes.resize(static_cast<size_t>(length));
    } catch (const std::exception&) {
        return FileReadResult::kShortRead;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(file.Get(), &bytes[done], chunk, &got, nullptr) || got == 0) break;
        done += got;
    }
    if (done < bytes.size()) {
        bytes.clear();
        return FileReadResult::kShortRead;
    }
    return FileReadResult::kOk;
}

// The kept archive, or one opened for this load and owned by `owned`.
CZipArchive* ArchiveForLoad(std::unique_ptr<CZipArchive>& owned)
{
    if (CWindowManagerUI::KeepsResourceArchiveOpen()) return CWindowManagerUI::KeptResourceArchive();
    if (CWindowManagerUI::ResourceArchiveName() == CWindowManagerUI::kMemoryArchiveName) {
        size_t size = 0;
        const void* memory = CWindowManagerUI::ResourceArchiveMemory(size);
        owned = CZipArchive::OpenMemory(memory, size);
    } else {
        owned = CZipArchive::OpenFile(CWindowManagerUI::ResourceFolder() + CWindowManagerUI::ResourceArchiveName());
    }
    return owned.get();
}

// The whole member. The buffer grows with the data actually inflated, at most 4 MiB
// ahead of it, so a forged size in a damaged archive cannot demand a huge buffer.
ZipResult ExtractMember(CZipArchive& archive, int index, uint32_t statedSize, std::string& bytes)
{
    bytes.clear();
    size_t done = 0;
    ZipResult result = kZipOk;
    while (done < statedSize) {
        const size_t step = std::min<size_t>(statedSize - done, kMaxMarkupBytes);
        try {
            bytes.resize(done + step);
        } catch (const std::exception&) {
            result = kZipArgs;
            break;
        }
        result = archive.ExtractToMemory(index, &bytes[done], step);
        done += step;
        if (result != kZipMore) break;
    }
    if (!ZipSucceeded(result)) bytes.clear();
    return result;
}

bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsReservedDeviceName(const std::wstring& segment)
{
    std::wstring stem = segment.substr(0, segment.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    std::transform(stem.begin(), stem.end(), stem.begin(), [](wchar_t c) {
        return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    });
    if (stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL") return true;
    return stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
           stem[3] >= L'1' && stem[3] <= L'9';
}

// False for names that could write outside the target folder: a leading slash or
// backslash, a drive letter (any colon), a ".." segment (or one that Windows would
// trim to it), or a device name.
bool StaysInsideFolder(const std::wstring& name)
{
    if (!name.empty() && (name[0] == L'/' || name[0] == L'\\')) return false;
    if (name.find(L':') != std::wstring::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        const size_t end = std::min(name.find_first_of(L"/\\", start), name.size());
        const std::wstring segment = name.substr(start, end - start);
        const bool onlyDotsAndBlanks =
            !segment.empty() && segment.find_first_not_of(L". ") == std::wstring::npos;
        if (onlyDotsAndBlanks && segment != L".") return false;
        if (IsReservedDeviceName(segment)) return false;
        start = end + 1;
    }
    return true;
}

void WriteWholeFile(const std::wstring& path, const std::string& bytes)
{
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    if (!file.Valid()) return;
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file.Get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) return;
        done += written;
    }
}

// The error text of a failed load, or null.
const wchar_t* ReadMarkup(const std::wstring& name, std::string& bytes)
{
    if (CWindowManagerUI::ResourceArchiveName().empty()) {
        switch (ReadWholeFile(CWindowManagerUI::ResourceFolder() + name, kMaxMarkupBytes, bytes)) {
        case FileReadResult::kOk: return nullptr;
        case FileReadResult::kOpenFailed: return L"Error opening file";
        case FileReadResult::kEmpty: return L"File is empty";
        case FileReadResult::kTooLarge: return L"File too large";
        case FileReadResult::kShortRead: break;
        }
        return L"Could not read file";
    }

    std::unique_ptr<CZipArchive> owned;
    CZipArchive* archive = ArchiveForLoad(owned);
    if (!archive) return L"Error opening zip file";
    int index = 0;
    ZipMemberInfo info;
    if (!ZipSucceeded(archive->FindMember(name, true, index, info))) return L"Could not find ziped file";
    if (info.uncompressedSize == 0) return L"File is empty";
    if (info.uncompressedSize > kMaxMarkupBytes) return L"File too large";
    if (!ZipSucceeded(ExtractMember(*archive, index, info.uncompressedSize, bytes))) return L"Could not unzip file";
    return nullptr;
}

}  // namespace

bool LoadMarkupBytes(const std::wstring& name, std::string& bytes, std::wstring& errorText)
{
    const wchar_t* error = ReadMarkup(name, bytes);
    if (!error) {
        errorText.clear();
        return true;
    }
    bytes.clear();
    errorText = error;
    LOG_W(L"%s: %s", name.c_str(), error);
    return false;
}

bool ReadImageFile(const std::wstring& name, std::string& bytes)
{
    if (CWindowManagerUI::ResourceArchiveName().empty()) {
        if (ReadWholeFile(CWindowManagerUI::ResourceFolder() + name, UINT64_MAX, bytes) == FileReadResult::kOk) {
            return true;
        }
    } else {
        std::unique_ptr<CZipArchive> owned;
        CZipArchive* archive = ArchiveForLoad(owned);
        int index = 0;
        ZipMemberInfo info;
        if (archive && ZipSucceeded(archive->FindMember(name, true, index, info)) && info.uncompressedSize != 0 &&
            ZipSucceeded(ExtractMember(*archive, index, info.uncompressedSize, bytes))) {
            return true;
        }
    }
    return ReadWholeFile(name, UINT64_MAX, bytes) == FileReadResult::kOk;
}

bool UnpackArchiveToFolder(const void* bytes, size_t size, const std::wstring& folder)
{
    // An empty folder would put every member below the root of the current drive.
    if (folder.empty()) {
        LOG_A("no target folder: nothing unpacked");
        return true;
    }
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    if (!IsDirectory(folder)) CreateDirectoryW(folder.c_str(), nullptr);

    std::unique_ptr<CZipArchive> archive = CZipArchive::OpenMemory(bytes, size);
    if (!archive) {
        LOG_A("the archive (%u bytes) could not be opened", static_cast<unsigned>(size));
        return true;
    }
    const std::wstring base = folder.back() == L'\\' ? folder : folder + L'\\';
    ZipMemberInfo count;
    archive->GetMember(-1, count);
    for (int index = 0; index < count.index; ++index) {
        ZipMemberInfo info;
        if (!ZipSucceeded(archive->GetMember(index, info))) continue;
        if (!StaysInsideFolder(info.name)) {
            LOG_W(L"skipped the member \"%s\": its name leaves the folder", info.name.c_str());
            continue;
        }
        std::wstring relative = info.name;
        std::replace(relative.begin(), relative.end(), L'/', L'\\');
        const std::wstring target = base + relative;
        if (info.uncompressedSize == 0) {
            if (!IsDirectory(target)) CreateDirectoryW(target.c_str(), nullptr);
            continue;
        }
        std::string data;
        const ZipResult extracted = ExtractMember(*archive, index, info.uncompressedSize, data);
        if (!ZipSucceeded(extracted)) {
            // Half-extracted data would pass for the real file.
            LOG_W(L"skipped the member \"%s\": extraction failed with 0x%x", info.name.c_str(),
                  static_cast<unsigned>(extracted));
            continue;
        }
        // Rewriting identical files is most of a restart's cost under Wine; an edited
        // or foreign file still differs and is overwritten.
        std::string existing;
        if (ReadWholeFile(target, data.size(), existing) == FileReadResult::kOk && existing == data) continue;
        WriteWholeFile(target, data);
    }
    return true;
}

}  // namespace Veneer
