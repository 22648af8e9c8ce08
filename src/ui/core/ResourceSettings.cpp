// The process-wide resource settings of CWindowManagerUI.

#include <memory>

#include "ui/core/WindowManager.h"
#include "ui/core/ZipArchive.h"

namespace Veneer {

namespace {

struct ResourceSettings {
    HINSTANCE module = nullptr;
    std::wstring folder;
    std::wstring archiveName;
    bool keepArchiveOpen = true;
    std::unique_ptr<CZipArchive> keptArchive;
    const void* memory = nullptr;
    size_t memorySize = 0;
};

// Built on first use, so windows created from static constructors see it too.
ResourceSettings& Settings()
{
    static ResourceSettings settings;
    return settings;
}

}  // namespace

void CWindowManagerUI::SetModuleHandle(HINSTANCE instance) { Settings().module = instance; }

HINSTANCE CWindowManagerUI::ModuleHandle() { return Settings().module; }

std::wstring CWindowManagerUI::ModuleFolder()
{
    if (!Settings().module) return {};
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(Settings().module, path, MAX_PATH);
    std::wstring folder(path, length);
    const size_t slash = folder.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

void CWindowManagerUI::SetResourceFolder(const std::wstring& path)
{
    std::wstring& folder = Settings().folder;
    folder = path;
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
}

const std::wstring& CWindowManagerUI::ResourceFolder() { return Settings().folder; }

void CWindowManagerUI::SetResourceArchive(const std::wstring& name, bool keepOpen)
{
    ResourceSettings& settings = Settings();
    if (name == settings.archiveName && keepOpen == settings.keepArchiveOpen) return;
    if (settings.keepArchiveOpen) settings.keptArchive.reset();
    settings.archiveName = name;
    settings.keepArchiveOpen = keepOpen;
    if (keepOpen) settings.keptArchive = CZipArchive::OpenFile(settings.folder + name);
}

void CWindowManagerUI::SetResourceArchiveMemory(const void* bytes, size_t size)
{
    ResourceSettings& settings = Settings();
    // The first block stays: its archive may already have served loads.
    if (settings.archiveName == kMemoryArchiveName) return;
    if (settings.keepArchiveOpen) settings.keptArchive.reset();
    settings.archiveName = kMemoryArchiveName;
    settings.memory = bytes;
    settings.memorySize = size;
    if (settings.keepArchiveOpen) settings.keptArchive = CZipArchive::OpenMemory(bytes, size);
}

const std::wstring& CWindowManagerUI::ResourceArchiveName() { return Settings().archiveName; }

bool CWindowManagerUI::KeepsResourceArchiveOpen() { return Settings().keepArchiveOpen; }

CZipArchive* CWindowManagerUI::KeptResourceArchive() { return Settings().keptArchive.get(); }

const void* CWindowManagerUI::ResourceArchiveMemory(size_t& size)
{
    size = Settings().memorySize;
    return Settings().memory;
}

}  // namespace Veneer
