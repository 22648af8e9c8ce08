#include "ProxyTestSupport.h"

#include <winhttp.h>

#include <fstream>
#include <mutex>
#include <sstream>

#include "TestSupport.h"
#include "net/ProxyCredentialStore.h"
#include "net/ProxyRoute.h"
#include "log/Log.h"

namespace {

const wchar_t kConnectionsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

std::wstring StatePath(const wchar_t* name) { return BuildPath(L"proxy-harness\\") + name; }

int ReadPort(const wchar_t* name)
{
    return static_cast<int>(GetPrivateProfileIntW(L"ports", name, 0, StatePath(L"ports.ini").c_str()));
}

size_t FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return data.nFileSizeLow;
}

void AppendDword(std::string& bytes, DWORD value) { bytes.append(reinterpret_cast<const char*>(&value), 4); }

void AppendText(std::string& bytes, const std::wstring& text)
{
    std::string narrow = ToUtf8(text);
    AppendDword(bytes, static_cast<DWORD>(narrow.size()));
    bytes += narrow;
}

}  // namespace

ProxyHarness::ProxyHarness()
    : open_(ReadPort(L"open")), login_(ReadPort(L"login")), plain_(ReadPort(L"plain")), tls_(ReadPort(L"tls"))
{
}

std::wstring ProxyHarness::Proxy(int port) const { return L"127.0.0.2:" + std::to_wstring(port); }

std::wstring ProxyHarness::OriginUrl(bool https, const std::string& path, const std::string& host) const
{
    return ToWide((https ? "https://" : "http://") + host + ":" + std::to_string(https ? tls_ : plain_) + "/" + path);
}

LogTail::LogTail(const wchar_t* stateFile) : LogTail(StatePath(stateFile)) {}

LogTail::LogTail(std::wstring path) : path_(std::move(path)), start_(FileSize(path_)) {}

LogTail LogTail::Program()
{
    // The log file exists once something was logged.
    LOG_A("proxy test: log mark");
    return LogTail(Log::CurrentLogFilePath());
}

std::string LogTail::Text() const
{
    // Squid writes its line when a transaction ends; give it a moment.
    Sleep(300);
    std::string all = ReadFileBytes(path_);
    return all.size() > start_ ? all.substr(start_) : std::string();
}

std::vector<std::string> LogTail::Lines() const
{
    std::vector<std::string> lines;
    std::istringstream in(Text());
    for (std::string line; std::getline(in, line);) {
        // The harness's own readiness probes end before any request.
        if (!line.empty() && line.find("error:transaction-end-before-headers") == std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

size_t LogTail::Count(const std::string& text) const
{
    size_t count = 0;
    for (const std::string& line : Lines()) count += line.find(text) != std::string::npos;
    return count;
}

UserProxySettings::UserProxySettings(const std::wstring& proxy, const std::wstring& bypass, const std::wstring& pacUrl,
                                     bool autoDetect)
{
    // The layout Windows keeps: version, change counter, flags (1 direct, 2 fixed
    // proxy, 4 script, 8 discovery), then counted texts and reserved bytes.
    DWORD flags = 1 | (proxy.empty() ? 0 : 2) | (pacUrl.empty() ? 0 : 4) | (autoDetect ? 8 : 0);
    std::string bytes;
    AppendDword(bytes, 0x46);
    AppendDword(bytes, 1);
    AppendDword(bytes, flags);
    AppendText(bytes, proxy);
    AppendText(bytes, bypass);
    AppendText(bytes, pacUrl);
    bytes.append(32, '\0');
    UniqueRegKey key;
    RegCreateKeyExW(HKEY_CURRENT_USER, kConnectionsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Receive(), nullptr);
    RegSetValueExW(key.Get(), L"DefaultConnectionSettings", 0, REG_BINARY,
                   reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
    ForgetProxyRoutes();
}

UserProxySettings::~UserProxySettings()
{
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kConnectionsKey, 0, KEY_SET_VALUE, key.Receive()) == ERROR_SUCCESS) {
        RegDeleteValueW(key.Get(), L"DefaultConnectionSettings");
    }
    ForgetProxyRoutes();
}

MachineProxySetting::MachineProxySetting(const std::wstring& proxy, const std::wstring& bypass)
{
    WINHTTP_PROXY_INFO info{};
    info.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    info.lpszProxy = const_cast<wchar_t*>(proxy.c_str());
    info.lpszProxyBypass = bypass.empty() ? nullptr : const_cast<wchar_t*>(bypass.c_str());
    WinHttpSetDefaultProxyConfiguration(&info);
    ForgetProxyRoutes();
}

MachineProxySetting::~MachineProxySetting()
{
    WINHTTP_PROXY_INFO info{};
    info.dwAccessType = WINHTTP_ACCESS_TYPE_NO_PROXY;
    WinHttpSetDefaultProxyConfiguration(&info);
    ForgetProxyRoutes();
}

struct ScriptedPrompt::State {
    std::mutex lock;
    std::vector<std::pair<std::wstring, std::wstring>> answers;
    std::vector<bool> refused;
    std::wstring lastProxy;
};

ScriptedPrompt::ScriptedPrompt(Logins answers) : state_(new State)
{
    state_->answers = std::move(answers);
    ProxyCredentialStore& store = ProxyCredentialStore::Instance();
    store.Wipe();
    State* state = state_;
    store.SetPrompt([state](const std::wstring& proxy, bool refused, std::wstring& user, std::wstring& password) {
        std::lock_guard<std::mutex> lock(state->lock);
        size_t n = state->refused.size();
        state->refused.push_back(refused);
        state->lastProxy = proxy;
        if (n >= state->answers.size()) return false;
        user = state->answers[n].first;
        password = state->answers[n].second;
        return true;
    });
}

ScriptedPrompt::~ScriptedPrompt()
{
    ProxyCredentialStore& store = ProxyCredentialStore::Instance();
    store.SetPrompt(nullptr);
    store.Wipe();
    delete state_;
}

int ScriptedPrompt::Prompts() const
{
    std::lock_guard<std::mutex> lock(state_->lock);
    return static_cast<int>(state_->refused.size());
}

std::vector<bool> ScriptedPrompt::Refused() const
{
    std::lock_guard<std::mutex> lock(state_->lock);
    return state_->refused;
}

std::wstring ScriptedPrompt::LastProxy() const
{
    std::lock_guard<std::mutex> lock(state_->lock);
    return state_->lastProxy;
}

std::string OriginContent(size_t start, size_t end)
{
    std::string bytes;
    for (size_t i = start; i < end; ++i) bytes += static_cast<char>((i * 7) % 251);
    return bytes;
}
