#include "Window/RedirectQuery.h"

#include <windows.h>
#include <shlwapi.h>

#include <vector>

#include "http/WinHttp.h"
#include "log/Log.h"
#include "net/WinHttpProxy.h"
#include "net/WinHttpTransport.h"

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

bool SplitUrl(const std::wstring& url, std::wstring& host, std::wstring& path)
{
    if (url.compare(0, 7, L"http://") != 0 && url.compare(0, 8, L"https://") != 0) return true;
    TransportAddress address;
    if (!TransportPolicy::ParseWrittenAddress(url, address)) return false;
    host = address.strHost;
    if (address.nPort) host += L":" + std::to_wstring(address.nPort);
    path = address.strObject.substr(1);
    return true;
}

bool GetRedirectUrl(const std::wstring& host, const std::wstring& path, std::wstring& url)
{
    // The installer found at the answer's address runs as administrator: never ask
    // an https service in clear text.
    std::wstring address = url.compare(0, 8, L"https://") == 0 ? L"https://" : L"http://";
    address += host + (!path.empty() && path[0] == L'/' ? path : L"/" + path);
    TransportAddress service;
    if (!TransportPolicy::ParseAddress(address, service)) return false;

    // The service's own answer is wanted, not the address it names.
    TransportOptions options;
    options.bFollowRedirects = false;
    ProxyRoute route;
    UniqueWinHttpHandle session(WinHttpTransport::OpenSession(options, service, route));
    if (!session.Valid()) return false;
    UniqueWinHttpHandle connection(WinHttpTransport::Connect(session.Get(), service));
    if (!connection.Valid()) return false;
    auto openRequest = [&] {
        return WinHttpTransport::OpenRequest(connection.Get(), L"GET", service, nullptr, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                             0, options);
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
    if (!WinHttpTransport::CheckAnswer(request.Get(), service, options)) return false;
    if (StrToIntW(QueryHeader(request.Get(), WINHTTP_QUERY_STATUS_CODE).c_str()) != 302) return false;
    std::wstring location = QueryHeader(request.Get(), WINHTTP_QUERY_LOCATION);
    if (location.empty()) return false;
    url = location;
    return true;
}

std::wstring ResolveDownloadUrl(const std::wstring& redirectService, const std::wstring& configured,
                                const std::vector<std::wstring>& allowedHosts)
{
    if (redirectService.empty()) return configured;
    std::wstring host, path, answer = redirectService;
    // An answer that could not be received leaves the service's own address.
    if (!SplitUrl(redirectService, host, path) || !GetRedirectUrl(host, path, answer) ||
        answer == redirectService) {
        LOG_A("no answer from the redirect service, downloading from STR_DOWN_URL");
        return configured;
    }
    std::wstring reason;
    if (!TransportPolicy::CheckRedirectAnswer(answer, allowedHosts, reason)) {
        LOG_W(L"redirect answer refused, %s: %s; downloading from STR_DOWN_URL", reason.c_str(),
              Log::Printable(answer).c_str());
        return configured;
    }
    LOG_W(L"get redirect Url:%s", answer.c_str());
    return answer;
}
