#include "Window/RedirectQuery.h"

#include <windows.h>
#include <shlwapi.h>
#include <winhttp.h>

#include <vector>

#include "http/WinHttp.h"
#include "http/WinHttpProxy.h"
#include "log/Log.h"

namespace {

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

    ProxyRoute route;
    UniqueWinHttpHandle session(OpenWinHttpSession(nullptr, url, "WinHttp", route));
    if (!session.Valid()) return false;
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    if (!WinHttpSetOption(session.Get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy)) return false;
    UniqueWinHttpHandle connection(WinHttpConnect(session.Get(), hostName.c_str(), port, 0));
    if (!connection.Valid()) return false;
    std::wstring object = !path.empty() && path[0] == L'/' ? path : L"/" + path;
    auto openRequest = [&] {
        return WinHttpOpenRequest(connection.Get(), L"GET", object.c_str(), nullptr, WINHTTP_NO_REFERER,
                                  WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0);
    };
    UniqueWinHttpHandle request(openRequest());
    if (!request.Valid()) return false;
    bool received = true;
    bool sent = SendThroughWinHttpProxy(
        route, [&] { return request.Get(); },
        [&](bool) {
            if (!WinHttpSendRequest(request.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                                    0)) {
                return false;
            }
            received = WinHttpReceiveResponse(request.Get(), nullptr) != FALSE;
            return received;
        },
        [&] {
            request.Reset(openRequest());
            return request.Valid();
        });
    if (!received) {
        LOG_A("Error %d has occurred.\n", static_cast<int>(GetLastError()));
        return true;
    }
    if (!sent) return false;
    int status = StrToIntW(QueryHeader(request.Get(), WINHTTP_QUERY_STATUS_CODE).c_str());
    if (status != 302) return false;
    std::wstring location = QueryHeader(request.Get(), WINHTTP_QUERY_LOCATION);
    if (location.empty()) return false;
    url = location;
    return true;
}
