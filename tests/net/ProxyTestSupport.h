#pragma once
// What the proxy tests share: the real proxy and the origin behind it that the
// ctest fixture started (tools/squid), what each recorded, the user's Internet
// settings and the machine-wide WinHTTP setting of the test's own Wine prefix, and
// a scripted answer to the login prompt.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

class ProxyHarness {
public:
    ProxyHarness();
    bool Ready() const { return open_ != 0; }
    int OpenPort() const { return open_; }    // squid without login
    int LoginPort() const { return login_; }  // squid with Basic login alice/secret
    int PlainPort() const { return plain_; }
    int TlsPort() const { return tls_; }
    // "127.0.0.2:<port>" of one of squid's listeners.
    std::wstring Proxy(int port) const;
    // "http://origin.test:<plain>/<path>" or "https://origin.test:<tls>/<path>".
    std::wstring OriginUrl(bool https, const std::string& path, const std::string& host = "origin.test") const;

private:
    int open_ = 0, login_ = 0, plain_ = 0, tls_ = 0;
};

// The lines a log file gained since construction: squid's access.log, the origin's
// origin.log, or this program's own log.
class LogTail {
public:
    static LogTail Squid() { return LogTail(L"access.log"); }
    static LogTail Origin() { return LogTail(L"origin.log"); }
    static LogTail Program();

    std::vector<std::string> Lines() const;
    size_t Count(const std::string& text) const;
    bool Contains(const std::string& text) const { return Count(text) > 0; }
    std::string Text() const;

private:
    explicit LogTail(const wchar_t* stateFile);
    explicit LogTail(std::wstring path);

    std::wstring path_;
    size_t start_;
};

// The user's Internet settings for the test's lifetime (the binary value that
// WinHttpGetIEProxyConfigForCurrentUser reads); removed at the end. Every change
// also drops the routes kept so far.
class UserProxySettings {
public:
    // Any of the texts may be empty; autoDetect asks for automatic discovery.
    UserProxySettings(const std::wstring& proxy, const std::wstring& bypass, const std::wstring& pacUrl = L"",
                      bool autoDetect = false);
    ~UserProxySettings();
    UserProxySettings(const UserProxySettings&) = delete;
    UserProxySettings& operator=(const UserProxySettings&) = delete;
};

// The machine-wide WinHTTP proxy for the test's lifetime; direct again at the end.
class MachineProxySetting {
public:
    MachineProxySetting(const std::wstring& proxy, const std::wstring& bypass);
    ~MachineProxySetting();
    MachineProxySetting(const MachineProxySetting&) = delete;
    MachineProxySetting& operator=(const MachineProxySetting&) = delete;
};

// Answers the login prompt with the given logins, one per prompt, then declines.
// Forgets the login of the run before and after.
using Logins = std::vector<std::pair<std::wstring, std::wstring>>;

class ScriptedPrompt {
public:
    explicit ScriptedPrompt(Logins answers);
    ~ScriptedPrompt();
    ScriptedPrompt(const ScriptedPrompt&) = delete;
    ScriptedPrompt& operator=(const ScriptedPrompt&) = delete;
    int Prompts() const;
    // Whether each prompt was told that the login before was refused.
    std::vector<bool> Refused() const;
    std::wstring LastProxy() const;

private:
    struct State;
    State* state_;
};

// Bytes [start, end) of the origin's /files/<N>.bin: byte i is i*7 mod 251.
std::string OriginContent(size_t start, size_t end);
