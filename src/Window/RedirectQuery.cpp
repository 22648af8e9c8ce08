#include "Window/RedirectQuery.h"

#include <windows.h>
#include <shlwapi.h>
#include <winhttp.h>

#include <vector>

#include "log/Log.h"

namespace {

class WinHttpHandle {
public:
    explicit WinHttpHandle(HINTERNET handle = nullptr) : handle_(handle) {}
    ~WinHttpHandle()
    {
        if (handle_) {
            DWORD error = GetLastError();
            WinHttpCloseHandle(handle_);
            SetLastError(error);
        }
    }
    WinHttpHandle(const WinHttpHandle&) = delete;
    WinHttpHandle& operator=(const WinHttpHandle&) = delete;
    HINTERNET Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HINTERNET handle_;
};

std::wstring QueryHeader(HINTERNET request, DWORD info)
{
    DWORD size = 0;
    WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size, WINHTTP_NO_HEADER_INDEX);
    if (size == 0) return std::wstring();
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1);
    if (!WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &size,
                             WINHTTP_NO_HEADER_INDEX)) {
        return std::wstring();
    }
    return std::wstring(buffer.data(), size / sizeof(wchar_t));
}

}  // namespace

bool GetRedirectUrl(const std::wstring& host, const std::wstring& path, std::wstring& url)
{
    // The installer found at the answer's address runs as administrator: never ask
    // an https service in clear text.
    bool secure = url.compare(0, 8, L"https://") == 0;
    std::wstring hostName = host;
    INTERNET_PORT port = secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
    size_t colon = hostName.rfind(L':');
    if (colon != std::wstring::npos && hostName.find(L']') == std::wstring::npos) {
        int value = StrToIntW(hostName.c_str() + colon + 1);
        if (value > 0 && value < 65536) port = static_cast<INTERNET_PORT>(value);
        hostName.resize(colon);
    }

    WinHttpHandle session(WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                      WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return false;
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    if (!WinHttpSetOption(session.Get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy)) return false;
    WinHttpHandle connection(WinHttpConnect(session.Get(), hostName.c_str(), port, 0));
    if (!connection) return false;
    std::wstring object = !path.empty() && path[0] == L'/' ? path : L"/" + path;
    WinHttpHandle request(WinHttpOpenRequest(connection.Get(), L"GET", object.c_str(), nullptr, WINHTTP_NO_REFERER,
                                             WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request) return false;
    if (!WinHttpSendRequest(request.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
        return false;
    }
    if (!WinHttpReceiveResponse(request.Get(), nullptr)) {
        LOG_A("Error %d has occurred.\n", static_cast<int>(GetLastError()));
        return true;
    }
    if (StrToIntW(QueryHeader(request.Get(), WINHTTP_QUERY_STATUS_CODE).c_str()) != 302) return false;
    std::wstring location = QueryHeader(request.Get(), WINHTTP_QUERY_LOCATION);
    if (location.empty()) return false;
    url = location;
    return true;
}
