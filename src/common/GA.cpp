#include "common/GA.h"

#include "common/GAJson.h"
#include "http/HttpInterface.h"
#include "base/TextEncoding.h"
#include "base/UniqueResource.h"
#include "log/Log.h"

#include <objbase.h>
#include <windows.h>

#include <cstring>

namespace {

const wchar_t kVendorKey[] = L"SOFTWARE\\WOW6432Node\\Vantelo";
const wchar_t kClientKey[] = L"SOFTWARE\\WOW6432Node\\Vantelo\\VanteloDown";
const wchar_t kGuidValue[] = L"GUID";
const char kJsonContentType[] = "Content-Type: application/json; charset=utf-8";

// What the collection service has always received: text that went through the
// ANSI code page first, so characters outside it arrive as its replacement.
std::string Utf8ThroughAnsi(const std::wstring& text)
{
    return Text::WideToUtf8(Text::AnsiToWide(Text::WideToAnsi(text)));
}

// The collection address as the log may show it: the value of its api_secret
// parameter (the key that lets anyone post events as this product) replaced. The
// log lies in a folder every user can read.
std::string WithoutSecret(const std::string& url)
{
    static const char kSecret[] = "api_secret=";
    std::string shown = url;
    size_t query = shown.find('?');
    for (size_t at = query; at != std::string::npos && at < shown.size(); at = shown.find('&', at + 1)) {
        size_t name = at + 1;
        if (_strnicmp(shown.c_str() + name, kSecret, sizeof kSecret - 1) != 0) continue;
        size_t value = name + sizeof kSecret - 1;
        size_t end = shown.find('&', value);
        shown.replace(value, (end == std::string::npos ? shown.size() : end) - value, "(hidden)");
    }
    return shown;
}

bool IsValidClientGuid(const std::string& text)
{
    if (text.empty()) return false;
    for (char c : text) {
        bool letterOrDigit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit && c != '-') return false;
    }
    return true;
}

// Without KEY_WOW64_64KEY on the create calls, Wine files a 32-bit program's key
// under a doubled WOW6432Node, which the 64-bit open below then misses.
bool CreateKey(const wchar_t* path, UniqueRegKey& key, DWORD& disposition)
{
    HKEY created = nullptr;
    LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_WRITE | KEY_WOW64_64KEY, nullptr, &created, &disposition);
    key.Reset(result == ERROR_SUCCESS ? created : nullptr);
    return result == ERROR_SUCCESS;
}

std::wstring StoreNewGuid(HKEY key)
{
    GUID guid{};
    CoCreateGuid(&guid);
    wchar_t text[64] = {};
    swprintf(text, 64, L"%08X-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X", static_cast<unsigned>(guid.Data1),
             guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
             guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    std::wstring value = text;
    // Stored without a terminating zero; when the write fails the next run makes another.
    RegSetValueExW(key, kGuidValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() * sizeof(wchar_t)));
    return value;
}

}  // namespace

CGA::CGA() : strClientGuid(Utf8ThroughAnsi(LoadClientGuid())) {}

CGA* CGA::GetInstance()
{
    // Lives to the end of the process; the sends of worker threads may outlive main.
    static CGA* instance = new CGA();
    return instance;
}

void CGA::SetCollectUrl(const std::wstring& url) { strCollectUrl = url; }

void CGA::SetEventCategory(const std::wstring& category) { strEventCategory = category; }

bool CGA::SendStartInstall() { return SendGACommon("Downloader_Start_Install"); }

bool CGA::SendDownloadFinished() { return SendGACommon("Downloader_Installed"); }

bool CGA::SendInstallSucceed() { return SendGACommon("Installed_Succeed"); }

bool CGA::SendDownloaderFailed(const char* reason, const char* codeName, long long code)
{
    std::vector<std::pair<std::string, std::string>> params = {{"reason", reason}};
    if (codeName) params.emplace_back(codeName, std::to_string(code));
    return SendGACommon("Downloader_Failed", params);
}

bool CGA::SendGACommon(const std::string& eventName, const std::vector<std::pair<std::string, std::string>>& params)
{
    LOG_A("tran code guid:%s", strClientGuid.c_str());

    GAData data;
    data.strClientId = strClientGuid;
    data.strUid = strClientGuid;
    data.vecEvents.push_back({eventName, Utf8ThroughAnsi(strEventCategory), strClientGuid, params});
    CDownloaderGAJSONStruct record(&data, kGAFilterExclude, {});
    rapidjson::Document document;
    std::string body = SerializeJson(record, document);

    IHttpBase* client = nullptr;
    if (!CreateHttpClient(&client, kHttpClientWinHttp)) return false;
    IWinHttp* http = static_cast<IWinHttp*>(client);
    std::string url = Utf8ThroughAnsi(strCollectUrl);
    http->ExecuteA(url.c_str(), true, body.c_str(), kJsonContentType);
    int status = http->GetLastStatus();

    LOG_A("request url: %s", WithoutSecret(url).c_str());
    LOG_A("request info: %s", body.c_str());
    LOG_A("request ret Code: %d", status);
    http->Release();
    return true;
}

std::wstring CGA::LoadClientGuid()
{
    UniqueRegKey key;
    DWORD disposition = 0;
    CreateKey(kVendorKey, key, disposition);
    if (!CreateKey(kClientKey, key, disposition)) return {};

    if (disposition == REG_OPENED_EXISTING_KEY) {
        key.Reset();
        HKEY opened = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kClientKey, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &opened) !=
            ERROR_SUCCESS) {
            return {};
        }
        key.Reset(opened);
        wchar_t stored[1024] = {};
        // One character short of the buffer: the value carries no terminating zero.
        DWORD size = sizeof stored - sizeof(wchar_t);
        if (RegQueryValueExW(key.Get(), kGuidValue, nullptr, nullptr, reinterpret_cast<BYTE*>(stored), &size) ==
                ERROR_SUCCESS &&
            IsValidClientGuid(Text::WideToUtf8(stored))) {
            return stored;
        }
        return StoreNewGuid(key.Get());
    }
    if (disposition == REG_CREATED_NEW_KEY) return StoreNewGuid(key.Get());
    return {};
}

