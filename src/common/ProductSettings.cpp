// The product and address settings of LanguageManager: the work folder, the
// language archive and the domain text from the program's resources, and the
// getters over the product and address tables.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/TextEncoding.h"
#include "base/UniqueResource.h"
#include "common/LanguageManager.h"
#include "common/SystemUtil.h"
#include "log/Log.h"
#include "ui/core/ResourceLoader.h"

namespace {

constexpr int kLanguageArchiveId = 105;
constexpr int kDomainTextId = 106;
// The domain text is copied into a zero-filled buffer of this size, so at most
// 254 of its bytes are used and the text stays terminated.
constexpr size_t kDomainBufferSize = 255;

const wchar_t kDefaultBrand[] = L"Vantelo";

// The bytes of a resource of type RT_RCDATA, or null. Resources stay mapped for
// the module's lifetime.
const char* FindRcData(HMODULE module, int id, DWORD& size)
{
    size = 0;
    if (!module) module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
    if (!found) return nullptr;
    HGLOBAL loaded = LoadResource(module, found);
    if (!loaded) return nullptr;
    size = SizeofResource(module, found);
    return static_cast<const char*>(LockResource(loaded));
}

}  // namespace

void LanguageManager::LoadResZipFile(const std::wstring& languageFolder, HMODULE module)
{
    LOG_A("LoadResZipFile");
    DWORD size = 0;
    const char* archive = FindRcData(module, kLanguageArchiveId, size);
    if (!archive) LOG_A("no language archive (resource %d): error %lu", kLanguageArchiveId, GetLastError());
    // Creates the folder even without an archive, so it exists and stays empty.
    Veneer::UnpackArchiveToFolder(archive, archive ? size : 0, languageFolder);
}

void LanguageManager::LoadDomainFile(HMODULE module)
{
    LOG_A("LoadDomainFile");
    DWORD size = 0;
    const char* resource = FindRcData(module, kDomainTextId, size);
    if (!resource) {
        LOG_A("no domain text (resource %d): error %lu", kDomainTextId, GetLastError());
        return;
    }
    char text[kDomainBufferSize] = {};
    memcpy(text, resource, std::min<size_t>(size, kDomainBufferSize - 1));

    // The domain text is written in the user's ANSI code page.
    m_customKey = ReplaceAll(Text::UserAnsiToWide(text), L"\r\n", L"");
    LOG_A("Domain:%s", text);
}

void LanguageManager::WriteDomainFile(const std::wstring& installPath) const
{
    if (m_customKey.empty()) return;
    const std::string narrow = Text::WideToUserAnsi(m_customKey);
    if (narrow.empty()) return;
    const std::wstring path = installPath + GetInstallSubFolder() + L"domain";
    UniqueCrtFile file(_wfopen(path.c_str(), L"wb"));
    if (!file) return;
    fwrite(narrow.data(), 1, narrow.size(), file.Get());
}

std::wstring LanguageManager::AddressValue(const std::wstring& key) const
{
    auto it = m_addresses.find(key);
    return it == m_addresses.end() ? std::wstring() : it->second;
}

std::wstring LanguageManager::WithCustomParameter(const std::wstring& address) const
{
    if (address.empty() || m_customKey.empty()) return address;
    // Only the maker's own services ("key=" queries) take the parameter; no escaping.
    if (address.find(L"key=") == std::wstring::npos) return address;
    return address + L"&custom=" + m_customKey;
}

std::wstring LanguageManager::GetProductName() const { return ProductValue(L"STR_PRODUCT_NAME"); }

std::wstring LanguageManager::GetBrandName() const
{
    std::wstring brand = ProductValue(L"STR_BRAND_NAME");
    return brand.empty() ? kDefaultBrand : brand;
}

std::wstring LanguageManager::GetLicenseColor() const { return ProductValue(L"STR_LISENCE_COLOR"); }

std::wstring LanguageManager::GetGATitle() const { return ProductValue(L"STR_GA_TTTLE"); }

std::wstring LanguageManager::GetExeName() const { return ProductValue(L"STR_EXE_NAME"); }

std::wstring LanguageManager::GetInstallSubFolder() const
{
    std::wstring folder;
    for (const wchar_t* key : {L"STR_DIR1_NAME", L"STR_DIR2_NAME"}) {
        std::wstring name = ProductValue(key);
        if (!name.empty()) folder += name + L"\\";
    }
    return folder;
}

std::wstring LanguageManager::GetExeRelativePath() const { return GetInstallSubFolder() + GetExeName(); }

bool LanguageManager::IsRunAsAdmin() const { return ProductValue(L"STR_RUN_AS_ADMIN") != L"0"; }

bool LanguageManager::IsFailureEventOn() const { return ProductValue(L"STR_GA_FAILED_EVENT") != L"0"; }
std::wstring LanguageManager::GetSignerKeyPins() const { return ProductValue(L"STR_SIGNER_KEY_SHA256"); }

std::wstring LanguageManager::GetDownUrl() const
{
    return AddressValue(Is64BitWindows() ? L"STR_DOWN_URL_X64" : L"STR_DOWN_URL");
}

std::wstring LanguageManager::GetDownUrlEx() const { return WithCustomParameter(AddressValue(L"STR_DOWN_URLEX")); }

std::vector<std::wstring> LanguageManager::GetDownloadHosts() const
{
    std::vector<std::wstring> hosts;
    const std::wstring list = ProductValue(L"STR_DOWN_HOSTS");
    size_t start = 0;
    while ((start = list.find_first_not_of(L", \t", start)) != std::wstring::npos) {
        const size_t end = list.find_first_of(L", \t", start);
        hosts.push_back(list.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        start = end;
    }
    return hosts;
}

std::wstring LanguageManager::GetLicenceUrl() const { return WithCustomParameter(AddressValue(L"STR_LICENCE_URL")); }

std::wstring LanguageManager::GetInstallUrl() const { return WithCustomParameter(AddressValue(L"STR_INSTALL_URL")); }
